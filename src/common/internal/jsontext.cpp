#include "jsontext.h"

#include <json/reader.h>
#include <json/writer.h>

#include <memory>

namespace Reveriz::Internal::JsonText {

std::string compact(const Json::Value& value)
{
    Json::FastWriter writer;
    return writer.write(value);
}

std::string styled(const Json::Value& value)
{
    // Value::toStyledString indents with tabs in this JsonCpp; the stored layout is StyledWriter's.
    Json::StyledWriter writer;
    return writer.write(value);
}

bool parsePermissive(const char* begin, const char* end, Json::Value& root)
{
    try {
        Json::Reader reader(Json::Features::all());
        return reader.parse(begin, end, root, /*collectComments=*/false);
    } catch (const Json::Exception&) {
        return false; // the reader throws instead of failing when nesting exceeds its stack limit
    }
}

bool parsePermissive(const QByteArray& text, Json::Value& root)
{
    return parsePermissive(text.constData(), text.constData() + text.size(), root);
}

bool parseStrict(const char* begin, const char* end, Json::Value& root)
{
    // A reader keeps parse state, so each call takes its own from the shared settings.
    static const Json::CharReaderBuilder strict = [] {
        Json::CharReaderBuilder builder;
        builder["collectComments"] = false;
        builder["allowComments"] = false;
        builder["allowTrailingCommas"] = false;
        builder["strictRoot"] = true;
        builder["allowDroppedNullPlaceholders"] = false;
        builder["allowNumericKeys"] = false;
        builder["allowSingleQuotes"] = false;
        builder["failIfExtra"] = true;
        builder["rejectDupKeys"] = false;
        builder["allowSpecialFloats"] = false;
        builder["skipBom"] = false;
        return builder;
    }();
    const std::unique_ptr<Json::CharReader> reader(strict.newCharReader());
    try {
        return reader->parse(begin, end, &root, /*errs=*/nullptr);
    } catch (const Json::Exception&) {
        return false;
    }
}

bool parseStrict(const QByteArray& text, Json::Value& root)
{
    return parseStrict(text.constData(), text.constData() + text.size(), root);
}

} // namespace Reveriz::Internal::JsonText
