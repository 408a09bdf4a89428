#ifndef REVERIZ_COMMON_ENCRYPTION_ENCRYPTEDLOGFILE_H
#define REVERIZ_COMMON_ENCRYPTION_ENCRYPTEDLOGFILE_H

#include "common/encryption/compressedformat.h"
#include "common/largebuffer.h"

#include <QByteArray>

#include <json/value.h>

#include <cstddef>
#include <functional>
#include <optional>

class ReverizKey;

/**
 * An encrypted log file is a JSON document whose "key" holds the log-file key wrapped for a key pair and whose
 * "logData" holds the Base64 text of the log data in the encrypted data format; other members are ignored.
 */
namespace EncryptedLogFile {

/** What a reader takes from an encrypted log file. */
struct Parts
{
    /** The wrapped key; null when the document has no "key" (or is no object). */
    Json::Value key;
    /** The Base64 text of "logData", borrowed from the document; null when it is missing or is no string. */
    const char* logData = nullptr;
    std::size_t logDataSize = 0;
};

/** The parts of a whole log file, with the text they point into. */
struct LogFile
{
    Parts parts;
    LargeBuffer text; // the file's text, read by the fast reader
    QByteArray declined; // a copy of the log data, when the permissive reader had to read the file
};

/** The parts of a document as the permissive reader returned it; logData points into document. */
Parts fromDocument(const Json::Value& document);

/**
 * Reads the parts straight from the document text, changing the text in place (strings are unescaped where
 * they stand); logData points into text. It reads only strictly formed JSON objects, and for every text it reads the
 * parts equal those of fromDocument on the permissive reader's result. It declines (nullopt) all other text:
 * other roots, comments, deep nesting, anything malformed. text[size] must be a zero byte. The text is then spoilt, and
 * the caller reads the file again with the permissive reader.
 */
std::optional<Parts> scanInPlace(char* text, std::size_t size);

/**
 * The parts of the log file whose text (and a zero byte after it) is in text: by the fast reader, or, when it
 * declines, from the document readAgain returns, which reads the file again with the permissive reader.
 */
LogFile read(LargeBuffer text, const std::function<Json::Value()>& readAgain);

/**
 * Decrypts the log data of file with key, in place: Base64 (leniently, characters outside the alphabet are
 * skipped) and then ReverizKey::decryptDataInPlace, which hands the plain log to sink in pieces. Missing log data
 * is an empty log. Returns false when sink stopped it; throws what decryptData throws.
 */
bool decryptLogData(const ReverizKey& key, LogFile& file, const CompressedFormat::Sink& sink);

} // namespace EncryptedLogFile

#endif
