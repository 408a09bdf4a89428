#ifndef REVERIZ_COMMON_ENCRYPTION_REVERIZRSA_H
#define REVERIZ_COMMON_ENCRYPTION_REVERIZRSA_H

#include "reverizactor.h"

#include <QByteArray>
#include <QString>

#include <json/value.h>

#include <iosfwd>
#include <memory>

/**
 * An RSA key pair and its owner, held as PKCS #1 PEM texts ("RSA PUBLIC KEY", "RSA PRIVATE KEY"). The private
 * key may be absent, or stored in its pass-phrase-protected form. Handed out in shared ownership; carries no
 * lock.
 */
class ReverizRSA
{
public:
    /** Generates a new 4096-bit pair with public exponent 65537; throws BIOFailureException if OpenSSL fails. */
    explicit ReverizRSA(ReverizActor owner);
    /**
     * Takes stored key material unchanged: the public key PEM, the private key (PEM, empty, or the protected
     * form when requiresPassPhrase). No pass phrase is supplied yet.
     */
    ReverizRSA(ReverizActor owner, QByteArray publicKey, QByteArray privateKey, bool requiresPassPhrase);

    /** A newly generated pair; throws as the generating constructor. */
    static std::shared_ptr<ReverizRSA> create(const ReverizActor& owner);

    /**
     * The key-file JSON: "keyowner" and "publickey", and with includePrivateKey, if there is a private key,
     * "privatekey" and "requirespassphrase".
     */
    Json::Value toJson(bool includePrivateKey) const;
    /**
     * Reads key-file JSON, checking in this order (context "ReverizRSA"): "keyowner" and "publickey" present,
     * "publickey" a PEM text, "privatekey" if present a PEM text (Base64 when "requirespassphrase" is true),
     * then the owner as ReverizActor::fromJson does. Throws on the first failure.
     */
    static std::shared_ptr<ReverizRSA> fromJson(const Json::Value& json);

    /** The first 8 lower-case hexadecimal digits of the SHA-1 of the public key PEM; empty without one. */
    QString publicKeyFingerPrint() const;

    const ReverizActor& keyOwner() const { return m_owner; }
    const QByteArray& publicKey() const { return m_publicKey; }
    /** The private key as stored: PEM, empty, or the protected form when requiresPassPhrase(). */
    const QByteArray& privateKey() const { return m_privateKey; }
    bool requiresPassPhrase() const { return m_requiresPassPhrase; }

private:
    QByteArray m_publicKey;
    QByteArray m_privateKey;
    bool m_requiresPassPhrase = false;
    // The pass phrase once the holder has given it, for the pass-phrase operations; never written to key files.
    [[maybe_unused]] bool m_passPhraseSupplied = false;
    QString m_passPhrase;
    ReverizActor m_owner;
};

/** Writes the key-file JSON with the private half as styled text (as key files hold it). */
std::ostream& operator<<(std::ostream& stream, const ReverizRSA& pair);

#endif
