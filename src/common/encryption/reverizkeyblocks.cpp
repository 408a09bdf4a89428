#include "common/encryption/internal/compressedformat.h"
#include "common/encryption/internal/encryptionnames.h"
#include "common/encryption/internal/symmetriccipher.h"
#include "common/encryption/reverizpackage.h"
#include "common/encryption/reverizpackageblock.h"
#include "common/exceptions/errorcodes.h"
#include "common/exceptions/reverizexception.h"
#include "common/karnlogger.h"
#include "reverizkey.h"

#include <QByteArrayView>
#include <QCoreApplication>
#include <QFile>
#include <QtGlobal>

#include <openssl/evp.h>

#include <algorithm>

using namespace Reveriz::Internal;

namespace {

// The source bytes of one block.
constexpr qint64 blockSourceSize = 4194304;
// The stored data a block may have: what each thread's decryption buffer holds.
constexpr qsizetype packMemorySize = 8388608;
// A compressed block holds at most 4 MiB of source bytes; announcing more than the buffer marks it as forged.
constexpr quint64 blockUncompressLimitMiB = packMemorySize >> 20;
// The newest package format whose blocks this code reads.
constexpr qint32 newestFormatVersion = 2;
// A compressed size above this percentage of the source (rounded down) is not worth compressing further blocks.
constexpr qsizetype effectiveCompressionPercent = 98;

QByteArray readSourceRange(const QString& path, qint64 offset)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileOpenFailedException(Context::reverizKey, file.errorString(), IdType::sourceFile, path, REVERIZ_HERE);
    // An offset outside the file gets a length no read can match.
    const qint64 fileSize = file.size();
    const qint64 length = offset >= 0 && offset <= fileSize ? std::min(blockSourceSize, fileSize - offset) : -1;
    QByteArray bytes;
    if (length > 0 && file.seek(offset))
        bytes = file.read(length);
    if (bytes.size() != length)
        throw FileReadFailedException(Context::reverizKey, QStringLiteral("unexpected readSize"), IdType::sourceFile,
                                      path, REVERIZ_HERE);
    return bytes;
}

void writeTargetRange(const QString& path, qint64 offset, QByteArrayView data)
{
    // Read-write, because write-only would truncate the other blocks' ranges; unbuffered, so that the write's
    // result is the file's.
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        throw FileOpenFailedException(Context::reverizKey, file.errorString(), IdType::block, path, REVERIZ_HERE);
    if (offset < 0 || !file.seek(offset))
        throw FileWriteFailedException(Context::reverizKey, file.errorString(), IdType::block, path, REVERIZ_HERE);
    if (file.write(data.data(), data.size()) != data.size())
        throw FileWriteFailedException(Context::reverizKey, file.errorString(), IdType::block, path, REVERIZ_HERE);
}

} // namespace

void ReverizKey::encryptBlock(ReverizPackageBlock* block, const QString& sourcePath, bool compress,
                              bool* keepCompressing) const
{
    Q_ASSERT(block && keepCompressing);
    *keepCompressing = compress;
    const QByteArray ivec = SymmetricCipher::newStoredIvec(*this);
    const QByteArray source = readSourceRange(sourcePath, block->offset());

    // A block is stored compressed unless that makes it longer. The caller is told to stop compressing as soon
    // as a block saves 1 % or less, since the blocks of one file tend to compress alike.
    bool uncompressed = true;
    QByteArray compressed;
    if (compress) {
        compressed = CompressedFormat::compress(source);
        uncompressed = source.isEmpty() || compressed.size() > source.size();
        if (uncompressed) {
            *keepCompressing = false;
            qDebug("disable compression -- result is worse");
        } else if (compressed.size() * 100 / source.size() > effectiveCompressionPercent) {
            *keepCompressing = false;
            qDebug("disable compression -- not effective");
        }
    }
    const QByteArray& plain = uncompressed ? source : compressed;

    block->setPayload(SymmetricCipher::seal(*this, ivec, plain));
    block->setUncompressed(uncompressed);
}

void ReverizKey::decryptBlock(ReverizPackage* package, const QString& targetPath, ReverizPackageBlock* block) const
{
    Q_ASSERT(package && block);
    const qint32 version = package->formatVersion();
    if (version > newestFormatVersion)
        throw ReverizException(Context::reverizKey, ErrorCodes::PackageFormatUnsupported,
                               ErrorCodes::filled(Context::reverizKey, "LRC2167", QString::number(version)),
                               ErrorCodes::filled(Context::reverizKey, "LRC2166", QString::number(version)),
                               package->identifier(), QString(), REVERIZ_HERE);

    // Each thread decrypts into its own buffer, made on its first block and kept. The cipher needs one block of
    // room behind its output.
    thread_local QByteArray packMemory(packMemorySize + EVP_MAX_BLOCK_LENGTH, Qt::Uninitialized);

    const QByteArray& stored = block->payload();
    if (stored.size() > packMemorySize)
        throw DecryptionFailedException(Context::reverizKey, QStringLiteral("encrypted data size larger than buffer"),
                                        REVERIZ_HERE);
    const SymmetricCipher::StoredData parts = SymmetricCipher::split(*this, stored);
    const qsizetype decrypted = SymmetricCipher::run(SymmetricCipher::Direction::Decrypt, m_cipherName, m_key,
                                                     parts.ivec, parts.ciphertext, packMemory, 0);
    const QByteArrayView decryptedBytes(packMemory.constData(), decrypted);

    // Decompression, too, goes into a buffer that each thread keeps.
    thread_local QByteArray uncompressed;
    QByteArrayView plain = decryptedBytes;
    if (!block->uncompressed()) {
        CompressedFormat::dataUncompressSanityCheck(decryptedBytes, blockUncompressLimitMiB);
        // Inflated first: the buffer may move as it grows, so its address is taken only afterwards.
        const qsizetype size = CompressedFormat::uncompressInto(decryptedBytes, blockUncompressLimitMiB, uncompressed);
        plain = QByteArrayView(uncompressed.constData(), size);
    }

    KARN_LOG(KarnLogger::Debug) << "Write to file " << targetPath << ": block " << block->blockId()
                                << " size: " << plain.size() << " offset: " << block->offset();
    writeTargetRange(targetPath, block->offset(), plain);
}
