#include "fuzzsupport.h"

#include "common/encryption/cryptoinit.h"
#include "common/encryption/opensslptr.h"
#include "common/encryption/reverizkeyidentifier.h"
#include "common/encryption/symmetriccipher.h"
#include "common/jsontext.h"

#include <QFile>
#include <QTemporaryDir>

#include <openssl/rsa.h>

#include <cstdio>
#include <cstdlib>
#include <zlib.h>

namespace FuzzSupport {

namespace {

[[noreturn]] void setupFailed(const char* what)
{
    (void)std::fprintf(stderr, "fuzz set-up failed: %s\n", what);
    std::abort();
}

void initialize()
{
    static const bool initialized = [] {
        Crypto::initialize();
        return true;
    }();
    (void)initialized;
}

unsigned char* data(QByteArray& array)
{
    return reinterpret_cast<unsigned char*>(array.data());
}

const unsigned char* data(const QByteArray& array)
{
    return reinterpret_cast<const unsigned char*>(array.constData());
}

// The vector a peer stores in front of data for keys without the fixed one; fixed, so inputs replay exactly.
QByteArray peerIvec(const ReverizKey& key)
{
    QByteArray ivec(static_cast<qsizetype>(key.keyLengthInBytes()), '\0');
    for (qsizetype i = 0; i < ivec.size(); ++i)
        ivec[i] = static_cast<char>(0xa5 ^ i);
    return ivec;
}

} // namespace

QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

QByteArray fixture(const QString& name)
{
    QFile file(QStringLiteral(FUZZ_KEYS_DIR "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        setupFailed("cannot read a fixture key file");
    return file.readAll();
}

std::shared_ptr<ReverizRSA> protocolPair()
{
    static const std::shared_ptr<ReverizRSA> pair = [] {
        initialize();
        Json::Value json;
        if (!JsonText::parseStrict(fixture(QStringLiteral("protocol-private.key")), json))
            setupFailed("the fixture key file is not JSON");
        return ReverizRSA::fromJson(json);
    }();
    return pair;
}

const ReverizKey& aesKey()
{
    initialize();
    static const ReverizKey key(ReverizKeyIdentifier::createLogfileKeyIdentifier(), QByteArray("fuzzing aes key!"),
                                QStringLiteral("aes-128-cbc"), 16, false);
    return key;
}

const ReverizKey& blowfishKey()
{
    initialize();
    static const ReverizKey key = [] {
        QByteArray bytes(1024, '\0');
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(i * 131 + 7);
        return ReverizKey(ReverizKeyIdentifier::createPackageKeyWithoutFolderInformationIdentifier(
                              QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e")),
                          bytes, QStringLiteral("bf-cbc"), 1024, true);
    }();
    return key;
}

QString scratchDirectory()
{
    static QTemporaryDir directory;
    if (!directory.isValid())
        setupFailed("cannot create a scratch directory");
    return directory.path();
}

QByteArray peerEncrypt(const ReverizKey& key, const QByteArray& plain)
{
    initialize();
    const OsslPtr<EVP_CIPHER> cipher(
        EVP_CIPHER_fetch(/*libctx=*/nullptr, key.cipherName().toLatin1().constData(), /*properties=*/nullptr));
    const OsslPtr<EVP_CIPHER_CTX> context(EVP_CIPHER_CTX_new());
    const QByteArray ivec = key.fixedIvec() ? SymmetricCipher::fixedIvec().toByteArray() : peerIvec(key);
    if (!cipher || !context
        || EVP_EncryptInit_ex2(context.get(), cipher.get(), data(key.key()), data(ivec), /*params=*/nullptr) != 1)
        setupFailed("peer encryption init");

    QByteArray stored = key.fixedIvec() ? QByteArray() : ivec;
    const qsizetype start = stored.size();
    stored.resize(start + plain.size() + EVP_MAX_BLOCK_LENGTH);
    int updated = 0;
    int finished = 0;
    if (EVP_EncryptUpdate(context.get(), data(stored) + start, &updated, data(plain), static_cast<int>(plain.size()))
            != 1
        || EVP_EncryptFinal_ex(context.get(), data(stored) + start + updated, &finished) != 1)
        setupFailed("peer encryption");
    stored.truncate(start + updated + finished);
    return stored;
}

std::optional<QByteArray> peerDecrypt(const ReverizKey& key, const QByteArray& stored)
{
    initialize();
    const qsizetype vectorSize = key.fixedIvec() ? 0 : static_cast<qsizetype>(key.keyLengthInBytes());
    if (stored.size() < vectorSize)
        return std::nullopt;
    const QByteArray ivec = key.fixedIvec() ? SymmetricCipher::fixedIvec().toByteArray() : stored.left(vectorSize);
    const OsslPtr<EVP_CIPHER> cipher(
        EVP_CIPHER_fetch(/*libctx=*/nullptr, key.cipherName().toLatin1().constData(), /*properties=*/nullptr));
    const OsslPtr<EVP_CIPHER_CTX> context(EVP_CIPHER_CTX_new());
    if (!cipher || !context
        || EVP_DecryptInit_ex2(context.get(), cipher.get(), data(key.key()), data(ivec), /*params=*/nullptr) != 1)
        setupFailed("peer decryption init");

    const QByteArray ciphertext = stored.mid(vectorSize);
    QByteArray plain(ciphertext.size() + EVP_MAX_BLOCK_LENGTH, '\0');
    int updated = 0;
    int finished = 0;
    if (EVP_DecryptUpdate(context.get(), data(plain), &updated, data(ciphertext), static_cast<int>(ciphertext.size()))
            != 1
        || EVP_DecryptFinal_ex(context.get(), data(plain) + updated, &finished) != 1)
        return std::nullopt;
    plain.truncate(updated + finished);
    return plain;
}

QByteArray peerOaepEncrypt(const ReverizRSA& pair, const QByteArray& text)
{
    const OsslPtr<EVP_PKEY> key = pair.makeRSA(false);
    const OsslPtr<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new_from_pkey(/*libctx=*/nullptr, key.get(),
                                                                   /*propquery=*/nullptr));
    if (!context || EVP_PKEY_encrypt_init(context.get()) <= 0
        || EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_OAEP_PADDING) <= 0
        || EVP_PKEY_CTX_set_rsa_oaep_md_name(context.get(), "SHA1", /*mdprops=*/nullptr) <= 0)
        setupFailed("peer OAEP init");
    const qsizetype blockSize = EVP_PKEY_get_size(key.get());
    const qsizetype chunkSize = blockSize - 42;
    QByteArray ciphertext;
    for (qsizetype offset = 0; offset < text.size(); offset += chunkSize) {
        const QByteArray chunk = text.mid(offset, chunkSize);
        QByteArray block(blockSize, '\0');
        auto written = static_cast<size_t>(blockSize);
        if (EVP_PKEY_encrypt(context.get(), data(block), &written, data(chunk), static_cast<size_t>(chunk.size())) <= 0)
            setupFailed("peer OAEP encryption");
        ciphertext += block;
    }
    return ciphertext;
}

std::optional<QByteArray> peerUncompress(const QByteArray& compressed, size_t limit)
{
    z_stream stream {};
    if (compressed.size() < 4 || inflateInit(&stream) != Z_OK)
        return std::nullopt;
    stream.next_in = const_cast<Bytef*>(data(compressed) + 4);
    stream.avail_in = static_cast<uInt>(compressed.size() - 4);
    QByteArray output;
    char chunk[16384];
    int result = Z_OK;
    while (result == Z_OK && static_cast<size_t>(output.size()) <= limit) {
        stream.next_out = reinterpret_cast<Bytef*>(chunk);
        stream.avail_out = sizeof chunk;
        result = inflate(&stream, Z_NO_FLUSH);
        output.append(chunk, static_cast<qsizetype>(sizeof chunk - stream.avail_out));
        // Input used up with room to spare: the stream ends early.
        if (result == Z_BUF_ERROR && stream.avail_out > 0)
            break;
        if (result == Z_BUF_ERROR)
            result = Z_OK;
    }
    inflateEnd(&stream);
    if (result != Z_STREAM_END || static_cast<size_t>(output.size()) > limit)
        return std::nullopt;
    return output;
}

} // namespace FuzzSupport
