#ifndef REVERIZ_COMMON_ENCRYPTION_INTERNAL_UNTRUSTEDJSON_H
#define REVERIZ_COMMON_ENCRYPTION_INTERNAL_UNTRUSTEDJSON_H

#include "common/qkarnjsontrait.h"

#include <QString>

#include <json/value.h>

// Internal to the encryption layer, not part of the public interface.
// Member access for JSON from outside (key files, envelopes, wrapped keys). JsonCpp's own access throws a logic error
// on scalars and arrays; here anything but an object reads as an object without members.

namespace Reveriz::Internal {

/** True when json is an object with the member name. */
inline bool hasMember(const Json::Value& json, const char* name)
{
    return json.isObject() && json.isMember(name);
}

/** The member name of json; null when json is no object or has no such member. */
inline const Json::Value& memberOf(const Json::Value& json, const char* name)
{
    return json.isObject() ? json[name] : Json::Value::nullSingleton();
}

/** The text of the member name of json; empty when it is missing or no string. */
inline QString readText(const Json::Value& json, const char* name)
{
    QString text;
    QkarnJsonTrait<QString>::fromJson(memberOf(json, name), text);
    return text;
}

} // namespace Reveriz::Internal

#endif
