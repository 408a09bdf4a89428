// Package blocks from anywhere: the first line of the input (after one byte of choices) is a block's JSON form,
// the rest its payload, decrypted with ReverizKey::decryptBlock into a fresh target file. The block's JSON form
// reads back as the same block; the target file afterwards holds exactly what a peer's reading of the payload
// gives (OpenSSL's CBC, then, for a compressed block, the length header check and zlib) at the block's offset.
//
// The first byte chooses the key ("aes-128-cbc" with a random vector or "bf-cbc" with the fixed one), the package
// format version (0 to 3; 3 is refused), and whether the payload is stored data or the plain data that a peer
// holding the key encrypts first, which reaches the decompression behind the cipher.

#include "common/encryption/reverizpackage.h"
#include "common/encryption/reverizpackageblock.h"
#include "common/exceptions/reverizexception.h"
#include "common/internal/jsontext.h"
#include "fuzzsupport.h"
#include "support/reference.h"

#include <QFile>

#include <json/value.h>

#include <cstdlib>

using namespace Reveriz::Internal;

namespace {

constexpr size_t limit = size_t(8) << 20;
// Offsets a file system must be able to write at; beyond, refusing the write is the file system's right.
constexpr long long writableOffset = 1LL << 32;

std::optional<QByteArray> peerPlain(const ReverizKey& key, const ReverizPackageBlock& block)
{
    if (block.payload().size() > qsizetype(limit))
        return std::nullopt;
    std::optional<QByteArray> plain = FuzzSupport::peerDecrypt(key, block.payload());
    if (!plain || block.uncompressed())
        return plain;
    return Reference::uncompress(*plain, limit);
}

bool sameDescription(const ReverizPackageBlock& a, const ReverizPackageBlock& b)
{
    return a.blockId() == b.blockId() && a.checksum() == b.checksum() && a.size() == b.size()
        && a.sourceSize() == b.sourceSize() && a.offset() == b.offset() && a.uncompressed() == b.uncompressed();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const ReverizKey& key = (data[0] & 1) ? FuzzSupport::blowfishKey() : FuzzSupport::aesKey();
    const bool plainSide = data[0] & 2;
    Reveriz::PackageInfo package((data[0] >> 2) & 3, QStringLiteral("fuzzed-package"));
    const QByteArray rest = FuzzSupport::bytes(data + 1, size - 1);
    const qsizetype lineEnd = rest.indexOf('\n');
    const QByteArray description = lineEnd < 0 ? rest : rest.left(lineEnd);
    const QByteArray payload = lineEnd < 0 ? QByteArray() : rest.mid(lineEnd + 1);

    Json::Value json;
    if (!JsonText::parsePermissive(description, json))
        return 0;
    const QString directory = FuzzSupport::scratchDirectory();
    std::unique_ptr<ReverizPackageBlock> block;
    try {
        block = ReverizPackageBlock::fromJson(json, directory);
    } catch (const Json::Exception&) {
        return 0; // "size" or "sourceSize" the JSON library cannot make an int of, or a root that is no object
    }
    if (!sameDescription(*ReverizPackageBlock::fromJson(block->toJson(), directory), *block))
        std::abort();

    block->setPayload(plainSide ? FuzzSupport::peerEncrypt(key, payload) : payload);
    const QString target = directory + QStringLiteral("/target");
    QFile::remove(target);
    const std::optional<QByteArray> expected = package.formatVersion() > 2 ? std::nullopt : peerPlain(key, *block);
    try {
        key.decryptBlock(&package, target, block.get());
    } catch (const DecryptionFailedException&) {
        if (expected)
            std::abort();
        return 0;
    } catch (const FileWriteFailedException&) {
        if (!expected || (block->offset() >= 0 && block->offset() <= writableOffset))
            std::abort();
        return 0;
    } catch (const ReverizException& e) {
        if (e.errorCode() != 2244 || package.formatVersion() <= 2 || QFile::exists(target))
            std::abort();
        return 0;
    }
    // Writing nothing at an offset leaves the new file empty.
    QFile file(target);
    const qint64 expectedSize = expected && !expected->isEmpty() ? block->offset() + expected->size() : 0;
    if (!expected || !file.open(QIODevice::ReadOnly) || file.size() != expectedSize || !file.seek(block->offset())
        || file.readAll() != *expected)
        std::abort();
    return 0;
}
