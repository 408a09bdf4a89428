#ifndef REVERIZ_COMMON_INTERNAL_JSONTEXT_H
#define REVERIZ_COMMON_INTERNAL_JSONTEXT_H

#include <QByteArray>

#include <json/value.h>

#include <string>

// The two text forms of JSON documents and the two ways of reading them.
namespace Reveriz::Internal::JsonText {

/** Compact text: one line, members in ascending name order, one final line feed. What is encrypted, signed
 *  and written by the file utilities. */
std::string compact(const Json::Value& value);

/** Styled text: three-space indentation, one member per line, a final line feed. What key files hold. */
std::string styled(const Json::Value& value);

/**
 * The permissive reading: comments are accepted and dropped, the root may be any value, and text after the
 * root is ignored. Returns false, leaving root unspecified, when the text is not JSON (also when it nests
 * deeper than the reader allows).
 */
[[nodiscard]] bool parsePermissive(const char* begin, const char* end, Json::Value& root);
[[nodiscard]] bool parsePermissive(const QByteArray& text, Json::Value& root);

/**
 * The strict reading: no comments, the root must be an object or an array, and nothing but white space may
 * follow it. Duplicate members are accepted, the last one wins.
 */
[[nodiscard]] bool parseStrict(const char* begin, const char* end, Json::Value& root);
[[nodiscard]] bool parseStrict(const QByteArray& text, Json::Value& root);

} // namespace Reveriz::Internal::JsonText

#endif
