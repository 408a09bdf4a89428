#ifndef REVERIZ_COMMON_ENCRYPTION_INTERNAL_RSAKEYS_H
#define REVERIZ_COMMON_ENCRYPTION_INTERNAL_RSAKEYS_H

#include "common/encryption/opensslptr.h"

#include <QByteArray>
#include <QByteArrayView>

// RSA key objects for ReverizRSA: generation, PKCS #1 PEM encoding and decoding, and the facts of a public key,
// through OpenSSL's provider interfaces. A failure to generate, encode or read a key throws BIOFailureException
// with idType "ReverizRSA"; decoding reports failure with a null key.
namespace Reveriz::Internal::RsaKeys {

/** A new RSA key pair with a modulus of bits bits and the given public exponent; never null. */
OsslPtr<EVP_PKEY> generate(size_t bits, unsigned int publicExponent);

/** The unencrypted "RSA PRIVATE KEY" PEM text of key (64-character lines, each ending in a line feed); the caller
 *  wipes it. */
QByteArray privateKeyPem(const EVP_PKEY& key);

/** The "RSA PUBLIC KEY" PEM text of key's public half (64-character lines, each ending in a line feed). */
QByteArray publicKeyPem(const EVP_PKEY& key);

/** The key pair of an unencrypted "RSA PRIVATE KEY" PEM text; null when the text does not hold one. */
OsslPtr<EVP_PKEY> decodePrivateKeyPem(QByteArrayView pem);

/** The public key of an "RSA PUBLIC KEY" PEM text; null when the text does not hold one. */
OsslPtr<EVP_PKEY> decodePublicKeyPem(QByteArrayView pem);

/** The DER SubjectPublicKeyInfo (X.509) of key's public half. */
QByteArray subjectPublicKeyInfo(const EVP_PKEY& key);

/** The public exponent of an RSA key: big-endian bytes without leading zero bytes. */
QByteArray publicExponent(const EVP_PKEY& key);

} // namespace Reveriz::Internal::RsaKeys

#endif
