#ifndef REVERIZ_COMMON_ENCRYPTION_ENCRYPTEDLOGFILE_H
#define REVERIZ_COMMON_ENCRYPTION_ENCRYPTEDLOGFILE_H

#include "common/encryption/compressedformat.h"
#include "common/largebuffer.h"

#include <QByteArray>
#include <QString>

#include <json/value.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

class ReverizKey;
class ReverizRSA;

/**
 * An encrypted log file is a JSON document whose "key" holds the log-file key wrapped for a key pair and whose
 * "logData" holds the Base64 text of the log data in the encrypted data format; other members are ignored.
 *
 * Anyone holding a public key can write one, so a log file is read within bounds that a legitimate one never
 * reaches: its size, the number of its JSON values, the size of its key and the RSA blocks of its key. Memory
 * stays below twice the file's size plus a few MiB, and time in proportion to the size.
 */
namespace Reveriz::EncryptedLogFile {

/** The largest plain log the encrypted data format holds. */
inline constexpr qint64 MaximumPlainSize = qint64(1) << 27;

/**
 * The largest log file: the Base64 text of the largest stored log data (a vector of up to 2 KiB, then the CBC
 * encryption of the compressed plain log, which any zlib may have written), with an escaped line break every 64
 * characters, and 1 MiB for the rest of the document.
 */
inline constexpr qint64 MaximumFileSize = [] {
    constexpr qint64 compressed = 4 + MaximumPlainSize + MaximumPlainSize / 4096 + MaximumPlainSize / 16384
        + MaximumPlainSize / (qint64(1) << 25) + 13;
    constexpr qint64 stored = 2048 + compressed + 32;
    constexpr qint64 base64 = (stored + 2) / 3 * 4;
    return base64 + base64 / 64 * 2 + (qint64(1) << 20);
}();

/** The most JSON values (strings, numbers, literals, containers and member names) a log file may hold. */
inline constexpr std::size_t MaximumValues = 65536;

/** The most bytes of text (strings and member names) the wrapped key of a log file may hold. */
inline constexpr std::size_t MaximumKeySize = 65536;

/** The most RSA blocks the envelope of a log file's key may hold: a log-file key takes one. */
inline constexpr int MaximumKeyBlocks = 4;

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
QByteArray make(const std::shared_ptr<ReverizRSA>& pair, const QByteArray& plain);

/** What a reader takes from an encrypted log file. */
struct Parts
{
    /** The wrapped key; null when the document has no "key" (or is no object). */
    Json::Value key;
    /** The Base64 text of "logData", in the text the parts were read from; null when it is missing or no string. */
    char* logData = nullptr;
    std::size_t logDataSize = 0;
};

/**
 * Whether the text [text, text + size) holds at most limit JSON values, counted without parsing it: strings,
 * containers and commas, outside strings and comments. Every reader of the text agrees on where those are.
 */
bool hasAtMostValues(const char* text, std::size_t size, std::size_t limit);

/** The parts of a document as the permissive reader returned it; the log data is copied into storage. */
Parts fromDocument(const Json::Value& document, QByteArray& storage);

/**
 * Reads the parts straight from the document text, changing the text in place (strings are unescaped where
 * they stand); logData points into text. It reads only strictly formed JSON objects, and for every text it reads the
 * parts equal those of fromDocument on the permissive reader's result. It declines (nullopt) all other text:
 * other roots, comments, deep nesting, anything malformed. text[size] must be a zero byte. The text is then spoilt, and
 * the caller reads the file again with the permissive reader.
 */
std::optional<Parts> scanInPlace(char* text, std::size_t size);

/** An encrypted log file, read and checked against the bounds; its log data can be decrypted once. */
class LogFile
{
public:
    /**
     * Reads the log file at path (moving a lone ".tempreplace" companion into place first). Throws the file
     * utilities' failures (4006 for text that is not JSON), and InputRefusedException beyond the bounds.
     */
    static LogFile open(const QString& path);
    /**
     * Reads a log file whose text (and a zero byte after it) is in text; readAgain returns the text once more
     * when the permissive reader is needed. name names it in messages. Throws as open does.
     */
    static LogFile read(Internal::LargeBuffer text, const QString& name, const std::function<QByteArray()>& readAgain);

    /** The wrapped key; null when the document has none. */
    const Json::Value& wrappedKey() const { return m_parts.key; }

    /**
     * Unwraps the key with pair's private key. An envelope of more than MaximumKeyBlocks blocks throws
     * InputRefusedException before any RSA operation; otherwise throws what ReverizKey::fromJson throws.
     */
    std::shared_ptr<ReverizKey> unwrapKey(const std::shared_ptr<ReverizRSA>& pair) const;

    /**
     * Decrypts the log data with key, in place: Base64 (leniently, characters outside the alphabet are skipped)
     * and then ReverizKey::decryptDataInPlace, which hands the plain log to sink in pieces. Missing log data is
     * an empty log. Returns false when sink stopped it; throws what decryptData throws, with
     * StreamCheck::BeforeWriting before sink has seen any of the log. The log data is used up.
     */
    bool
    decryptTo(const ReverizKey& key, const Internal::CompressedFormat::Sink& sink,
              Internal::CompressedFormat::StreamCheck check = Internal::CompressedFormat::StreamCheck::WhileWriting);

    /**
     * decryptTo into the file outputPath, which appears only complete: the plain log goes to a temporary file
     * beside it (AtomicFile, plain-text permissions, not synced: it can be made again) that replaces outputPath
     * at the end. The output is checked before anything is decrypted. Throws FileWriteFailedException (idType
     * "OutputFile", the path) when it cannot be written, and what decryptTo throws.
     */
    void decryptToFile(const ReverizKey& key, const QString& outputPath);

private:
    LogFile() = default;

    Parts m_parts;
    Internal::LargeBuffer m_text; // the file's text, read by the fast reader
    QByteArray m_declined; // a copy of the log data, when the permissive reader had to read the file
};

} // namespace Reveriz::EncryptedLogFile

#endif
