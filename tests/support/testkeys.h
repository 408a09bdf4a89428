#ifndef REVERIZ_TESTS_SUPPORT_TESTKEYS_H
#define REVERIZ_TESTS_SUPPORT_TESTKEYS_H

#include "common/encryption/opensslptr.h"
#include "common/encryption/reverizactor.h"
#include "common/encryption/reverizrsa.h"

#include <QByteArray>
#include <QString>

#include <iosfwd>

// The fixture key pairs of tests/data/keys (made by make_keys.py there with the openssl tool), for every test
// that needs a key pair without generating one. Loading failures throw std::runtime_error.
namespace TestKeys {

/** The path of a file in tests/data/keys. */
QString path(const QString& name);
/** The bytes of a file in tests/data/keys. */
QByteArray read(const QString& name);

/** The pair of protocol-private.key: a protocol actor, unprotected private key. Loaded once. */
const ReverizRSA& protocolPair();
/** The pair of user-private.key: a user actor, unprotected private key. Loaded once. */
const ReverizRSA& userPair();

/** Decodes a PKCS #1 PEM text ("RSA PRIVATE KEY" or "RSA PUBLIC KEY") with OpenSSL; null if it does not parse. */
Reveriz::OsslPtr<EVP_PKEY> decodePem(const QByteArray& pem);
/**
 * The "RSA PUBLIC KEY" PEM text of a public key with the modulus of key and the exponent exponentHex (hexadecimal):
 * keys that no generator makes, such as an exponent of 1. Fails the test when OpenSSL cannot make it.
 */
QByteArray publicKeyPemWith(const EVP_PKEY& key, const char* exponentHex);

/** The public exponent of an RSA key; 0 if it cannot be read or does not fit. */
unsigned long publicExponent(const EVP_PKEY& key);

} // namespace TestKeys

/** Prints an actor as its JSON, for GoogleTest. */
void PrintTo(const ReverizActor& actor, std::ostream* os);

#endif
