#include "symmetriccipher.h"

#include "common/encryption/cryptoinit.h"
#include "common/encryption/internal/encryptionnames.h"
#include "common/encryption/opensslptr.h"
#include "common/encryption/reverizkey.h"
#include "common/exceptions/reverizexception.h"

#include <openssl/err.h>
#include <openssl/rand.h>

#include <algorithm>
#include <limits>
#include <new>

namespace Reveriz::Internal::SymmetricCipher {

namespace {

// A constant of this system, chosen once; 8 bytes is the vector length of "bf-cbc", the cipher of such keys.
constexpr char fixedIvecBytes[8] = {'\x3a', '\x9c', '\x51', '\xe7', '\x06', '\xb2', '\x4d', '\xf8'};

struct StepTexts
{
    const char* init;
    const char* update;
    const char* final;
};

constexpr StepTexts encryptTexts {"encrypt init failed", "encrypt update failed", "encrypt final failed"};
constexpr StepTexts decryptTexts {"decrypt init failed", "decrypt update failed", "decrypt final failed"};

[[noreturn]] void fail(Direction direction, const char* details, const QString& sourceFile, int sourceLine)
{
    Reveriz::Crypto::throwIfOutOfMemory(); // and clears OpenSSL's errors
    if (direction == Direction::Encrypt)
        throw EncryptionFailedException(Context::reverizKey, QString::fromLatin1(details), sourceFile, sourceLine);
    throw DecryptionFailedException(Context::reverizKey, QString::fromLatin1(details), sourceFile, sourceLine);
}

const unsigned char* bytes(const char* data)
{
    return reinterpret_cast<const unsigned char*>(data);
}

} // namespace

QByteArrayView fixedIvec()
{
    return QByteArrayView(fixedIvecBytes, sizeof fixedIvecBytes);
}

QByteArray newStoredIvec(const ReverizKey& key)
{
    // All keyLengthInBytes of a random vector are stored, though the cipher only reads its own vector length.
    if (key.fixedIvec())
        return QByteArray();
    const auto length = static_cast<qsizetype>(key.keyLengthInBytes());
    QByteArray ivec;
    try {
        ivec = QByteArray(length, Qt::Uninitialized);
    } catch (const std::bad_alloc&) {
        fail(Direction::Encrypt, Details::ivecAllocFailed, REVERIZ_HERE);
    }
    // A failing random source leaves no usable vector either, so it is reported like a failed allocation.
    auto* data = reinterpret_cast<unsigned char*>(ivec.data());
    if (length > 0 && RAND_bytes_ex(/*libctx=*/nullptr, data, static_cast<size_t>(length), /*strength=*/0) != 1)
        fail(Direction::Encrypt, Details::ivecAllocFailed, REVERIZ_HERE);
    return ivec;
}

QByteArray seal(const ReverizKey& key, const QByteArray& storedIvec, QByteArrayView plain)
{
    const QByteArrayView ivec = key.fixedIvec() ? fixedIvec() : QByteArrayView(storedIvec);
    QByteArray stored;
    const qsizetype written =
        run(Direction::Encrypt, key.cipherName(), key.key(), ivec, plain, stored, storedIvec.size());
    stored.truncate(storedIvec.size() + written);
    std::copy(storedIvec.cbegin(), storedIvec.cend(), stored.begin());
    return stored;
}

// The vector is read where it stands, so there is no vector buffer whose allocation could fail.
StoredData split(const ReverizKey& key, QByteArrayView stored)
{
    if (key.fixedIvec())
        return {fixedIvec(), stored};
    const auto length = static_cast<qsizetype>(key.keyLengthInBytes());
    if (stored.size() < length)
        throw DecryptionFailedException(Context::reverizKey, Details::encryptedDataTooSmall, REVERIZ_HERE);
    return {stored.first(length), stored.sliced(length)};
}

namespace {

// The pass itself: init, one update, final, from in to out (which may be in itself when decrypting).
qsizetype process(Direction direction, const QString& cipherName, const QByteArray& key, QByteArrayView ivec,
                  const unsigned char* in, qsizetype size, unsigned char* out)
{
    const bool encrypt = direction == Direction::Encrypt;
    const StepTexts& texts = encrypt ? encryptTexts : decryptTexts;

    OsslPtr<EVP_CIPHER> cipher(
        EVP_CIPHER_fetch(/*libctx=*/nullptr, cipherName.toLatin1().constData(), /*properties=*/nullptr));
    if (!cipher)
        fail(direction, texts.init, REVERIZ_HERE);
    // The stored format is CBC with padding; another mode would make data of another shape under the same name.
    if (EVP_CIPHER_get_mode(cipher.get()) != EVP_CIPH_CBC_MODE)
        fail(direction, texts.init, REVERIZ_HERE);
    // The cipher reads exactly its own key and vector length from the buffers it is given.
    if (key.size() < EVP_CIPHER_get_key_length(cipher.get()) || ivec.size() < EVP_CIPHER_get_iv_length(cipher.get()))
        fail(direction, texts.init, REVERIZ_HERE);

    OsslPtr<EVP_CIPHER_CTX> context(EVP_CIPHER_CTX_new());
    if (!context)
        fail(direction, texts.init, REVERIZ_HERE);
    // Keyed with the cipher's own key length of leading key bytes: 16 for "bf-cbc" too, also for a 1024-byte key.
    // Peers then set the context's key length to the key's size; that leaves the key schedule as it is and so
    // changes no output, and it is left out here.
    const int initialised = encrypt
        ? EVP_EncryptInit_ex2(context.get(), cipher.get(), bytes(key.constData()), bytes(ivec.data()),
                              /*params=*/nullptr)
        : EVP_DecryptInit_ex2(context.get(), cipher.get(), bytes(key.constData()), bytes(ivec.data()),
                              /*params=*/nullptr);
    if (initialised != 1)
        fail(direction, texts.init, REVERIZ_HERE);

    // EVP counts in int, and the update may write up to one block more than its input.
    const int blockSize = EVP_CIPHER_CTX_get_block_size(context.get());
    if (size > std::numeric_limits<int>::max() - blockSize)
        fail(direction, texts.update, REVERIZ_HERE);

    const int inputLength = static_cast<int>(size);
    int updateLength = 0;
    const int updated = encrypt ? EVP_EncryptUpdate(context.get(), out, &updateLength, in, inputLength)
                                : EVP_DecryptUpdate(context.get(), out, &updateLength, in, inputLength);
    if (updated != 1)
        fail(direction, texts.update, REVERIZ_HERE);
    int finalLength = 0;
    const int finished = encrypt ? EVP_EncryptFinal_ex(context.get(), out + updateLength, &finalLength)
                                 : EVP_DecryptFinal_ex(context.get(), out + updateLength, &finalLength);
    if (finished != 1)
        fail(direction, texts.final, REVERIZ_HERE);
    return static_cast<qsizetype>(updateLength) + finalLength;
}

} // namespace

qsizetype run(Direction direction, const QString& cipherName, const QByteArray& key, QByteArrayView ivec,
              QByteArrayView input, QByteArray& output, qsizetype offset)
{
    // Room for the input and one more block of padding behind offset; an input too large for the cipher fails
    // before anything is allocated for it.
    const qsizetype needed = offset + input.size() + EVP_MAX_BLOCK_LENGTH;
    if (input.size() <= std::numeric_limits<int>::max() - EVP_MAX_BLOCK_LENGTH && output.size() < needed)
        output.resize(needed);
    return process(direction, cipherName, key, ivec, bytes(input.data()), input.size(),
                   reinterpret_cast<unsigned char*>(output.data() + offset));
}

qsizetype decryptInPlace(const QString& cipherName, const QByteArray& key, QByteArrayView ivec, char* data,
                         qsizetype size)
{
    // Decryption writes no more than it has read, and holds the last block back until the end: in place is safe.
    auto* inPlace = reinterpret_cast<unsigned char*>(data);
    return process(Direction::Decrypt, cipherName, key, ivec, inPlace, size, inPlace);
}

} // namespace Reveriz::Internal::SymmetricCipher
