#include "common/encryption/reverizactor.h"
#include "common/internal/jsontext.h"
#include "common/typechecks.h"
#include "support/exceptionmatchers.h"
#include "support/jsonrejection.h"
#include "support/testkeys.h"

#include <gtest/gtest.h>

using namespace Reveriz::Internal;

namespace {

using TestKeys::serverUUID;
using TestKeys::userUUID;

TEST(ReverizActor, OnlyUsersHaveAUserUUIDAndItTakesPartInEquality)
{
    const ReverizActor drawn(serverUUID, ReverizActor::User);
    EXPECT_TRUE(TypeChecks::isUUID(drawn.userUUID())) << drawn.userUUID().toStdString();
    EXPECT_NE(drawn, ReverizActor(serverUUID, ReverizActor::User));
    EXPECT_EQ(ReverizActor(serverUUID, userUUID), ReverizActor(serverUUID, userUUID));
    EXPECT_NE(ReverizActor(serverUUID, QString()), ReverizActor(serverUUID, ReverizActor::Server));
    EXPECT_NE(ReverizActor(serverUUID, ReverizActor::Server), ReverizActor(serverUUID, ReverizActor::Owner));
    EXPECT_NE(ReverizActor(serverUUID, ReverizActor::Owner), ReverizActor(userUUID, ReverizActor::Owner));
    EXPECT_REVERIZ_THROW(ReverizActor(serverUUID, ReverizActor::Owner).userUUID(),
                         RequestedUserUUIDOfNonUserActorException,
                         {"RequestedUserUUIDOfNonUserActor", -1, "", "", "", ""});
}

TEST(ReverizActor, JsonNamesTheTypeAndHoldsUserUUIDForUsersOnly)
{
    const std::pair<ReverizActor, const char*> rows[] = {
        {{serverUUID, userUUID},
         R"({"serverUUID":"3b241101-e2bb-4255-8caf-4136c566a962","type":"user","userUUID":"7c9e6679-7425-40de-944b-e07fc1f90ae7"})"},
        {{serverUUID, ReverizActor::Server},
         R"({"serverUUID":"3b241101-e2bb-4255-8caf-4136c566a962","type":"server"})"},
        {{serverUUID, ReverizActor::Owner}, R"({"serverUUID":"3b241101-e2bb-4255-8caf-4136c566a962","type":"owner"})"},
        {{serverUUID, ReverizActor::Protocol},
         R"({"serverUUID":"3b241101-e2bb-4255-8caf-4136c566a962","type":"protocol"})"},
    };
    for (const auto& [actor, json] : rows) {
        EXPECT_EQ(JsonText::compact(actor.toJson()), std::string(json) + "\n");
        EXPECT_EQ(ReverizActor::fromJson(parseJson(json)), actor) << json;
    }
    EXPECT_EQ(ReverizActor::fromJson(parseJson(R"({"type":"protocol","serverUUID":"----","userUUID":"NOT A UUID"})")),
              ReverizActor("----", ReverizActor::Protocol));
    const ReverizActor loose =
        ReverizActor::fromJson(parseJson(R"({"type":"user","serverUUID":"a-bc-0-123456789-f","userUUID":"0----"})"));
    EXPECT_EQ(loose.serverUUID(), "a-bc-0-123456789-f");
    EXPECT_EQ(loose.userUUID(), "0----");
}

TEST(ReverizActor, FromJsonRejectsInTheDocumentedOrder)
{
    const char* const actor = "ReverizActor";
    const std::pair<const char*, JsonRejection> rows[] = {
        {R"(["type", "serverUUID"])", memberMissing(actor, "type")},
        {R"({"serverUUID":"X"})", memberMissing(actor, "type")},
        {R"({"type":"protocol"})", memberMissing(actor, "serverUUID")},
        {R"({"type":"PROTOCOL"})", memberMissing(actor, "serverUUID")},
        {R"({"type":"User","serverUUID":"----"})", memberInvalid(actor, "type", "invalid content")},
        {R"({"type":"users","serverUUID":"X"})", memberInvalid(actor, "type", "invalid content")},
        {R"({"type":"protocol","serverUUID":"3B241101-E2BB-4255-8CAF-4136C566A962"})", invalidUUID()},
        // A missing user UUID reads as empty text: invalid, not missing.
        {R"({"type":"user","serverUUID":"----"})", invalidUUID()},
    };
    for (const auto& [json, rejection] : rows) {
        SCOPED_TRACE(json);
        const Json::Value value = parseJson(json);
        expectRejection([&] { ReverizActor::fromJson(value); }, rejection);
    }
}

} // namespace
