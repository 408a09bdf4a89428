#ifndef REVERIZ_COMMON_ENCRYPTION_INTERNAL_LOGFILEREADER_H
#define REVERIZ_COMMON_ENCRYPTION_INTERNAL_LOGFILEREADER_H

#include <QByteArray>

#include <json/value.h>

#include <cstddef>
#include <optional>

// The two readers of encrypted log files behind EncryptedLogFile::LogFile: the fast one, which reads the text in
// place, and the parts of the permissive reader's document. Internal to the encryption layer.
namespace Reveriz::Internal::LogFileReader {

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

} // namespace Reveriz::Internal::LogFileReader

#endif
