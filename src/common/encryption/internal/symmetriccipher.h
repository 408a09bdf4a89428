#ifndef REVERIZ_COMMON_ENCRYPTION_INTERNAL_SYMMETRICCIPHER_H
#define REVERIZ_COMMON_ENCRYPTION_INTERNAL_SYMMETRICCIPHER_H

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class ReverizKey;

// The CBC pass and the stored data shared by ReverizKey's data and block encryption. Internal to the encryption
// layer; failures throw EncryptionFailedException or DecryptionFailedException reported by "ReverizKey".
namespace Reveriz::Internal::SymmetricCipher {

enum class Direction { Encrypt, Decrypt };

/**
 * The vector of keys that store none with their data. It is part of the stored format: changing it makes all
 * data encrypted with such keys unreadable.
 */
QByteArrayView fixedIvec();

/**
 * The vector that new stored data of key starts with: keyLengthInBytes bytes from the cryptographic random source,
 * or none when key uses the fixed vector. Throws EncryptionFailedException "ivec alloc failed".
 */
QByteArray newStoredIvec(const ReverizKey& key);

/**
 * Stored data of plain under key: storedIvec (from newStoredIvec), then the CBC ciphertext, encrypted with the fixed
 * vector or with the leading bytes of storedIvec that the cipher reads.
 */
QByteArray seal(const ReverizKey& key, const QByteArray& storedIvec, QByteArrayView plain);

/** Stored data taken apart, both views into it: the vector it was encrypted with, and its ciphertext. */
struct StoredData
{
    QByteArrayView ivec;
    QByteArrayView ciphertext;
};

/**
 * Splits stored data of key where it stands: the fixed vector and all of stored, or its first keyLengthInBytes bytes
 * and the rest. Throws DecryptionFailedException "encrypted data size too small" when stored is shorter than that.
 */
StoredData split(const ReverizKey& key, QByteArrayView stored);

/**
 * Runs the named CBC cipher (with PKCS#7 padding) over input into output from offset on, and returns the number
 * of bytes written there. The first (cipher's key length) bytes of key and (cipher's vector length) bytes of ivec
 * are used; an unknown or non-CBC cipher, or a key or vector shorter than the cipher needs, fails as "init".
 * output grows when it has less than input's size plus one cipher block behind offset; it never shrinks.
 */
qsizetype run(Direction direction, const QString& cipherName, const QByteArray& key, QByteArrayView ivec,
              QByteArrayView input, QByteArray& output, qsizetype offset);

/**
 * Decrypts [data, data + size) where it stands, as run does with the same checks and failures, and returns the
 * number of plain bytes, which now start at data.
 */
qsizetype decryptInPlace(const QString& cipherName, const QByteArray& key, QByteArrayView ivec, char* data,
                         qsizetype size);

} // namespace Reveriz::Internal::SymmetricCipher

#endif
