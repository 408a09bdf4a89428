#include "encryptedlogfile.h"

#include "common/base64.h"
#include "common/encryption/reverizkey.h"
#include "common/jsontext.h"

#include <string>
#include <vector>

#if defined(__SSE4_2__)
#define RAPIDJSON_SSE42
#elif defined(__SSE2__)
#define RAPIDJSON_SSE2
#endif
#include <rapidjson/reader.h>

namespace EncryptedLogFile {

namespace {

const char* const memberKey = "key";
const char* const memberLogData = "logData";

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
        if (m_depth == 1 && m_member == Member::LogData) {
            parts.logData = text;
            parts.logDataSize = length;
            m_member = Member::None;
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
            m_member = member == memberKey ? Member::Key : member == memberLogData ? Member::LogData : Member::Other;
            return true;
        }
        if (!m_building.empty())
            m_name.assign(name, length);
        return true;
    }

private:
    enum class Member { None, Key, LogData, Other };

    // The next value of a root member, or of a container inside "key".
    bool value(Json::Value scalar)
    {
        if (m_depth == 0)
            return false; // a root that is no object
        if (m_depth == 1) {
            if (m_member == Member::Key)
                parts.key = std::move(scalar);
            else if (m_member == Member::LogData)
                clearLogData();
            m_member = Member::None;
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
            if (m_member == Member::Key) {
                parts.key = Json::Value(type);
                m_building.push_back(&parts.key);
            } else if (m_member == Member::LogData) {
                clearLogData();
            }
            m_member = Member::None;
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

    int m_depth = 0;
    Member m_member = Member::None;
    std::string m_name;
    std::vector<Json::Value*> m_building;
};

} // namespace

Parts fromDocument(const Json::Value& document)
{
    Parts parts;
    if (!document.isObject())
        return parts;
    if (const Json::Value* key = document.find(memberKey, memberKey + 3))
        parts.key = *key;
    const Json::Value* logData = document.find(memberLogData, memberLogData + 7);
    if (logData && logData->isString()) {
        const char* begin = nullptr;
        const char* end = nullptr;
        logData->getString(&begin, &end);
        parts.logData = begin;
        parts.logDataSize = static_cast<std::size_t>(end - begin);
    }
    return parts;
}

std::optional<Parts> scanInPlace(char* text, std::size_t size)
{
    // The reader stops at a zero byte, as at the end of the text; one inside the text makes it decline.
    if (size == 0 || text[size] != '\0')
        return std::nullopt;
    PartsHandler handler;
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

LogFile read(LargeBuffer text, const std::function<Json::Value()>& readAgain)
{
    LogFile file;
    std::optional<Parts> parts;
    if (text.size() > 0)
        parts = scanInPlace(text.data(), text.size() - 1);
    if (parts) {
        file.parts = std::move(*parts);
        file.text = std::move(text);
        return file;
    }
    // The text is spoilt by now; the permissive reader reads the file again.
    text = LargeBuffer();
    const Json::Value document = readAgain();
    const Parts read = fromDocument(document);
    file.parts.key = read.key;
    if (read.logData) {
        file.declined = QByteArray(read.logData, static_cast<qsizetype>(read.logDataSize));
        file.parts.logData = file.declined.constData();
        file.parts.logDataSize = read.logDataSize;
    }
    return file;
}

bool decryptLogData(const ReverizKey& key, LogFile& file, const CompressedFormat::Sink& sink)
{
    if (!file.parts.logData)
        return key.decryptDataInPlace(nullptr, 0, sink);
    // The log data lies in the file's text or in the copy, both this file's own to change.
    char* text = const_cast<char*>(file.parts.logData);
    const std::size_t size = Base64::decodeLenient(text, file.parts.logDataSize, text);
    return key.decryptDataInPlace(text, static_cast<qsizetype>(size), sink);
}

} // namespace EncryptedLogFile
