#ifndef REVERIZ_COMMON_ENCRYPTION_SYMMETRICCIPHER_H
#define REVERIZ_COMMON_ENCRYPTION_SYMMETRICCIPHER_H

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The CBC pass shared by ReverizKey's data and block encryption. Internal to the encryption layer; failures throw
// EncryptionFailedException or DecryptionFailedException reported by "ReverizKey".
namespace SymmetricCipher {

enum class Direction { Encrypt, Decrypt };

/**
 * The vector of keys that store none with their data. It is part of the stored format: changing it makes all
 * data encrypted with such keys unreadable.
 */
QByteArrayView fixedIvec();

/** length bytes from the cryptographic random source; throws EncryptionFailedException "ivec alloc failed". */
QByteArray randomIvec(qsizetype length);

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

} // namespace SymmetricCipher

#endif
