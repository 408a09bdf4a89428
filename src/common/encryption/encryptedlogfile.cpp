#include "encryptedlogfile.h"

#include "common/encryption/internal/encryptionnames.h"
#include "common/encryption/internal/logfilereader.h"
#include "common/encryption/reverizkey.h"
#include "common/encryption/reverizrsa.h"
#include "common/exceptions/reverizexception.h"
#include "common/fileutilities.h"
#include "common/internal/atomicfile.h"
#include "common/internal/base64.h"
#include "common/internal/jsontext.h"
#include "common/internal/largebuffer.h"

#include <cstring>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#if defined(__SSE4_2__)
#define RAPIDJSON_SSE42
#elif defined(__SSE2__)
#define RAPIDJSON_SSE2
#endif
#include <rapidjson/reader.h>

using namespace Reveriz::Internal;
using namespace Reveriz::Internal::LogFileReader;

namespace Reveriz::Internal::LogFileReader {

namespace {

// New log files get a fresh AES-128 key with a random vector each.
const QString logCipher = QStringLiteral("aes-128-cbc");
constexpr unsigned int logKeyLength = 16;

// Far below the permissive reader's own limit, so that every text read here is one it reads too.
constexpr int maximumDepth = 256;

// Only objects are read: a number at the root may end later for the permissive reader, whose numbers take more
// characters, and nothing but an object is an encrypted log file anyway.

// Builds the parts while the reader walks the text: the last "key" value as a Json::Value and the last "logData"
// string in place, as the permissive reader keeps the last of duplicate members. Everything else is walked
// (and so checked) but not kept.
class PartsHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, PartsHandler>
{
public:
    explicit PartsHandler(char* text)
        : m_text(text)
    {
    }

    Parts parts;

    bool Null() { return value(Json::Value()); }
    bool Bool(bool b) { return value(Json::Value(b)); }

    // Numbers arrive as their text. The permissive reader decides what a number is (an int, an unsigned or a
    // real, and whether an out-of-range one is refused), so it reads each one here too.
    bool RawNumber(const char* text, rapidjson::SizeType length, bool /*copy*/)
    {
        Json::Value number;
        if (!JsonText::parsePermissive(text, text + length, number) || !number.isNumeric())
            return false;
        return value(std::move(number));
    }

    bool String(const char* text, rapidjson::SizeType length, bool /*copy*/)
    {
        if (m_depth == 1 && m_member == RootMember::LogData) {
            // Parsed in place, the string stands in the text that this handler was given to change.
            parts.logData = m_text + (text - m_text);
            parts.logDataSize = length;
            m_member = RootMember::None;
            return true;
        }
        return value(Json::Value(text, text + length));
    }

    bool StartObject() { return start(Json::objectValue); }
    bool EndObject(rapidjson::SizeType /*members*/) { return end(); }
    bool StartArray() { return start(Json::arrayValue); }
    bool EndArray(rapidjson::SizeType /*elements*/) { return end(); }

    bool Key(const char* name, rapidjson::SizeType length, bool /*copy*/)
    {
        if (m_depth == 1) {
            const std::string member(name, length);
            m_member = member == Member::key ? RootMember::Key
                : member == Member::logData  ? RootMember::LogData
                                             : RootMember::Other;
            return true;
        }
        if (!m_building.empty())
            m_name.assign(name, length);
        return true;
    }

private:
    enum class RootMember { None, Key, LogData, Other };

    // The next value of a root member, or of a container inside "key".
    bool value(Json::Value scalar)
    {
        if (m_depth == 0)
            return false; // a root that is no object
        if (m_depth == 1) {
            if (m_member == RootMember::Key)
                parts.key = std::move(scalar);
            else if (m_member == RootMember::LogData)
                clearLogData();
            m_member = RootMember::None;
            return true;
        }
        if (!m_building.empty())
            add(std::move(scalar));
        return true;
    }

    bool start(Json::ValueType type)
    {
        if (++m_depth > maximumDepth)
            return false;
        if (m_depth == 1)
            return type == Json::objectValue;
        if (m_depth == 2) {
            if (m_member == RootMember::Key) {
                parts.key = Json::Value(type);
                m_building.push_back(&parts.key);
            } else if (m_member == RootMember::LogData) {
                clearLogData();
            }
            m_member = RootMember::None;
            return true;
        }
        if (!m_building.empty())
            m_building.push_back(&add(Json::Value(type)));
        return true;
    }

    bool end()
    {
        if (m_depth >= 2 && !m_building.empty())
            m_building.pop_back();
        --m_depth;
        return true;
    }

    Json::Value& add(Json::Value value)
    {
        Json::Value& container = *m_building.back();
        // A later duplicate member replaces the earlier one whole, as in the permissive reader.
        return container.isArray() ? container.append(std::move(value)) : (container[m_name] = std::move(value));
    }

    void clearLogData()
    {
        parts.logData = nullptr;
        parts.logDataSize = 0;
    }

    char* m_text;
    int m_depth = 0;
    RootMember m_member = RootMember::None;
    std::string m_name;
    std::vector<Json::Value*> m_building;
};

} // namespace

namespace {

[[noreturn]] void refuse(const QString& message, const QString& sourceFile, int sourceLine)
{
    throw InputRefusedException(Context::encryptedLogFile, message, sourceFile, sourceLine);
}

// The bytes of text a JSON value holds: its strings and member names.
std::size_t textSize(const Json::Value& value)
{
    switch (value.type()) {
    case Json::stringValue: {
        const char* begin = nullptr;
        const char* end = nullptr;
        value.getString(&begin, &end);
        return static_cast<std::size_t>(end - begin);
    }
    case Json::arrayValue:
    case Json::objectValue: {
        std::size_t size = 0;
        for (auto member = value.begin(); member != value.end(); ++member)
            size += textSize(*member) + (value.isObject() ? member.name().size() : 0);
        return size;
    }
    default:
        return 0;
    }
}

// Skips a string whose opening quote was at text[i - 1]; returns the index after its closing quote (or size).
std::size_t skipString(const char* text, std::size_t size, std::size_t i)
{
    const std::size_t contentStart = i;
    while (i < size) {
        const auto* quote = static_cast<const char*>(std::memchr(text + i, '"', size - i));
        if (!quote)
            return size;
        auto end = static_cast<std::size_t>(quote - text);
        // The quote closes the string unless an odd number of backslashes escapes it.
        std::size_t backslashes = 0;
        while (end - backslashes > contentStart && text[end - backslashes - 1] == '\\')
            ++backslashes;
        i = end + 1;
        if (backslashes % 2 == 0)
            return i;
    }
    return size;
}

// Skips a comment whose "/" was at text[i - 1], as the permissive reader does; returns the index after it.
std::size_t skipComment(const char* text, std::size_t size, std::size_t i)
{
    if (i >= size)
        return i;
    if (text[i] == '/') {
        while (i < size && text[i] != '\n' && text[i] != '\r')
            ++i;
        return i;
    }
    if (text[i] == '*') {
        for (i += 1; i + 1 < size; ++i) {
            if (text[i] == '*' && text[i + 1] == '/')
                return i + 2;
        }
        return size;
    }
    return i;
}

} // namespace

bool hasAtMostValues(const char* text, std::size_t size, std::size_t limit)
{
    // Every value but the first of a container follows a comma, and every member has a name; so strings,
    // containers and commas (plus the root) count the values and names from above.
    std::size_t count = 1;
    std::size_t i = 0;
    while (i < size) {
        const char c = text[i++];
        if (c == '"') {
            i = skipString(text, size, i);
            ++count;
        } else if (c == '/') {
            i = skipComment(text, size, i);
        } else if (c == ',' || c == '[' || c == '{') {
            ++count;
        } else {
            continue;
        }
        if (count > limit)
            return false;
    }
    return true;
}

Parts fromDocument(const Json::Value& document, QByteArray& storage)
{
    Parts parts;
    if (!document.isObject())
        return parts;
    const std::string_view key(Member::key);
    const std::string_view logDataName(Member::logData);
    if (const Json::Value* value = document.find(key.data(), key.data() + key.size()))
        parts.key = *value;
    const Json::Value* logData = document.find(logDataName.data(), logDataName.data() + logDataName.size());
    if (logData && logData->isString()) {
        const char* begin = nullptr;
        const char* end = nullptr;
        logData->getString(&begin, &end);
        storage = QByteArray(begin, static_cast<qsizetype>(end - begin));
        parts.logData = storage.data();
        parts.logDataSize = static_cast<std::size_t>(storage.size());
    }
    return parts;
}

std::optional<Parts> scanInPlace(char* text, std::size_t size)
{
    // The reader stops at a zero byte, as at the end of the text; one inside the text makes it decline.
    if (size == 0 || text[size] != '\0')
        return std::nullopt;
    PartsHandler handler(text);
    rapidjson::InsituStringStream stream(text);
    rapidjson::Reader reader;
    // Recursive, not iterative: the handler bounds the depth, and the iterative parser's first push onto its
    // still empty stack adds an offset to a null pointer, which is undefined behaviour. Parsed in place, strings
    // and numbers never use that stack.
    constexpr unsigned flags =
        rapidjson::kParseInsituFlag | rapidjson::kParseStopWhenDoneFlag | rapidjson::kParseNumbersAsStringsFlag;
    if (reader.Parse<flags>(stream, handler).IsError())
        return std::nullopt;
    return std::move(handler.parts);
}

} // namespace Reveriz::Internal::LogFileReader

namespace Reveriz::EncryptedLogFile {

namespace {

// The text of a log file with key wrapped for pair: compact, members in name order, one final line feed. The log
// data's text goes in between its quotes as given.
QByteArray logFileText(const ReverizKey& key, const std::shared_ptr<ReverizRSA>& pair,
                       std::optional<QByteArrayView> logDataText)
{
    std::string wrapped = JsonText::compact(key.toJson(pair));
    if (!wrapped.empty() && wrapped.back() == '\n')
        wrapped.pop_back();
    QByteArray text;
    text.reserve(static_cast<qsizetype>(wrapped.size()) + (logDataText ? logDataText->size() : 0) + 32);
    text.append("{\"").append(Member::key).append("\":").append(wrapped.data(), static_cast<qsizetype>(wrapped.size()));
    if (logDataText)
        text.append(",\"").append(Member::logData).append("\":\"").append(*logDataText).append('"');
    text.append("}\n");
    return text;
}

} // namespace

QByteArray make(const std::shared_ptr<ReverizRSA>& pair, const QByteArray& plain)
{
    if (!pair)
        throw std::invalid_argument("EncryptedLogFile::make: no key pair");
    if (plain.size() > MaximumPlainSize)
        refuse(QStringLiteral("plain log too large: %1 bytes, at most %2").arg(plain.size()).arg(MaximumPlainSize),
               REVERIZ_HERE);
    pair->checkPublicKey(MinimumKeyBits);
    const std::shared_ptr<ReverizKey> key = ReverizKey::createLogfileKey(logCipher, logKeyLength, false);
    // Base64 needs no escape in JSON text.
    return logFileText(*key, pair, key->encryptData(plain).toBase64());
}

struct REVERIZ_NO_EXPORT LogFile::Impl
{
    /**
     * Reads a log file whose text (and a zero byte after it) is in text; readAgain returns the text once more
     * when the permissive reader is needed. name names it in messages.
     */
    static LogFile read(LargeBuffer text, const QString& name, const std::function<QByteArray()>& readAgain);
    /** The permissive reader's part of read: the document of text, which holds at most MaximumValues values. */
    void takeDocument(const Json::Value& document, const QByteArray& text, const QString& name);
    /** The last check of read, on the key. */
    void checkKeySize(const QString& name) const;

    void checkLogDataUnused(const char* function) const;

    Parts m_parts;
    LargeBuffer m_text; // the file's text, read by the fast reader
    QByteArray m_declined; // a copy of the log data, when the permissive reader had to read the file
    // The text of "logData" between its quotes as the file holds it: where it has no escape, the log data itself
    // (reading changed nothing); else a copy, or for the fast reader a view of m_written, the file's text as it
    // was before reading in place.
    QByteArray m_logDataText;
    QByteArray m_written;
    bool m_logDataUsed = false;
};

LogFile::LogFile()
    : m_impl(std::make_unique<Impl>())
{
}

LogFile::LogFile(LogFile&& other) noexcept = default;
LogFile& LogFile::operator=(LogFile&& other) noexcept = default;
LogFile::~LogFile() = default;

LogFile LogFile::open(const QString& path, bool recoverTempReplace)
{
    return Impl::read(readLargeFile(path, recoverTempReplace, MaximumFileSize), path, [&path, recoverTempReplace] {
        QByteArray text;
        FileUtilities::readByteArray(path, text, recoverTempReplace, PermissiveReadLimit);
        return text;
    });
}

namespace {

void checkFileSize(qint64 size, const QString& name)
{
    if (size > MaximumFileSize)
        refuse(QStringLiteral("file too large: %1 (more than %2 bytes)").arg(name).arg(MaximumFileSize), REVERIZ_HERE);
}

void checkValueCount(const char* text, std::size_t size, const QString& name)
{
    // Counted before either reader builds anything: both then hold at most this many values.
    if (!hasAtMostValues(text, size, MaximumValues))
        refuse(QStringLiteral("too many JSON values in log file: %1 (more than %2)").arg(name).arg(MaximumValues),
               REVERIZ_HERE);
}

} // namespace

LogFile LogFile::read(const QByteArray& text, const Json::Value& document, const QString& name)
{
    checkFileSize(text.size(), name);
    checkValueCount(text.constData(), static_cast<std::size_t>(text.size()), name);
    LogFile file;
    file.m_impl->takeDocument(document, text, name);
    file.m_impl->checkKeySize(name);
    return file;
}

LogFile LogFile::read(const QByteArray& text, const QString& name)
{
    // The one size check of text read here; open's reader refuses a larger file before reading it.
    checkFileSize(text.size(), name);
    LargeBuffer buffer(static_cast<std::size_t>(text.size()) + 1);
    std::memcpy(buffer.data(), text.constData(), static_cast<std::size_t>(text.size()));
    return Impl::read(std::move(buffer), name, [&text] { return text; });
}

LogFile LogFile::Impl::read(LargeBuffer text, const QString& name, const std::function<QByteArray()>& readAgain)
{
    const std::size_t size = text.size() > 0 ? text.size() - 1 : 0;
    checkValueCount(text.data(), size, name);

    LogFile file;
    Impl& impl = *file.m_impl;
    // Reading in place rewrites escaped strings; a text with any escape is copied first so that the log data's
    // text as written stays at hand. Files as servers write them have none.
    const bool escaped = size > 0 && std::memchr(text.data(), '\\', size) != nullptr;
    QByteArray written = escaped ? QByteArray(text.data(), static_cast<qsizetype>(size)) : QByteArray();
    if (std::optional<Parts> parts = size > 0 ? scanInPlace(text.data(), size) : std::nullopt) {
        impl.m_parts = std::move(*parts);
        impl.m_text = std::move(text);
        if (char* logData = impl.m_parts.logData) {
            // The reader writes a string's value from where its text begins.
            const auto begin = static_cast<std::size_t>(logData - impl.m_text.data());
            const std::size_t end = escaped ? skipString(written.constData(), size, begin) - 1 : 0;
            if (escaped && std::memchr(written.constData() + begin, '\\', end - begin)) {
                impl.m_written = std::move(written);
                impl.m_logDataText =
                    QByteArray::fromRawData(impl.m_written.constData() + begin, static_cast<qsizetype>(end - begin));
            } else {
                impl.m_logDataText = QByteArray::fromRawData(logData, static_cast<qsizetype>(impl.m_parts.logDataSize));
            }
        }
    } else {
        // The text is spoilt by now; the permissive reader reads the file again, if it is small enough for that.
        text = LargeBuffer();
        if (static_cast<qint64>(size) > PermissiveReadLimit)
            throw FileUtilities::jsonParseFailure(name, REVERIZ_HERE);
        const QByteArray again = readAgain();
        checkValueCount(again.constData(), static_cast<std::size_t>(again.size()), name);
        Json::Value document;
        if (!JsonText::parsePermissive(again, document))
            throw FileUtilities::jsonParseFailure(name, REVERIZ_HERE);
        impl.takeDocument(document, again, name);
    }
    impl.checkKeySize(name);
    return file;
}

void LogFile::Impl::takeDocument(const Json::Value& document, const QByteArray& text, const QString& name)
{
    m_parts = fromDocument(document, m_declined);
    if (!m_parts.logData)
        return;
    // The reader notes where each value's text stands, quotes included.
    const Json::Value& logData = document[Member::logData];
    const auto start = static_cast<qsizetype>(logData.getOffsetStart());
    const auto limit = static_cast<qsizetype>(logData.getOffsetLimit());
    if (start < 0 || limit - start < 2 || limit > text.size() || text.at(start) != '"' || text.at(limit - 1) != '"')
        throw FileUtilities::jsonParseFailure(name, REVERIZ_HERE);
    const QByteArrayView asWritten = QByteArrayView(text).sliced(start + 1, limit - start - 2);
    m_logDataText = asWritten.contains('\\') ? asWritten.toByteArray()
                                             : QByteArray::fromRawData(m_declined.constData(), m_declined.size());
}

void LogFile::Impl::checkKeySize(const QString& name) const
{
    if (textSize(m_parts.key) > MaximumKeySize)
        refuse(QStringLiteral("key too large in log file: %1 (more than %2 bytes)").arg(name).arg(MaximumKeySize),
               REVERIZ_HERE);
}

const Json::Value& LogFile::wrappedKey() const
{
    return m_impl->m_parts.key;
}

ReverizActor LogFile::recipient() const
{
    return ReverizRSA::envelopeRecipient(m_impl->m_parts.key);
}

qint64 LogFile::keyBlocks(int keyBits) const
{
    return ReverizRSA::envelopeBlocks(m_impl->m_parts.key, keyBits);
}

bool LogFile::hasLogData() const
{
    return m_impl->m_parts.logData != nullptr;
}

void LogFile::Impl::checkLogDataUnused(const char* function) const
{
    if (m_logDataUsed)
        throw std::logic_error(std::string("EncryptedLogFile::LogFile::") + function + ": the log data is used up");
}

qint64 LogFile::logDataSize() const
{
    m_impl->checkLogDataUnused("logDataSize");
    const Parts& parts = m_impl->m_parts;
    return parts.logData ? static_cast<qint64>(Base64::decodedSize(parts.logData, parts.logDataSize)) : 0;
}

QByteArray LogFile::rewrapped(const ReverizKey& key, const std::shared_ptr<ReverizRSA>& recipient) const
{
    if (!recipient)
        throw std::invalid_argument("EncryptedLogFile::LogFile::rewrapped: no key pair");
    m_impl->checkLogDataUnused("rewrapped");
    recipient->checkPublicKey(MinimumKeyBits);
    // The log data's text goes in as it was written.
    return logFileText(key, recipient,
                       m_impl->m_parts.logData ? std::optional<QByteArrayView>(m_impl->m_logDataText) : std::nullopt);
}

std::shared_ptr<ReverizKey> LogFile::unwrapKey(const std::shared_ptr<ReverizRSA>& pair) const
{
    if (!pair)
        throw std::invalid_argument("EncryptedLogFile::LogFile::unwrapKey: no key pair");
    return ReverizKey::fromJson(pair->decrypt(m_impl->m_parts.key, MaximumKeyCiphertextSize));
}

bool LogFile::decryptTo(const ReverizKey& key, const Sink& sink, StreamCheck check)
{
    // A second call would otherwise find no log data and report an empty log as decrypted.
    m_impl->checkLogDataUnused("decryptTo");
    m_impl->m_logDataUsed = true;
    Parts& parts = m_impl->m_parts;
    if (!parts.logData)
        return key.decryptDataInPlace(nullptr, 0, sink, check);
    char* text = std::exchange(parts.logData, nullptr);
    const std::size_t size = Base64::decodeLenient(text, std::exchange(parts.logDataSize, 0), text);
    return key.decryptDataInPlace(text, static_cast<qsizetype>(size), sink, check);
}

void LogFile::decryptToFile(const ReverizKey& key, const QString& outputPath)
{
    const auto fail = [&outputPath](const QString& error, const QString& sourceFile, int sourceLine) {
        return FileWriteFailedException(Context::encryptedLogFile, error, QStringLiteral("OutputFile"), outputPath,
                                        sourceFile, sourceLine);
    };
    // Opened first: an output the policy refuses (a directory, say) fails before any of the work.
    OutputFile output(outputPath);
    if (!output.open(AtomicFile::Permissions::PlainText))
        throw fail(output.errorString(), REVERIZ_HERE);
    const auto write = [&output](const char* piece, std::size_t size) { return output.write(piece, size); };
    // What is written in place cannot be taken back, so a device or FIFO gets only a log known to be sound.
    const StreamCheck check =
        output.placement() == OutputFile::Placement::InPlace ? StreamCheck::BeforeWriting : StreamCheck::WhileWriting;
    if (!decryptTo(key, write, check) || !output.commit(AtomicFile::Durability::Unsynced))
        throw fail(output.errorString(), REVERIZ_HERE);
}

} // namespace Reveriz::EncryptedLogFile
