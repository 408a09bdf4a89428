// Arbitrary bytes into ReverizKey::decryptData under a fixed "aes-128-cbc" key (random vector in front) and a fixed
// "bf-cbc" key (fixed vector), against a peer's reading of the same bytes: OpenSSL's CBC, the length header check
// and zlib. The first byte chooses the key and whether the rest is stored data or the compressed plain text that a
// peer holding the key encrypts first; the second way reaches the decompression behind the cipher.

#include "common/exceptions/reverizexception.h"
#include "fuzzsupport.h"
#include "support/reference.h"

#include <cstdlib>

namespace {

constexpr size_t limit = size_t(128) << 20;

std::optional<QByteArray> peerDecryptData(const ReverizKey& key, const QByteArray& stored)
{
    if (stored.isEmpty())
        return QByteArray();
    const std::optional<QByteArray> compressed = FuzzSupport::peerDecrypt(key, stored);
    return compressed ? Reference::uncompress(*compressed, limit) : std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const ReverizKey& key = (data[0] & 1) ? FuzzSupport::blowfishKey() : FuzzSupport::aesKey();
    const QByteArray rest = FuzzSupport::bytes(data + 1, size - 1);
    const QByteArray stored = (data[0] & 2) ? FuzzSupport::peerEncrypt(key, rest) : rest;

    std::optional<QByteArray> plain;
    try {
        plain = key.decryptData(stored);
    } catch (const DecryptionFailedException&) {
    }
    if (plain != peerDecryptData(key, stored))
        std::abort();
    return 0;
}
