#include "common/encryption/reverizactor.h"
#include "common/jsontext.h"
#include "common/typechecks.h"
#include "support/exceptionmatchers.h"
#include "support/jsonrejection.h"
#include "support/testkeys.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const QString serverUUID = QStringLiteral("3b241101-e2bb-4255-8caf-4136c566a962");
const QString userUUID = QStringLiteral("7c9e6679-7425-40de-944b-e07fc1f90ae7");

Json::Value parse(const char* text)
{
    Json::Value json;
    EXPECT_TRUE(JsonText::parsePermissive(QByteArray(text), json)) << text;
    return json;
}

TEST(ReverizActor, TypeConstructorDrawsAUserUUIDForUsersOnly)
{
    const ReverizActor first(serverUUID, ReverizActor::User);
    const ReverizActor second(serverUUID, ReverizActor::User);
    EXPECT_EQ(first.type(), ReverizActor::User);
    EXPECT_TRUE(TypeChecks::isUUID(first.userUUID())) << first.userUUID().toStdString();
    EXPECT_NE(first.userUUID(), second.userUUID());
    EXPECT_NE(first, second);

    for (const auto type : {ReverizActor::Server, ReverizActor::Owner, ReverizActor::Protocol}) {
        SCOPED_TRACE(type);
        const ReverizActor actor(serverUUID, type);
        EXPECT_EQ(actor.type(), type);
        EXPECT_EQ(actor.serverUUID(), serverUUID);
        EXPECT_REVERIZ_THROW(
            actor.userUUID(), RequestedUserUUIDOfNonUserActorException,
            {QStringLiteral("RequestedUserUUIDOfNonUserActor"), -1, QString(), QString(), QString(), QString()});
    }
}

TEST(ReverizActor, EqualityComparesTheUserUUIDOfUsersOnly)
{
    const QString otherServer = QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e");
    struct Case
    {
        const char* name;
        ReverizActor a;
        ReverizActor b;
        bool equal;
    };
    const std::vector<Case> cases = {
        {"same_protocol", {serverUUID, ReverizActor::Protocol}, {serverUUID, ReverizActor::Protocol}, true},
        {"other_server", {serverUUID, ReverizActor::Protocol}, {otherServer, ReverizActor::Protocol}, false},
        {"other_type", {serverUUID, ReverizActor::Server}, {serverUUID, ReverizActor::Owner}, false},
        {"same_user", {serverUUID, userUUID}, {serverUUID, userUUID}, true},
        {"other_user", {serverUUID, userUUID}, {serverUUID, serverUUID}, false},
        {"user_and_server", {serverUUID, QString()}, {serverUUID, ReverizActor::Server}, false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.a == row.b, row.equal);
        EXPECT_EQ(row.b == row.a, row.equal);
        EXPECT_EQ(row.a != row.b, !row.equal);
    }
}

TEST(ReverizActor, ToJsonWritesUserUUIDForUsersOnly)
{
    const struct
    {
        ReverizActor actor;
        const char* json;
    } cases[] = {
        {{serverUUID, userUUID},
         R"({"serverUUID":"3b241101-e2bb-4255-8caf-4136c566a962","type":"user","userUUID":"7c9e6679-7425-40de-944b-e07fc1f90ae7"})"},
        {{serverUUID, ReverizActor::Server},
         R"({"serverUUID":"3b241101-e2bb-4255-8caf-4136c566a962","type":"server"})"},
        {{serverUUID, ReverizActor::Owner}, R"({"serverUUID":"3b241101-e2bb-4255-8caf-4136c566a962","type":"owner"})"},
        {{serverUUID, ReverizActor::Protocol},
         R"({"serverUUID":"3b241101-e2bb-4255-8caf-4136c566a962","type":"protocol"})"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.json);
        EXPECT_EQ(JsonText::compact(row.actor.toJson()), std::string(row.json) + "\n");
        EXPECT_EQ(ReverizActor::fromJson(row.actor.toJson()), row.actor);
    }

    // Not validated on writing: the empty server UUID of "keyutility create ''" is written as it is.
    EXPECT_EQ(JsonText::compact(ReverizActor(QString(), ReverizActor::Protocol).toJson()),
              "{\"serverUUID\":\"\",\"type\":\"protocol\"}\n");
    const QString nonAscii = QStringLiteral("сервер-ü");
    EXPECT_EQ(ReverizActor(nonAscii, ReverizActor::Protocol).toJson()["serverUUID"].asString(),
              "\xd1\x81\xd0\xb5\xd1\x80\xd0\xb2\xd0\xb5\xd1\x80-\xc3\xbc");
}

TEST(ReverizActor, FromJsonAcceptsLooseUUIDsAndIgnoresUserUUIDOfOtherTypes)
{
    const struct
    {
        const char* name;
        const char* json;
        ReverizActor expected;
    } cases[] = {
        {"user",
         R"({"type":"user","serverUUID":"3b241101-e2bb-4255-8caf-4136c566a962",
                     "userUUID":"7c9e6679-7425-40de-944b-e07fc1f90ae7"})",
         {serverUUID, userUUID}},
        {"server",
         R"({"type":"server","serverUUID":"3b241101-e2bb-4255-8caf-4136c566a962"})",
         {serverUUID, ReverizActor::Server}},
        {"owner",
         R"({"type":"owner","serverUUID":"3b241101-e2bb-4255-8caf-4136c566a962"})",
         {serverUUID, ReverizActor::Owner}},
        {"protocol_ignores_user_uuid",
         R"({"type":"protocol","serverUUID":"3b241101-e2bb-4255-8caf-4136c566a962",
                                           "userUUID":"NOT A UUID"})",
         {serverUUID, ReverizActor::Protocol}},
        {"empty_groups", R"({"type":"server","serverUUID":"----"})", {QStringLiteral("----"), ReverizActor::Server}},
        {"uneven_groups",
         R"({"type":"user","serverUUID":"a-bc-0-123456789-f","userUUID":"0----"})",
         {QStringLiteral("a-bc-0-123456789-f"), QStringLiteral("0----")}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        const ReverizActor actor = ReverizActor::fromJson(parse(row.json));
        EXPECT_EQ(actor, row.expected);
        EXPECT_EQ(actor.serverUUID(), row.expected.serverUUID());
        if (row.expected.type() == ReverizActor::User) {
            EXPECT_EQ(actor.userUUID(), row.expected.userUUID());
        }
    }
}

TEST(ReverizActor, FromJsonRejectsInTheDocumentedOrder)
{
    const char* const actor = "ReverizActor";
    const struct
    {
        const char* name;
        const char* json;
        JsonRejection rejection;
    } cases[] = {
        {"null", "null", memberMissing(actor, "type")},
        {"string", R"("protocol")", memberMissing(actor, "type")},
        {"array", R"(["type", "serverUUID"])", memberMissing(actor, "type")},
        {"empty_object", "{}", memberMissing(actor, "type")},
        {"type_missing_before_server_uuid_invalid", R"({"serverUUID":"X"})", memberMissing(actor, "type")},
        {"type_case_differs_from_member", R"({"Type":"server","serverUUID":"----"})", memberMissing(actor, "type")},
        {"server_uuid_missing", R"({"type":"protocol"})", memberMissing(actor, "serverUUID")},
        {"server_uuid_missing_before_type_invalid", R"({"type":"PROTOCOL"})", memberMissing(actor, "serverUUID")},
        {"type_capitalised", R"({"type":"User","serverUUID":"----"})", memberInvalid(actor, "type", "invalid content")},
        {"type_upper_case", R"({"type":"PROTOCOL","serverUUID":"----"})",
         memberInvalid(actor, "type", "invalid content")},
        {"type_number", R"({"type":3,"serverUUID":"----"})", memberInvalid(actor, "type", "invalid content")},
        {"type_before_uuid", R"({"type":"users","serverUUID":"X"})", memberInvalid(actor, "type", "invalid content")},
        {"server_uuid_upper_case", R"({"type":"protocol","serverUUID":"3B241101-E2BB-4255-8CAF-4136C566A962"})",
         invalidUUID()},
        {"server_uuid_braces", R"({"type":"server","serverUUID":"{3b241101-e2bb-4255-8caf-4136c566a962}"})",
         invalidUUID()},
        {"server_uuid_empty", R"({"type":"protocol","serverUUID":""})", invalidUUID()},
        {"server_uuid_number", R"({"type":"protocol","serverUUID":5})", invalidUUID()},
        {"user_without_user_uuid", R"({"type":"user","serverUUID":"----"})", invalidUUID()},
        {"user_uuid_upper_case", R"({"type":"user","serverUUID":"----","userUUID":"A----"})", invalidUUID()},
        {"user_server_uuid_invalid", R"({"type":"user","serverUUID":"x","userUUID":"----"})", invalidUUID()},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        const Json::Value json = parse(row.json);
        expectRejection([&] { ReverizActor::fromJson(json); }, row.rejection);
    }
}

} // namespace
