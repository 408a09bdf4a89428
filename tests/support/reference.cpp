#include "reference.h"

#include "common/encryption/opensslptr.h"

#include <QtEndian>

#include <openssl/err.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <zlib.h>

using Reveriz::OsslPtr;

namespace Reference {

namespace {

[[noreturn]] void failed(const char* what)
{
    ERR_clear_error();
    throw std::runtime_error(std::string("reference: ") + what);
}

const unsigned char* bytes(QByteArrayView data)
{
    return reinterpret_cast<const unsigned char*>(data.data());
}

// A context keyed for cipherName with the leading bytes of key and ivec that the cipher reads.
OsslPtr<EVP_CIPHER_CTX> keyed(bool encrypt, const QString& cipherName, const QByteArray& key, QByteArrayView ivec)
{
    const OsslPtr<EVP_CIPHER> cipher(
        EVP_CIPHER_fetch(/*libctx=*/nullptr, cipherName.toLatin1().constData(), /*properties=*/nullptr));
    OsslPtr<EVP_CIPHER_CTX> context(EVP_CIPHER_CTX_new());
    if (!cipher || !context || key.size() < EVP_CIPHER_get_key_length(cipher.get())
        || ivec.size() < EVP_CIPHER_get_iv_length(cipher.get())
        || EVP_CipherInit_ex2(context.get(), cipher.get(), bytes(key), bytes(ivec), encrypt ? 1 : 0,
                              /*params=*/nullptr)
            != 1)
        failed("cipher set-up");
    return context;
}

// One pass over input, appended to output; false when OpenSSL refuses it (a wrong final block, for one).
bool run(EVP_CIPHER_CTX* context, QByteArrayView input, QByteArray& output)
{
    const qsizetype start = output.size();
    output.resize(start + input.size() + EVP_MAX_BLOCK_LENGTH);
    auto* out = reinterpret_cast<unsigned char*>(output.data() + start);
    int updated = 0;
    int finished = 0;
    const bool done = EVP_CipherUpdate(context, out, &updated, bytes(input), static_cast<int>(input.size())) == 1
        && EVP_CipherFinal_ex(context, out + updated, &finished) == 1;
    ERR_clear_error();
    output.truncate(start + updated + finished);
    return done;
}

} // namespace

QByteArray fixedIvec()
{
    return QByteArray::fromHex("3a9c51e706b24df8");
}

QByteArray encrypt(const QString& cipherName, const QByteArray& key, const QByteArray& storedIvec, QByteArrayView plain)
{
    const OsslPtr<EVP_CIPHER_CTX> context =
        keyed(true, cipherName, key, storedIvec.isEmpty() ? fixedIvec() : storedIvec);
    QByteArray stored = storedIvec;
    if (!run(context.get(), plain, stored))
        failed("encryption");
    return stored;
}

std::optional<QByteArray> decrypt(const QString& cipherName, const QByteArray& key, qsizetype ivecLength,
                                  QByteArrayView stored)
{
    if (stored.size() < ivecLength)
        return std::nullopt;
    const OsslPtr<EVP_CIPHER_CTX> context =
        keyed(false, cipherName, key, ivecLength == 0 ? QByteArrayView(fixedIvec()) : stored.first(ivecLength));
    QByteArray plain;
    if (!run(context.get(), stored.sliced(ivecLength), plain))
        return std::nullopt;
    return plain;
}

Inflation zlibInflate(QByteArrayView stream, std::size_t limit)
{
    z_stream z {};
    if (inflateInit(&z) != Z_OK)
        failed("inflateInit");
    z.next_in = const_cast<Bytef*>(bytes(stream));
    z.avail_in = static_cast<uInt>(stream.size());
    Inflation inflation;
    QByteArray& output = inflation.output;
    char chunk[16384];
    int result = Z_OK;
    // Z_BUF_ERROR with room to spare means the input ended before the stream did.
    while (result == Z_OK && static_cast<std::size_t>(output.size()) <= limit) {
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        result = inflate(&z, Z_NO_FLUSH);
        output.append(chunk, static_cast<qsizetype>(sizeof chunk - z.avail_out));
        if (result == Z_BUF_ERROR && z.avail_out == 0)
            result = Z_OK;
    }
    inflateEnd(&z);
    inflation.beyondLimit = static_cast<std::size_t>(output.size()) > limit;
    inflation.finished = result == Z_STREAM_END && !inflation.beyondLimit;
    return inflation;
}

std::optional<QByteArray> uncompress(QByteArrayView compressed, std::size_t limit)
{
    if (compressed.size() <= 4 || std::max<quint32>(qFromBigEndian<quint32>(compressed.data()), 1) > limit)
        return std::nullopt;
    return zlibInflate(compressed.sliced(4), limit).result();
}

} // namespace Reference
