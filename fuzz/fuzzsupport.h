#ifndef REVERIZ_FUZZ_FUZZSUPPORT_H
#define REVERIZ_FUZZ_FUZZSUPPORT_H

#include "common/encryption/reverizkey.h"
#include "common/encryption/reverizrsa.h"

#include <QByteArray>
#include <QString>

#include <json/value.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

// What the fuzz targets and their seed maker share: the fixture key pair, two fixed symmetric keys, and a peer's
// side of the formats written directly with OpenSSL (the stored data through tests/support/reference.h), so that
// inputs can reach the code behind a cipher.
// Every function loads the crypto providers first. Failures to set up abort: a target must not run half-prepared.
namespace FuzzSupport {

/** The input as bytes. */
QByteArray bytes(const uint8_t* data, size_t size);

/** The pair of the fixture protocol-private.key: a protocol actor with its private key. Loaded once. */
std::shared_ptr<ReverizRSA> protocolPair();
/** The bytes of a file of the fixture key directory. */
QByteArray fixture(const QString& name);

/** A fixed "aes-128-cbc" key, 16 bytes, with a random vector stored in front of the data. */
const ReverizKey& aesKey();
/** A fixed "bf-cbc" key of 1024 bytes with the fixed vector, as package keys are. */
const ReverizKey& blowfishKey();

/** A directory of this process for files the targets write; removed at exit. */
QString scratchDirectory();

/**
 * Encrypts plain as the stored data of key: its vector in front unless the key uses the fixed one, then the CBC
 * ciphertext with PKCS#7 padding. Written with OpenSSL's EVP interface, not the library's, as a peer would.
 */
QByteArray peerEncrypt(const ReverizKey& key, const QByteArray& plain);

/**
 * The compressed plain text inside stored data of key, read as a peer would with OpenSSL: the vector from the
 * front unless the key uses the fixed one, then CBC with PKCS#7 padding. Nothing when it does not decrypt.
 */
std::optional<QByteArray> peerDecrypt(const ReverizKey& key, const QByteArray& stored);

/**
 * The log-file key wrapped for protocolPair(), unwrapped within the log files' bound on the envelope and kept per
 * wrapped key, so that inputs that differ only in their log data cost no RSA operation. A failure throws
 * std::runtime_error naming the library's exception, its kind and text, the same each time.
 */
std::shared_ptr<ReverizKey> unwrapLogKey(const Json::Value& wrapped);

/**
 * The plain log in the text of an encrypted log file, read the library's reference way: the permissive reader,
 * unwrapLogKey, QByteArray::fromBase64 and decryptData. Throws the file utilities' failure naming name for text
 * that is not JSON, and what unwrapLogKey and decryptData throw.
 */
QByteArray referencePlainLog(const QByteArray& text, const QString& name);

/** RSAES-OAEP (SHA-1, MGF1-SHA-1) of text under the pair's public key, in chunks of k - 42 bytes. */
QByteArray peerOaepEncrypt(const ReverizRSA& pair, const QByteArray& text);

} // namespace FuzzSupport

#endif
