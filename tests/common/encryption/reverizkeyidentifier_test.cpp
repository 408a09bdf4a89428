#include "common/encryption/reverizkeyidentifier.h"
#include "common/internal/jsontext.h"
#include "support/exceptionmatchers.h"
#include "support/jsonrejection.h"
#include "support/keyprinters.h"
#include "support/qtprinters.h"
#include "support/testkeys.h"

#include <gtest/gtest.h>

using namespace Reveriz::Internal;

namespace {

using Id = ReverizKeyIdentifier;

const QString& folder = TestKeys::otherUUID;
const QString& package = TestKeys::userUUID;

// Each factory writes the ids its type needs, and only those are read back.
TEST(ReverizKeyIdentifier, FactoriesWriteTheIdsTheirTypeNeeds)
{
    const std::pair<Id, const char*> rows[] = {
        {Id::createPackageKeyIdentifier(folder, package),
         R"({"folderId":"0f8fad5b-d9cb-469f-a165-70867728950e","keyType":"KeyTypePackageKey",)"
         R"("packageId":"7c9e6679-7425-40de-944b-e07fc1f90ae7"})"},
        {Id::createPackageKeyWithoutFolderInformationIdentifier(package),
         R"({"keyType":"KeyTypePackageKeyWithoutFolderInformation","packageId":"7c9e6679-7425-40de-944b-e07fc1f90ae7"})"},
        {Id::createSessionKeyIdentifier(), R"({"keyType":"KeyTypeSessionKey"})"},
        {Id::createPassPhraseKeyIdentifier(), R"({"keyType":"KeyTypePassPhraseKey"})"},
        {Id::createLogfileKeyIdentifier(), R"({"keyType":"KeyTypeLogfileKey"})"},
    };
    for (const auto& [id, json] : rows) {
        EXPECT_EQ(JsonText::compact(id.toJson()), std::string(json) + "\n");
        EXPECT_EQ(Id::fromJson(id.toJson()), id) << json;
    }
    EXPECT_EQ(
        Id::fromJson(parseJson(R"({"keyType": "KeyTypeSessionKey", "packageId": "7c9e6679-7425-40de-944b-e07fc1f90ae7",
                                     "folderId": "0f8fad5b-d9cb-469f-a165-70867728950e"})")),
        Id::createSessionKeyIdentifier());
    EXPECT_REVERIZ_THROW(Id::createPackageKeyIdentifier(folder, package.toUpper()), InvalidUUIDException,
                         {"InvalidUUID", -1, "", "", "", ""});
}

TEST(ReverizKeyIdentifier, FromJsonRejectsTheFirstMissingOrInvalidMember)
{
    const char* rows[] = {
        R"("KeyTypeSessionKey")",
        R"({"folderId": "0f8fad5b-d9cb-469f-a165-70867728950e"})",
        R"({"keyType": "keytypesessionkey"})",
        R"({"keyType": 2})",
        R"({"keyType": "KeyTypePackageKey", "packageId": "7c9e6679-7425-40de-944b-e07fc1f90ae7"})",
        R"({"keyType": "KeyTypePackageKey", "folderId": "0F8FAD5B-D9CB-469F-A165-70867728950E",
            "packageId": "7c9e6679-7425-40de-944b-e07fc1f90ae7"})",
        R"({"keyType": "KeyTypePackageKey", "folderId": "0f8fad5b-d9cb-469f-a165-70867728950e"})",
        R"({"keyType": "KeyTypePackageKeyWithoutFolderInformation", "packageId": {}})",
    };
    for (const char* json : rows) {
        SCOPED_TRACE(json);
        const Json::Value value = parseJson(json);
        expectRejection([&] { Id::fromJson(value); }, invalidJsonInput());
    }
}

} // namespace
