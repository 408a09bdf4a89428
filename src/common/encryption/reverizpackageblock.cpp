#include "reverizpackageblock.h"

#include "common/encryption/internal/encryptionnames.h"
#include "common/exceptions/reverizexception.h"
#include "common/fileutilities.h"
#include "common/qkarnjsontrait.h"
#include "common/uuidtools.h"

#include <QCryptographicHash>
#include <QFile>

#include <algorithm>
#include <limits>
#include <utility>

using namespace Reveriz::Internal;

namespace {

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
        throw FileWriteFailedException(Context::reverizPackageBlock, file.errorString(), IdType::blockFile,
                                       file.fileName(), REVERIZ_HERE);
}

QByteArray ReverizPackageBlock::readDataFromFile() const
{
    QFile file(blockFileName());
    if (!file.open(QIODevice::ReadOnly))
        throw FileOpenFailedException(Context::reverizPackageBlock, file.errorString(), IdType::block, file.fileName(),
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
    QkarnJsonTrait<QString>::toJson(json[Member::blockId], m_blockId);
    QkarnJsonTrait<QString>::toJson(json[Member::checksum], m_checksum);
    QkarnJsonTrait<int>::toJson(json[Member::size], m_size);
    QkarnJsonTrait<int>::toJson(json[Member::sourceSize], m_sourceSize);
    QkarnJsonTrait<long long>::toJson(json[Member::offset], m_offset);
    QkarnJsonTrait<bool>::toJson(json[Member::uncompressed], m_uncompressed);
    return json;
}

std::unique_ptr<ReverizPackageBlock> ReverizPackageBlock::fromJson(const Json::Value& description,
                                                                   QString blockDirectory)
{
    long long offset = -1;
    if (description.isMember(Member::offset))
        QkarnJsonTrait<long long>::fromJson(description[Member::offset], offset);
    QString blockId;
    QkarnJsonTrait<QString>::fromJson(description[Member::blockId], blockId);
    QString checksum;
    QkarnJsonTrait<QString>::fromJson(description[Member::checksum], checksum);
    int size = 0;
    QkarnJsonTrait<int>::fromJson(description[Member::size], size);
    int sourceSize = 0;
    QkarnJsonTrait<int>::fromJson(description[Member::sourceSize], sourceSize);
    bool uncompressed = false;
    QkarnJsonTrait<bool>::fromJson(description[Member::uncompressed], uncompressed);
    return std::make_unique<ReverizPackageBlock>(std::move(blockDirectory), blockId, checksum, size, sourceSize, offset,
                                                 uncompressed);
}
