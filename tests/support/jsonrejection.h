#ifndef REVERIZ_TESTS_SUPPORT_JSONREJECTION_H
#define REVERIZ_TESTS_SUPPORT_JSONREJECTION_H

#include "exceptionmatchers.h"

#include <QString>

#include <functional>

/** How a fromJson reader must refuse its input: the exception's class and, for member errors, its texts. */
struct JsonRejection
{
    enum Kind { MemberMissing, MemberInvalid, InvalidUUID };

    Kind kind;
    const char* context = "";
    const char* member = "";
    const char* details = "";
};

/** Expects read to throw exactly the exception that rejection describes, with all its fields. */
inline void expectRejection(const std::function<void()>& read, const JsonRejection& rejection)
{
    const QString context = QString::fromLatin1(rejection.context);
    const QString member = QString::fromLatin1(rejection.member);
    switch (rejection.kind) {
    case JsonRejection::MemberMissing:
        EXPECT_REVERIZ_THROW(
            read(), JsonMemberMissingException,
            {context, 1031, QStringLiteral("missing member"), QStringLiteral("member"), member, QString()});
        return;
    case JsonRejection::MemberInvalid:
        EXPECT_REVERIZ_THROW(
            read(), JsonMemberInvalidException,
            {context, 1032, QString::fromLatin1(rejection.details), QStringLiteral("member"), member, QString()});
        return;
    case JsonRejection::InvalidUUID:
        EXPECT_REVERIZ_THROW(read(), InvalidUUIDException,
                             {QStringLiteral("InvalidUUID"), -1, QString(), QString(), QString(), QString()});
        return;
    }
}

inline JsonRejection memberMissing(const char* context, const char* member)
{
    return {JsonRejection::MemberMissing, context, member};
}

inline JsonRejection memberInvalid(const char* context, const char* member, const char* details)
{
    return {JsonRejection::MemberInvalid, context, member, details};
}

inline JsonRejection invalidUUID()
{
    return {JsonRejection::InvalidUUID};
}

#endif
