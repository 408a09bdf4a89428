#ifndef REVERIZ_TESTS_SUPPORT_EXCEPTIONMATCHERS_H
#define REVERIZ_TESTS_SUPPORT_EXCEPTIONMATCHERS_H

#include "common/exceptions/reverizexception.h"
#include "qtprinters.h"

#include <gmock/gmock.h>

#include <optional>
#include <ostream>
#include <utility>

/** The fields of a ReverizException that a test expects; unset (trailing, omitted) ones are not compared. */
struct ExceptionFields
{
    QString name;
    std::optional<qint32> errorCode = std::nullopt;
    std::optional<QString> details = std::nullopt;
    std::optional<QString> idType = std::nullopt;
    std::optional<QString> id = std::nullopt;
    std::optional<QString> path = std::nullopt;
};

/** Prints the expected fields readably when a match fails. */
inline void PrintTo(const ExceptionFields& fields, std::ostream* os)
{
    *os << "{name " << ::testing::PrintToString(fields.name);
    if (fields.errorCode)
        *os << ", errorCode " << *fields.errorCode;
    const std::pair<const char*, const std::optional<QString>*> texts[] = {
        {"details", &fields.details}, {"idType", &fields.idType}, {"id", &fields.id}, {"path", &fields.path}};
    for (const auto& [label, text] : texts) {
        if (*text)
            *os << ", " << label << ' ' << ::testing::PrintToString(**text);
    }
    *os << '}';
}

/** Matches a ReverizException whose fields equal the expected ones; names the first field that differs. */
MATCHER_P(HasFields, expected, "")
{
    const auto differs = [&](const char* field, const auto& want, const auto& got) {
        *result_listener << field << " is " << ::testing::PrintToString(got) << ", expected "
                         << ::testing::PrintToString(want);
        return false;
    };
    if (arg.name() != expected.name)
        return differs("name", expected.name, arg.name());
    if (expected.errorCode && arg.errorCode() != *expected.errorCode)
        return differs("errorCode", *expected.errorCode, arg.errorCode());
    if (expected.details && arg.details() != *expected.details)
        return differs("details", *expected.details, arg.details());
    if (expected.idType && arg.idType() != *expected.idType)
        return differs("idType", *expected.idType, arg.idType());
    if (expected.id && arg.id() != *expected.id)
        return differs("id", *expected.id, arg.id());
    if (expected.path && arg.path() != *expected.path)
        return differs("path", *expected.path, arg.path());
    return true;
}

/**
 * Expects statement to throw exactly ExceptionType (not only a base of it) with the given fields:
 *   EXPECT_REVERIZ_THROW(f(), JsonMemberMissingException, {"ReverizRSA", 1031, "missing member", "member", "x"});
 */
#define EXPECT_REVERIZ_THROW(statement, ExceptionType, ...)                                                            \
    EXPECT_THAT([&] { statement; },                                                                                    \
                ::testing::Throws<ExceptionType>(::testing::AllOf(                                                     \
                    ::testing::Truly([](const ExceptionType& e) { return typeid(e) == typeid(ExceptionType); }),       \
                    HasFields(ExceptionFields __VA_ARGS__))))

#endif
