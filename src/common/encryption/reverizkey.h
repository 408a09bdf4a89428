#ifndef REVERIZ_COMMON_ENCRYPTION_REVERIZKEY_H
#define REVERIZ_COMMON_ENCRYPTION_REVERIZKEY_H

/**
 * @file
 * ReverizKey, a symmetric key: its plain and wrapped forms, the encrypted data format, key files and blocks.
 */

#include "common/encryption/reverizkeyidentifier.h"
#include "common/reverizexport.h"

#include <QByteArray>
#include <QString>

#include <json/value.h>

#include <cstddef>
#include <functional>
#include <memory>

class ReverizPackage;
class ReverizPackageBlock;
class ReverizRSA;

/**
 * The names this library adds to the system's own, which stay global: its start-up, the log-file module, the
 * OpenSSL handles, a plain package value, and the sink and stream check of streamed decryption.
 */
namespace Reveriz {

/** Takes the next piece of plain data; returns false to stop. */
using Sink = std::function<bool(const char* data, std::size_t size)>;

/** When the soundness of compressed plain data (it decodes, its checksum holds, it stays in its limit) is known. */
enum class StreamCheck {
    /** As it is inflated: a sink may have taken part of data that then fails. */
    WhileWriting,
    /** Before the sink sees any of it: the data is inflated once to check it and once more for the sink. */
    BeforeWriting,
};

} // namespace Reveriz

/**
 * A symmetric key with what it takes to use it: identifier, key bytes, cipher name ("aes-128-cbc", "bf-cbc"),
 * key length and whether the data carries no vector (fixedIvec) or a random one of keyLengthInBytes bytes in
 * front. Only the cipher's own key length of leading key bytes enters the cipher.
 */
class REVERIZ_EXPORT ReverizKey
{
public:
    /** Stores the values unchanged, with no check. */
    ReverizKey(const ReverizKeyIdentifier& identifier, const QByteArray& key, const QString& cipherName,
               unsigned int keyLengthInBytes, bool fixedIvec);
    /** Makes keyLengthInBytes random key bytes; throws KeyGenerationFailedException when the source fails. */
    ReverizKey(const ReverizKeyIdentifier& identifier, const QString& cipherName, unsigned int keyLengthInBytes,
               bool fixedIvec);

    /** A copy sharing the key bytes. */
    ReverizKey(const ReverizKey&) = default;
    /** Takes other's key bytes. */
    ReverizKey(ReverizKey&&) noexcept = default;
    /** Shares other's key bytes, wiping those held so far (where no copy shares them). */
    ReverizKey& operator=(const ReverizKey& other);
    /** Takes other's key bytes, wiping those held so far. */
    ReverizKey& operator=(ReverizKey&& other) noexcept;
    /** Wipes the key bytes where no copy of the key shares them. */
    ~ReverizKey();

    /** A random key identified as a session key. */
    static std::shared_ptr<ReverizKey> createSessionKey(const QString& cipherName, unsigned int keyLengthInBytes,
                                                        bool fixedIvec);
    /** A random key identified as the key of a log file. */
    static std::shared_ptr<ReverizKey> createLogfileKey(const QString& cipherName, unsigned int keyLengthInBytes,
                                                        bool fixedIvec);
    /** A random package key; both ids are checked first (InvalidUUIDException). */
    static std::shared_ptr<ReverizKey> createPackageKey(const QString& folderId, const QString& packageId,
                                                        const QString& cipherName, unsigned int keyLengthInBytes,
                                                        bool fixedIvec);
    /**
     * The key derived from the Latin-1 bytes of passPhrase: a chain of SHA-1 digests, 20 bytes each, until at
     * least keyLengthInBytes bytes; not cut to that length (16 gives 20 bytes, 41 gives 60).
     */
    static std::shared_ptr<ReverizKey> createPassPhraseBasedKey(const QString& passPhrase, const QString& cipherName,
                                                                unsigned int keyLengthInBytes, bool fixedIvec);

    // Package storage: encrypted key files and package blocks.

    /**
     * Stores a wrapped package key in base/userUUID/packageId.reverizencryptedkey as styled JSON, creating the
     * user directory and replacing an existing file. Throws the exceptions of packageId, then of
     * encryptedForUserUUID, then FileWriteFailedException ("ReverizKey", idType "PackageFile", the path).
     */
    static void writeEncryptedKeyToFile(const QString& baseDirectory, const Json::Value& wrappedKey);
    /**
     * The wrapped key of that file, parsed strictly (JsonParseError "ReverizKey" otherwise). Throws
     * PackageKeyFileDoesNotExistException when either id is not UUID-shaped or the file does not exist.
     */
    static Json::Value readEncryptedKeyFromFile(const QString& baseDirectory, const QString& packageId,
                                                const QString& userUUID);
    /** Removes that file if it exists and both ids are UUID-shaped; reports nothing. */
    static void deleteKeyFile(const QString& baseDirectory, const QString& packageId, const QString& userUUID);
    /** "encryptedfor"/"userUUID" of a wrapped key; CouldNotDetermineUserUUIDOfEncryptedPackageException unless
     *  it is UUID-shaped text (UuidTools::validateUuid), which keeps it a single path component. */
    static QString encryptedForUserUUID(const Json::Value& wrappedKey);
    /** The clear "packageId" of a wrapped key; CouldNotDeterminePackageUUIDOfEncryptedPackageException unless it
     *  is UUID-shaped text. */
    static QString packageId(const Json::Value& wrappedKey);

    /**
     * Encrypts the block's source range (4 MiB from its offset, fewer at the end of the file) into its payload,
     * which sets its size and checksum, and sets its uncompressed flag. With compress the range is stored
     * compressed unless that is longer. *keepCompressing becomes compress, cleared when compression did not pay
     * off here. Throws FileOpenFailedException, FileReadFailedException or EncryptionFailedException, leaving
     * the block unchanged.
     */
    void encryptBlock(ReverizPackageBlock* block, const QString& sourcePath, bool compress,
                      bool* keepCompressing) const;
    /**
     * Decrypts the block's payload (at most 8 MiB) and writes the plain bytes into targetPath at the block's
     * offset, creating the file and keeping the rest of it. A package format version above 2 is refused first
     * (code 2244). Throws DecryptionFailedException, FileOpenFailedException or FileWriteFailedException.
     */
    void decryptBlock(ReverizPackage* package, const QString& targetPath, ReverizPackageBlock* block) const;

    /** What the key is for. */
    ReverizKeyIdentifier identifier() const { return m_identifier; }
    /** The key bytes, shared with the key: the last holder wipes them (Reveriz::wipe). */
    QByteArray key() const { return m_key; }
    /** The OpenSSL name of the CBC cipher, such as "aes-128-cbc". */
    QString cipherName() const { return m_cipherName; }
    /** The number of key bytes made for a new key, and the length of the stored vector. */
    unsigned int keyLengthInBytes() const { return m_keyLengthInBytes; }
    /** True when data carries no vector and the fixed one is used. */
    bool fixedIvec() const { return m_fixedIvec; }

    /**
     * Makes this a package key of folderId, keeping its package id. Throws InvalidUUIDException, leaving the key
     * unchanged, when either id is not a UUID or the key has no package id.
     */
    void addFolderId(QString folderId);

    /** The plain JSON form: "key" (Base64), "cipherName", "keyLengthInBytes", "fixedIvec", "identifier", and
     *  "packageId" when the identifier has one. */
    Json::Value toJson() const;
    /**
     * Reads the plain form; "cipherName", "fixedIvec" and "keyLengthInBytes" default to "bf-cbc", true and 1024,
     * and a form without "identifier" needs a "packageId". Throws a subclass of InvalidJsonInputException.
     */
    static std::shared_ptr<ReverizKey> fromJson(const Json::Value& json);

    /**
     * The wrapped form for pair's owner: the RSA envelope of the plain form, with the package id in clear as
     * "packageId" when the key has one. Throws what ReverizRSA::encrypt throws.
     */
    Json::Value toJson(const std::shared_ptr<ReverizRSA>& pair) const;
    /**
     * Unwraps a key wrapped for pair's owner, which needs pair's private key. Throws what ReverizRSA::decrypt
     * and the plain fromJson throw.
     */
    static std::shared_ptr<ReverizKey> fromJson(const std::shared_ptr<ReverizRSA>& pair, const Json::Value& wrapped);

    /**
     * Compresses data and encrypts it: the random vector (unless fixedIvec), then the CBC ciphertext. Empty data
     * stays empty. Throws EncryptionFailedException.
     */
    [[nodiscard]] QByteArray encryptData(const QByteArray& data) const;
    /**
     * Reverses encryptData; refuses data announcing more than 128 MiB. Empty data stays empty. Throws
     * DecryptionFailedException (also for a wrong key or damaged data).
     */
    [[nodiscard]] QByteArray decryptData(const QByteArray& data) const;
    /**
     * decryptData for large data: decrypts data where it stands (overwriting it) and hands the plain data to sink
     * in pieces, in order, without holding all of it. The same checks, failures and bytes as decryptData; with
     * StreamCheck::WhileWriting sink may have taken part of the data when this throws, with BeforeWriting it has
     * taken none. Returns false when sink stopped it.
     */
    [[nodiscard]] bool decryptDataInPlace(char* data, qsizetype size, const Reveriz::Sink& sink,
                                          Reveriz::StreamCheck check = Reveriz::StreamCheck::WhileWriting) const;
    /** keyLengthInBytes + 1. */
    quint64 minimumBytesForDecryption() const;

    /** All five values equal. */
    friend bool operator==(const ReverizKey& a, const ReverizKey& b)
    {
        return a.m_identifier == b.m_identifier && a.m_key == b.m_key && a.m_cipherName == b.m_cipherName
            && a.m_keyLengthInBytes == b.m_keyLengthInBytes && a.m_fixedIvec == b.m_fixedIvec;
    }
    /** Not operator==. */
    friend bool operator!=(const ReverizKey& a, const ReverizKey& b) { return !(a == b); }

private:
    ReverizKeyIdentifier m_identifier;
    QByteArray m_key;
    QString m_cipherName;
    unsigned int m_keyLengthInBytes;
    bool m_fixedIvec;
};

#endif
