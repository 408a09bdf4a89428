#include "reverizpackageblock.h"

#include "common/exceptions/reverizexception.h"
#include "common/fileutilities.h"
#include "common/qkarnjsontrait.h"
#include "common/uuidtools.h"

#include <QCryptographicHash>
#include <QFile>

#include <algorithm>
#include <limits>
#include <utility>

namespace {

const char* const memberBlockId = "blockid";
const char* const memberChecksum = "checksum";
const char* const memberSize = "size";
const char* const memberSourceSize = "sourceSize";
const char* const memberOffset = "offset";
const char* const memberUncompressed = "uncompressed";

QString context()
{
    return QStringLiteral("ReverizPackageBlock");
}

int clampedToInt(qint64 value)
{
    return static_cast<int>(std::min<qint64>(value, std::numeric_limits<int>::max()));
}

} // namespace

ReverizPackageBlock::ReverizPackageBlock(const QString& blockDirectory, const QString& blockId, const QString& checksum,
                                         int size, int sourceSize, long long offset, bool uncompressed)
    : m_blockDirectory(blockDirectory)
    , m_blockId(blockId)
    , m_checksum(checksum)
    , m_size(size)
    , m_sourceSize(sourceSize)
    , m_offset(offset)
    , m_uncompressed(uncompressed)
{
}

ReverizPackageBlock::ReverizPackageBlock(long long offset, int sourceSize)
    : ReverizPackageBlock(QString(), UuidTools::createUuid(), QString(), -1, sourceSize, offset, false)
{
}

QString ReverizPackageBlock::hash(const QByteArray& data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex());
}

QString ReverizPackageBlock::blockFileName() const
{
    return PathTools::combinePath({m_blockDirectory, m_blockId});
}

void ReverizPackageBlock::setPayload(const QByteArray& data)
{
    m_payload = data;
    m_size = static_cast<int>(data.size());
    m_checksum = hash(data);
}

bool ReverizPackageBlock::checkData(const QByteArray& data) const
{
    if (data.size() != m_size)
        throw SizeMismatchOnBlockDownloadException(REVERIZ_HERE);
    if (hash(data) != m_checksum)
        throw CheckSumMisMatchOnBlockDownloadException(REVERIZ_HERE);
    return true;
}

void ReverizPackageBlock::setPayloadAndVerify(const QByteArray& data)
{
    (void)checkData(data);
    m_payload = data;
}

void ReverizPackageBlock::clearPayload()
{
    m_payload = QByteArray();
}

void ReverizPackageBlock::writeDataToFile(const QByteArray& data) const
{
    // Unbuffered, so that the write's result is the file's: a buffered write only fails later, on close.
    QFile file(blockFileName());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)
        || file.write(data) != data.size())
        throw FileWriteFailedException(context(), file.errorString(), QStringLiteral("BlockFile"), file.fileName(),
                                       REVERIZ_HERE);
}

QByteArray ReverizPackageBlock::readDataFromFile() const
{
    QFile file(blockFileName());
    if (!file.open(QIODevice::ReadOnly))
        throw FileOpenFailedException(context(), file.errorString(), QStringLiteral("Block"), file.fileName(),
                                      REVERIZ_HERE);
    // One byte past the expected size shows any mismatch, and an oversized file is never loaded whole.
    QByteArray data = file.read(static_cast<qint64>(std::max(m_size, 0)) + 1);
    if (data.size() != m_size) {
        const qint64 found = data.size() > m_size ? file.size() : data.size();
        throw SizeMismatchOnBlockFileReadException(m_blockId, m_size, clampedToInt(found), REVERIZ_HERE);
    }
    const QString found = hash(data);
    if (found != m_checksum)
        throw CheckSumMismatchOnBlockFileReadException(m_blockId, m_checksum, found, REVERIZ_HERE);
    return data;
}

void ReverizPackageBlock::deletePackedData() const
{
    (void)QFile::remove(blockFileName());
}

Json::Value ReverizPackageBlock::toJson() const
{
    Json::Value json(Json::objectValue);
    QkarnJsonTrait<QString>::toJson(json[memberBlockId], m_blockId);
    QkarnJsonTrait<QString>::toJson(json[memberChecksum], m_checksum);
    QkarnJsonTrait<int>::toJson(json[memberSize], m_size);
    QkarnJsonTrait<int>::toJson(json[memberSourceSize], m_sourceSize);
    QkarnJsonTrait<long long>::toJson(json[memberOffset], m_offset);
    QkarnJsonTrait<bool>::toJson(json[memberUncompressed], m_uncompressed);
    return json;
}

std::unique_ptr<ReverizPackageBlock> ReverizPackageBlock::fromJson(const Json::Value& description,
                                                                   QString blockDirectory)
{
    long long offset = -1;
    if (description.isMember(memberOffset))
        QkarnJsonTrait<long long>::fromJson(description[memberOffset], offset);
    QString blockId;
    QkarnJsonTrait<QString>::fromJson(description[memberBlockId], blockId);
    QString checksum;
    QkarnJsonTrait<QString>::fromJson(description[memberChecksum], checksum);
    int size = 0;
    QkarnJsonTrait<int>::fromJson(description[memberSize], size);
    int sourceSize = 0;
    QkarnJsonTrait<int>::fromJson(description[memberSourceSize], sourceSize);
    bool uncompressed = false;
    QkarnJsonTrait<bool>::fromJson(description[memberUncompressed], uncompressed);
    return std::make_unique<ReverizPackageBlock>(std::move(blockDirectory), blockId, checksum, size, sourceSize, offset,
                                                 uncompressed);
}
