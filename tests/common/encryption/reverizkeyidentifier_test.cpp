#include "common/encryption/reverizkeyidentifier.h"
#include "common/jsontext.h"
#include "support/exceptionmatchers.h"
#include "support/keyprinters.h"
#include "support/qtprinters.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using Id = ReverizKeyIdentifier;

const QString folder = QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e");
const QString package = QStringLiteral("7c9e6679-7425-40de-944b-e07fc1f90ae7");

Json::Value parse(const char* text)
{
    Json::Value value;
    EXPECT_TRUE(JsonText::parsePermissive(QByteArray(text), value)) << text;
    return value;
}

TEST(ReverizKeyIdentifier, FactoriesSetTheIdsTheirTypeNeedsAndWriteThem)
{
    const struct
    {
        Id id;
        Id::KeyType type;
        const char* json;
    } rows[] = {
        {Id::createPackageKeyIdentifier(folder, package), Id::KeyTypePackageKey,
         R"({"folderId":"0f8fad5b-d9cb-469f-a165-70867728950e","keyType":"KeyTypePackageKey",)"
         R"("packageId":"7c9e6679-7425-40de-944b-e07fc1f90ae7"})"},
        {Id::createPackageKeyWithoutFolderInformationIdentifier(package), Id::KeyTypePackageKeyWithoutFolderInformation,
         R"({"keyType":"KeyTypePackageKeyWithoutFolderInformation","packageId":"7c9e6679-7425-40de-944b-e07fc1f90ae7"})"},
        {Id::createSessionKeyIdentifier(), Id::KeyTypeSessionKey, R"({"keyType":"KeyTypeSessionKey"})"},
        {Id::createPassPhraseKeyIdentifier(), Id::KeyTypePassPhraseKey, R"({"keyType":"KeyTypePassPhraseKey"})"},
        {Id::createLogfileKeyIdentifier(), Id::KeyTypeLogfileKey, R"({"keyType":"KeyTypeLogfileKey"})"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.json);
        EXPECT_EQ(row.id.keyType(), row.type);
        EXPECT_EQ(JsonText::compact(row.id.toJson()), std::string(row.json) + "\n");
        EXPECT_EQ(Id::fromJson(row.id.toJson()), row.id);
    }
    EXPECT_EQ(Id::createPackageKeyIdentifier(folder, package).folderId(), folder);
    EXPECT_EQ(Id::createPackageKeyIdentifier(folder, package).packageId(), package);
}

TEST(ReverizKeyIdentifier, FactoriesRejectIdsThatAreNotLowerCaseUuids)
{
    const QString bad[] = {folder.toUpper(), QLatin1Char('{') + folder + QLatin1Char('}'), QString(), folder.left(35)};
    for (const QString& id : bad) {
        SCOPED_TRACE(id.toStdString());
        EXPECT_REVERIZ_THROW(Id::createPackageKeyIdentifier(id, package), InvalidUUIDException,
                             {QStringLiteral("InvalidUUID"), -1, QString(), QString(), QString(), QString()});
        EXPECT_REVERIZ_THROW(Id::createPackageKeyIdentifier(folder, id), InvalidUUIDException,
                             {QStringLiteral("InvalidUUID"), -1, QString(), QString(), QString(), QString()});
        EXPECT_REVERIZ_THROW(Id::createPackageKeyWithoutFolderInformationIdentifier(id), InvalidUUIDException,
                             {QStringLiteral("InvalidUUID"), -1, QString(), QString(), QString(), QString()});
    }
}

TEST(ReverizKeyIdentifier, TypeNamesFallBackToTheSessionKey)
{
    const char* names[] = {"KeyTypePackageKeyWithoutFolderInformation", "KeyTypePackageKey", "KeyTypeSessionKey",
                           "KeyTypePassPhraseKey", "KeyTypeLogfileKey"};
    for (int type = 0; type < 5; ++type) {
        EXPECT_EQ(Id::keyTypeToString(static_cast<Id::KeyType>(type)), names[type]);
        EXPECT_EQ(Id::keyTypeFromString(names[type]), type);
    }
    EXPECT_EQ(Id::keyTypeToString(static_cast<Id::KeyType>(5)), "KeyTypeSessionKey");
    EXPECT_EQ(Id::keyTypeToString(static_cast<Id::KeyType>(-1)), "KeyTypeSessionKey");
    EXPECT_EQ(Id::keyTypeFromString("keytypepackagekey"), Id::KeyTypeSessionKey);
    EXPECT_EQ(Id::keyTypeFromString("KeyTypePackageKey "), Id::KeyTypeSessionKey);
    EXPECT_EQ(Id::keyTypeFromString(""), Id::KeyTypeSessionKey);
}

TEST(ReverizKeyIdentifier, FromJsonReadsOnlyTheIdsTheTypeNeeds)
{
    const struct
    {
        const char* json;
        Id expected;
    } rows[] = {
        {R"({"keyType": "KeyTypeSessionKey", "packageId": "7c9e6679-7425-40de-944b-e07fc1f90ae7",
             "folderId": "0f8fad5b-d9cb-469f-a165-70867728950e"})",
         Id::createSessionKeyIdentifier()},
        {R"({"keyType": "KeyTypeLogfileKey", "packageId": "NOT-A-UUID"})", Id::createLogfileKeyIdentifier()},
        {R"({"keyType": "KeyTypePackageKeyWithoutFolderInformation", "folderId": "0f8fad5b-d9cb-469f-a165-70867728950e",
             "packageId": "7c9e6679-7425-40de-944b-e07fc1f90ae7"})",
         Id::createPackageKeyWithoutFolderInformationIdentifier(package)},
        {R"({"keyType": "KeyTypePackageKeyWithoutFolderInformation", "folderId": 7,
             "packageId": "7c9e6679-7425-40de-944b-e07fc1f90ae7", "other": []})",
         Id::createPackageKeyWithoutFolderInformationIdentifier(package)},
        {R"({"keyType": "KeyTypePackageKey", "folderId": "0f8fad5b-d9cb-469f-a165-70867728950e",
             "packageId": "7c9e6679-7425-40de-944b-e07fc1f90ae7"})",
         Id::createPackageKeyIdentifier(folder, package)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.json);
        EXPECT_EQ(Id::fromJson(parse(row.json)), row.expected);
    }
    EXPECT_EQ(JsonText::compact(Id::fromJson(parse(rows[0].json)).toJson()), "{\"keyType\":\"KeyTypeSessionKey\"}\n");
}

TEST(ReverizKeyIdentifier, FromJsonRejectsTheFirstMissingOrInvalidMember)
{
    const char* rows[] = {
        R"({})",
        R"({"folderId": "0f8fad5b-d9cb-469f-a165-70867728950e"})",
        R"({"keyType": "keytypesessionkey"})",
        R"({"keyType": 2})",
        R"({"keyType": ["KeyTypeSessionKey"]})",
        R"({"keyType": "KeyTypePackageKey", "packageId": "7c9e6679-7425-40de-944b-e07fc1f90ae7"})",
        R"({"keyType": "KeyTypePackageKey", "folderId": "0F8FAD5B-D9CB-469F-A165-70867728950E",
            "packageId": "7c9e6679-7425-40de-944b-e07fc1f90ae7"})",
        R"({"keyType": "KeyTypePackageKey", "folderId": "0f8fad5b-d9cb-469f-a165-70867728950e"})",
        R"({"keyType": "KeyTypePackageKey", "folderId": "0f8fad5b-d9cb-469f-a165-70867728950e",
            "packageId": "{7c9e6679-7425-40de-944b-e07fc1f90ae7}"})",
        R"({"keyType": "KeyTypePackageKeyWithoutFolderInformation"})",
        R"({"keyType": "KeyTypePackageKeyWithoutFolderInformation", "packageId": {}})",
        R"("KeyTypeSessionKey")",
        R"(null)",
    };
    for (const char* json : rows) {
        SCOPED_TRACE(json);
        EXPECT_REVERIZ_THROW(Id::fromJson(parse(json)), InvalidJsonInputException,
                             {QStringLiteral("InvalidJsonInput"), -1, QString(), QString(), QString(), QString()});
    }
}

} // namespace
