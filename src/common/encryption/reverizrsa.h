#ifndef REVERIZ_COMMON_ENCRYPTION_REVERIZRSA_H
#define REVERIZ_COMMON_ENCRYPTION_REVERIZRSA_H

/**
 * @file
 * ReverizRSA, an actor's RSA key pair: key files, envelopes and signatures.
 */

#include "common/reverizexport.h"
#include "common/securebytes.h"
#include "opensslptr.h"
#include "reverizactor.h"

#include <QByteArray>
#include <QString>

#include <json/value.h>

#include <limits>
#include <memory>
#include <optional>

/**
 * An RSA key pair and its owner, held as PKCS #1 PEM texts ("RSA PUBLIC KEY", "RSA PRIVATE KEY"). The private
 * key may be absent, or stored in its pass-phrase-protected form. Handed out in shared ownership; carries no
 * lock.
 */
class REVERIZ_EXPORT ReverizRSA
{
public:
    /** Generates a new 4096-bit pair with public exponent 65537; throws BIOFailureException if OpenSSL fails. */
    explicit ReverizRSA(ReverizActor owner);
    /**
     * Takes stored key material unchanged: the public key PEM, the private key (PEM, empty, or the protected
     * form when requiresPassPhrase). No pass phrase is supplied yet.
     */
    ReverizRSA(ReverizActor owner, QByteArray publicKey, QByteArray privateKey, bool requiresPassPhrase);

    /** A copy sharing the key material. */
    ReverizRSA(const ReverizRSA&) = default;
    /** Takes other's key material. */
    ReverizRSA(ReverizRSA&&) noexcept = default;
    /** Shares other's key material, wiping the private key and pass phrase held so far. */
    ReverizRSA& operator=(const ReverizRSA& other);
    /** Takes other's key material, wiping the private key and pass phrase held so far. */
    ReverizRSA& operator=(ReverizRSA&& other) noexcept;
    /** Wipes the private key and the pass phrase (where no copy of the pair shares them). */
    ~ReverizRSA();

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

    /** The largest key file read: a pair of the largest RSA size with its owner takes a few KiB. */
    static constexpr qint64 MaximumKeyFileSize = qint64(1) << 20;

    /**
     * Returns only if the public key is safe to encrypt for: OpenSSL's public key check passes (it refuses, for
     * example, an exponent of 1 or an even one) and the modulus has at least minimumBits bits. Throws
     * InputRefusedException otherwise, JsonMemberInvalidException when the public key does not parse.
     */
    void checkPublicKey(int minimumBits) const;

    /** The first 8 lower-case hexadecimal digits of the SHA-1 of the public key PEM; empty without one. */
    QString publicKeyFingerPrint() const;

    /** The RSA size of the pairs the generating constructor makes. */
    static constexpr int GeneratedKeyBits = 4096;
    /** True for JSON that reads as a key file rather than anything else: an object with "keyowner". */
    static bool isKeyFile(const Json::Value& json);
    /** The size of the public key's modulus in bits. Throws JsonMemberInvalidException when the public key does
     *  not parse. */
    int publicKeyBits() const;
    /** The public key's exponent in decimal, or in hexadecimal after "0x" when it has more than 64 bits. Throws
     *  as publicKeyBits. */
    QString publicExponent() const;
    /** The lower-case hexadecimal SHA-256 of the public key's DER SubjectPublicKeyInfo; throws as
     *  publicKeyBits. */
    QString subjectPublicKeyInfoSha256() const;
    /** What publicKeyBits, publicExponent and subjectPublicKeyInfoSha256 tell, and for an unprotected private key
     *  what halvesMatch tells, from one decoding of the public key. */
    struct PublicKeyFacts
    {
        /** As publicKeyBits. */
        int bits = 0;
        /** As publicExponent. */
        QString exponent;
        /** As subjectPublicKeyInfoSha256. */
        QString subjectPublicKeyInfoSha256;
        /** None for a pair without a private key or with a protected one. */
        std::optional<bool> halvesMatch;
    };
    /** The facts of the public key; throws as publicKeyBits, then as halvesMatch for a private key that is no PEM. */
    PublicKeyFacts publicKeyFacts() const;
    /**
     * Whether the stored public key is the public half of the private key. Throws what makeRSA(true) throws for a
     * private key that is missing, locked or no PEM, and JsonMemberInvalidException when the public key does not
     * parse.
     */
    bool halvesMatch() const;

    /**
     * The private key PEM text: the stored text, or for a protected key the stored form decrypted with
     * passPhrase. A wrong pass phrase surfaces as DecryptionFailedException (almost always).
     */
    QByteArray maybeDecryptPrivateKey(const QString& passPhrase) const;
    /**
     * Unlocks a protected private key. Throws TriedToSupplyPassPhraseWhereNoneIsRequiredException without one,
     * SuppliedWrongPassPhraseException (leaving the pair as it was) when passPhrase does not decrypt it.
     */
    void supplyPassphrase(const QString& passPhrase);
    /**
     * Protects the private key with passPhrase, or stores it unprotected when passPhrase is empty. Throws
     * TriedToReSetPassPhraseWithoutKnownOldPassPhraseException while the pair is locked.
     */
    void setPassphrase(const QString& passPhrase);
    /** Whether passPhrase decrypts the private key (true when none is required); never throws or changes the pair. */
    bool isPassPhraseCorrect(const QString& passPhrase) const;
    /**
     * A key object with the public key and, with includePrivateKey, the private key. Throws
     * TriedToUseUnavailablePrivateKeyException or TriedToUsePrivateKeyWithoutSupplyingPassPhraseException when
     * the private key is missing or locked, and JsonMemberInvalidException when a stored PEM text does not parse
     * or the two halves do not belong together.
     */
    Reveriz::OsslPtr<EVP_PKEY> makeRSA(bool includePrivateKey) const;

    /**
     * The RSA envelope of value for the owner: {"encryptedfor": owner, "data": Base64 of the compact text,
     * RSA-OAEP (SHA-1) encrypted in chunks of k - 42 bytes, k bytes each}.
     */
    Json::Value encrypt(const Json::Value& value) const;
    /**
     * The actor an RSA envelope is made for ("encryptedfor"), read without any key. Throws
     * JsonMemberMissingException without one, and what ReverizActor::fromJson throws.
     */
    static ReverizActor envelopeRecipient(const Json::Value& envelope);
    /**
     * The size in bytes of an envelope's RSA ciphertext: its "data" after Base64 decoding, counted without decoding
     * it, as decrypt counts it before any RSA operation; 0 without data.
     */
    static qint64 envelopeCiphertextSize(const Json::Value& envelope);
    /** The number of RSA blocks of a keyBits-bit key in an envelope's ciphertext (a short last block counts). */
    static qint64 envelopeBlocks(const Json::Value& envelope, int keyBits);
    /** No bound on the size of an envelope's ciphertext. */
    static constexpr qint64 AnyCiphertextSize = std::numeric_limits<qint64>::max();
    /**
     * The value inside an envelope made for the owner. The recipient is checked before any RSA work
     * (DecryptWithWrongKeyException), and so is the size: an envelope of more than maximumCiphertextSize bytes of
     * RSA ciphertext throws InputRefusedException. A damaged ciphertext throws DecryptionFailedException, a
     * plaintext that is not a strict JSON object or array JsonParseError.
     */
    Json::Value decrypt(const Json::Value& envelope, qint64 maximumCiphertextSize = AnyCiphertextSize) const;
    /** The RSASSA-PKCS1-v1_5 signature over the SHA-1 digest of data, k bytes. */
    QByteArray sign(const QByteArray& data) const;
    /** {"data": Base64 of the compact text, "signature": Base64 of the signature over that Base64 text,
     *  "signedby": owner}. */
    Json::Value sign(const Json::Value& value) const;
    /** Returns only if signature is a valid signature of data: SignatureVerificationFailedException otherwise,
     *  SignatureVerificationFailedWithErrorException when the check itself fails. */
    void verify(const QByteArray& data, const QByteArray& signature) const;
    /** The value inside a signed object made by the owner; checks the signer first. */
    Json::Value verify(const Json::Value& signedObject) const;
    /** True for an object with "signedby", "signature" and "data". */
    static bool isSigned(const Json::Value& value);

    /** The actor the pair belongs to. */
    const ReverizActor& keyOwner() const { return m_owner; }
    /** The public key's PEM text. */
    const QByteArray& publicKey() const { return m_publicKey; }
    /** The private key as stored: PEM, empty, or the protected form when requiresPassPhrase(). */
    const QByteArray& privateKey() const { return m_privateKey; }
    /** True when the private key is stored in its pass-phrase-protected form. */
    bool requiresPassPhrase() const { return m_requiresPassPhrase; }

private:
    // The private key PEM text, decrypted for a protected key; throws as maybeDecryptPrivateKey.
    Reveriz::SecureBytes privateKeyPem(const QString& passPhrase) const;
    // The decoded private key; throws as makeRSA(true) does for a private key that is missing, locked or no PEM.
    Reveriz::OsslPtr<EVP_PKEY> privateHalf() const;
    void wipeSecrets() noexcept;

    QByteArray m_publicKey;
    QByteArray m_privateKey;
    bool m_requiresPassPhrase = false;
    // The pass phrase once the holder has given it or set it; never written to key files. The decrypted private
    // key is never kept: each private-key operation decrypts the stored form anew.
    bool m_passPhraseSupplied = false;
    QString m_passPhrase;
    ReverizActor m_owner;
};

#endif
