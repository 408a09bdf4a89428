#ifndef REVERIZ_COMMON_ENCRYPTION_ENCRYPTEDLOGFILE_H
#define REVERIZ_COMMON_ENCRYPTION_ENCRYPTEDLOGFILE_H

/**
 * @file
 * Reveriz::EncryptedLogFile: making, reading and decrypting encrypted log files.
 */

#include "common/encryption/reverizactor.h"
#include "common/encryption/reverizkey.h"
#include "common/reverizexport.h"

#include <QByteArray>
#include <QString>

#include <json/value.h>

#include <cstddef>
#include <memory>

class ReverizRSA;

/**
 * An encrypted log file is a JSON document whose "key" holds the log-file key wrapped for a key pair and whose
 * "logData" holds the Base64 text of the log data in the encrypted data format; other members are ignored.
 *
 * Anyone holding a public key can write one, so a log file is read within bounds that a legitimate one never
 * reaches: its size, the number of its JSON values, the size of its key and the size of its key's RSA ciphertext.
 * Memory stays below twice the file's size plus a few MiB, and time in proportion to the size.
 */
namespace Reveriz::EncryptedLogFile {

/** The largest plain log the encrypted data format holds. */
inline constexpr qint64 MaximumPlainSize = qint64(1) << 27;

/**
 * The largest log file: the Base64 text of the largest stored log data (a vector of up to 2 KiB, then the CBC
 * encryption of the compressed plain log, which any zlib may have written), with an escaped line break ending
 * each line of 64 characters, the last and shorter one included, and 1 MiB for the rest of the document:
 * 185657164 bytes.
 */
inline constexpr qint64 MaximumFileSize = [] {
    constexpr qint64 compressed = 4 + MaximumPlainSize + MaximumPlainSize / 4096 + MaximumPlainSize / 16384
        + MaximumPlainSize / (qint64(1) << 25) + 13;
    constexpr qint64 stored = 2048 + compressed + 32;
    constexpr qint64 base64 = (stored + 2) / 3 * 4;
    return base64 + (base64 + 63) / 64 * 2 + (qint64(1) << 20);
}();
static_assert(MaximumFileSize == 185657164, "the log-file size limit the manual pages and README give");

/** The most JSON values (strings, numbers, literals, containers and member names) a log file may hold. */
inline constexpr std::size_t MaximumValues = 65536;

/** The most bytes of text (strings and member names) the wrapped key of a log file may hold. */
inline constexpr std::size_t MaximumKeySize = 65536;

/**
 * The most bytes of RSA ciphertext the envelope of a log file's key may hold: 16 blocks of a 4096-bit key, 32 of a
 * 2048-bit one. The key of every cipher the system writes takes far less (a 1024-byte "bf-cbc" key 7 blocks of a
 * 2048-bit key), while each block costs a private-key operation.
 */
inline constexpr qint64 MaximumKeyCiphertextSize = 8192;

/**
 * The largest log file that is read by the permissive reader (comments, other roots, unusual forms) when the fast
 * reader declines it: that reader builds the whole document, so larger files must be strict JSON, as servers
 * write them. A larger file the fast reader declines is reported as not being JSON.
 */
inline constexpr qint64 PermissiveReadLimit = qint64(32) << 20;

/** The least RSA size a new log file's key is wrapped for: a shorter one would let others read the log. */
inline constexpr int MinimumKeyBits = 2048;

/**
 * The compact JSON text of a new log file for pair's owner, as servers write it: a fresh "aes-128-cbc" log-file
 * key with a random vector, wrapped under "key", and plain in the encrypted data format, in Base64, under
 * "logData". Throws InputRefusedException for a plain log larger than MaximumPlainSize and for a public key that
 * fails ReverizRSA::checkPublicKey(MinimumKeyBits), and what wrapping and encryptData throw.
 */
REVERIZ_EXPORT QByteArray make(const std::shared_ptr<ReverizRSA>& pair, const QByteArray& plain);

/** An encrypted log file, read and checked against the bounds; its log data can be decrypted once. */
class REVERIZ_EXPORT LogFile
{
public:
    /**
     * Reads the log file at path (with recoverTempReplace, moving a lone ".tempreplace" companion into place
     * first). Throws the file utilities' failures (4006 for text that is not JSON), and InputRefusedException beyond
     * the bounds.
     */
    static LogFile open(const QString& path, bool recoverTempReplace = true);
    /**
     * Reads a log file from its text; name names it in messages. Throws as open does for a file of that text: the
     * file utilities' failure 4006 naming name for text that is not JSON, InputRefusedException beyond the bounds.
     */
    static LogFile read(const QByteArray& text, const QString& name);
    /**
     * Reads a log file from its text and the document the permissive reader made of it (as
     * FileUtilities::readJsonValue and Reveriz::KeyFile::Document do), without parsing the text again; throws as
     * read does beyond the bounds.
     */
    static LogFile read(const QByteArray& text, const Json::Value& document, const QString& name);

    ///@{
    /** Takes other's file over; other may then only be destroyed or assigned to. */
    LogFile(LogFile&& other) noexcept;
    LogFile& operator=(LogFile&& other) noexcept;
    ///@}
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    ~LogFile();

    /** The wrapped key; null when the document has none. */
    const Json::Value& wrappedKey() const;

    /** The actor the key is wrapped for, read without any key; throws as ReverizRSA::envelopeRecipient. */
    ReverizActor recipient() const;
    /** The RSA blocks of a keyBits-bit key that the wrapped key holds, as ReverizRSA::envelopeBlocks counts them. */
    qint64 keyBlocks(int keyBits) const;
    /** Whether the document has log data: a "logData" string. */
    bool hasLogData() const;
    /**
     * The size in bytes of the log data after Base64 decoding (as decryptTo decodes it), counted without decoding
     * it; 0 without log data. Throws std::logic_error once decryptTo has used the log data up.
     */
    qint64 logDataSize() const;

    /**
     * Unwraps the key with pair's private key. An envelope of more than MaximumKeyCiphertextSize bytes throws
     * InputRefusedException before any RSA operation; otherwise throws what ReverizKey::fromJson throws.
     */
    std::shared_ptr<ReverizKey> unwrapKey(const std::shared_ptr<ReverizRSA>& pair) const;

    /**
     * Decrypts the log data with key, in place: Base64 (leniently, characters outside the alphabet are skipped)
     * and then ReverizKey::decryptDataInPlace, which hands the plain log to sink in pieces. Missing log data is
     * an empty log. Returns false when sink stopped it; throws what decryptData throws, with
     * StreamCheck::BeforeWriting before sink has seen any of the log. The log data is used up: a second call throws
     * std::logic_error.
     */
    bool decryptTo(const ReverizKey& key, const Sink& sink, StreamCheck check = StreamCheck::WhileWriting);

    /**
     * decryptTo into the file outputPath by the tools' output policy, checked before anything is decrypted. A
     * regular file appears only complete: the plain log goes to a temporary file beside it (mode 0600, or that of the
     * caller's own regular file it replaces; not synced: it can be made again) that replaces outputPath at the end.
     * A character device or FIFO is written in place, and only with a log whose data has been checked whole. Throws
     * FileWriteFailedException (idType "OutputFile", the path) when it cannot be written or the policy refuses it,
     * and what decryptTo throws.
     */
    void decryptToFile(const ReverizKey& key, const QString& outputPath);

    /**
     * The compact JSON text of this log file for recipient's owner: key, the log file's key, wrapped for recipient
     * under "key", and the text of "logData" exactly as the file holds it, byte for byte with any escapes (left out
     * when the file has no log data). Other members are not carried over. Throws InputRefusedException for a
     * recipient that fails ReverizRSA::checkPublicKey(MinimumKeyBits), what wrapping throws, and std::logic_error
     * once decryptTo has used the log data up.
     */
    QByteArray rewrapped(const ReverizKey& key, const std::shared_ptr<ReverizRSA>& recipient) const;

private:
    struct Impl;
    LogFile();

    std::unique_ptr<Impl> m_impl;
};

} // namespace Reveriz::EncryptedLogFile

#endif
