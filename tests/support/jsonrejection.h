#ifndef REVERIZ_TESTS_SUPPORT_JSONREJECTION_H
#define REVERIZ_TESTS_SUPPORT_JSONREJECTION_H

#include "common/internal/jsontext.h"
#include "exceptionmatchers.h"

#include <functional>
#include <string>
#include <typeinfo>

/** Parses text permissively, as key files are read; a text that does not parse fails the test. */
inline Json::Value parseJson(const std::string& text)
{
    Json::Value value;
    EXPECT_TRUE(Reveriz::Internal::JsonText::parsePermissive(QByteArray::fromStdString(text), value)) << text;
    return value;
}

/** How a fromJson reader must refuse its input: exactly this exception class, with exactly these fields. */
struct JsonRejection
{
    const std::type_info* type;
    ExceptionFields fields;
};

/** Expects read to throw exactly the exception that rejection describes, with all its fields. */
inline void expectRejection(const std::function<void()>& read, const JsonRejection& rejection)
{
    try {
        read();
        ADD_FAILURE() << "nothing was thrown";
    } catch (const ReverizException& e) {
        EXPECT_TRUE(typeid(e) == *rejection.type) << typeid(e).name() << " instead of " << rejection.type->name();
        EXPECT_THAT(e, HasFields(rejection.fields));
    }
}

inline JsonRejection memberMissing(const char* context, const char* member)
{
    return {&typeid(JsonMemberMissingException), {context, 1031, "missing member", "member", member, ""}};
}

inline JsonRejection memberInvalid(const char* context, const char* member, const char* details)
{
    return {&typeid(JsonMemberInvalidException), {context, 1032, details, "member", member, ""}};
}

inline JsonRejection invalidUUID()
{
    return {&typeid(InvalidUUIDException), {"InvalidUUID", -1, "", "", "", ""}};
}

/** A plain InvalidJsonInputException, with no fields but its name. */
inline JsonRejection invalidJsonInput()
{
    return {&typeid(InvalidJsonInputException), {"InvalidJsonInput", -1, "", "", "", ""}};
}

#endif
