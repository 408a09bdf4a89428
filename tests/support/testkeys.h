#ifndef REVERIZ_TESTS_SUPPORT_TESTKEYS_H
#define REVERIZ_TESTS_SUPPORT_TESTKEYS_H

#include "common/encryption/opensslptr.h"
#include "common/encryption/reverizactor.h"
#include "common/encryption/reverizrsa.h"

#include <QByteArray>
#include <QString>

#include <json/value.h>

#include <iosfwd>
#include <memory>

// The fixture key pairs of tests/data/keys (made by make_keys.py there with the openssl tool), for every test
// that needs a key pair without generating one, and encrypted log files for them. Loading failures throw
// std::runtime_error.
namespace TestKeys {

/** The path of a file in tests/data/keys. */
QString path(const QString& name);
/** The bytes of a file in tests/data/keys. */
QByteArray read(const QString& name);

/** The server UUID of both pairs and the user UUID of the user pair; tests take them for other ids as well. */
inline const QString serverUUID = QStringLiteral("3b241101-e2bb-4255-8caf-4136c566a962");
inline const QString userUUID = QStringLiteral("7c9e6679-7425-40de-944b-e07fc1f90ae7");
/** A UUID that no fixture holds. */
inline const QString otherUUID = QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e");

/** The pair of protocol-private.key: a protocol actor, unprotected private key. Loaded once. */
const ReverizRSA& protocolPair();
/** The pair of user-private.key: a user actor, unprotected private key. Loaded once. */
const ReverizRSA& userPair();

/** The key material of fixture (the protocol pair unless given) owned by owner: stands in for key generation. */
std::shared_ptr<ReverizRSA> materialFor(const ReverizActor& owner, const ReverizRSA& fixture = protocolPair());

/** A log file document for pair's owner: plainKey wrapped under "key", the Base64 of stored under "logData". */
Json::Value logDocument(const ReverizRSA& pair, const Json::Value& plainKey, const QByteArray& stored);
/** A log file document for pair's owner as the system makes them: plain encrypted with a fresh "aes-128-cbc" key. */
Json::Value encryptedLog(const ReverizRSA& pair, const QByteArray& plain);
/** The compact JSON text of a document. */
QByteArray compact(const Json::Value& document);

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
