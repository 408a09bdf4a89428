#include "common/encryption/reverizkey.h"
#include "common/internal/jsontext.h"
#include "support/exceptionmatchers.h"
#include "support/jsonrejection.h"
#include "support/keyprinters.h"
#include "support/qtprinters.h"
#include "support/testkeys.h"

#include <gtest/gtest.h>
#include <json/value.h>

#include <string>

using namespace Reveriz::Internal;

namespace {

using Id = ReverizKeyIdentifier;

const QString& folder = TestKeys::otherUUID;
const QString& package = TestKeys::userUUID;

TEST(ReverizKey, RandomKeysHaveTheirLengthCipherAndIdentifier)
{
    const auto logfile = ReverizKey::createLogfileKey("bf-cbc", 1024, true);
    EXPECT_EQ(*logfile, ReverizKey(Id::createLogfileKeyIdentifier(), logfile->key(), "bf-cbc", 1024, true));
    EXPECT_EQ(logfile->key().size(), 1024);
    EXPECT_NE(logfile->key(), ReverizKey::createLogfileKey("bf-cbc", 1024, true)->key());
    const auto packageKey = ReverizKey::createPackageKey(folder, package, "aes-128-cbc", 16, false);
    EXPECT_EQ(packageKey->identifier(), Id::createPackageKeyIdentifier(folder, package));
    EXPECT_EQ(packageKey->minimumBytesForDecryption(), 17u);
}

TEST(ReverizKey, PassPhraseKeysAreAChainOfSha1DigestsNotCutToLength)
{
    // SHA-1("abc") from FIPS 180-2, then SHA-1 of everything so far (computed with Python's hashlib).
    const QByteArray abc60 = QByteArray::fromHex("a9993e364706816aba3e25717850c26c9cd0d89d"
                                                 "0d3ced9bec10a777aec23ccc353a8c08a633045e"
                                                 "78ed9c1f6b9a8b7bb12310eb204d114fb2663f37");
    const auto derive = [](const QString& phrase, unsigned int length) {
        return ReverizKey::createPassPhraseBasedKey(phrase, "aes-128-cbc", length, false);
    };
    EXPECT_EQ(derive("abc", 41)->keyLengthInBytes(), 41u);
    EXPECT_EQ(derive("abc", 41)->identifier(), Id::createPassPhraseKeyIdentifier());
    const std::pair<unsigned int, int> lengths[] = {{0, 20}, {20, 20}, {21, 40}, {41, 60}};
    for (const auto& [requested, held] : lengths)
        EXPECT_EQ(derive("abc", requested)->key(), abc60.left(held)) << requested;
    // Characters outside Latin-1 all become "?"; Latin-1 letters keep their own byte.
    EXPECT_EQ(derive(QStringLiteral("a\u20acb"), 16)->key(), derive("a?b", 16)->key());
    EXPECT_NE(derive(QStringLiteral("a\u00e9b"), 16)->key(), derive("a?b", 16)->key());
}

TEST(ReverizKey, AddFolderIdTurnsAPackageKeyIntoOneOfAFolder)
{
    ReverizKey key(Id::createPackageKeyWithoutFolderInformationIdentifier(package), "0123456789abcdef", "aes-128-cbc",
                   16, false);
    key.addFolderId(folder);
    EXPECT_EQ(
        key, ReverizKey(Id::createPackageKeyIdentifier(folder, package), "0123456789abcdef", "aes-128-cbc", 16, false));
    ReverizKey session(Id::createSessionKeyIdentifier(), "0123456789abcdef", "aes-128-cbc", 16, false);
    EXPECT_REVERIZ_THROW(session.addFolderId(folder), InvalidUUIDException, {"InvalidUUID", -1, "", "", "", ""});
}

TEST(ReverizKey, JsonHasThePlainFormAndTheOlderFormWithItsDefaults)
{
    const ReverizKey packageKey(Id::createPackageKeyIdentifier(folder, package),
                                QByteArray::fromHex("000102030405060708090a0b0c0d0e0f"), "aes-128-cbc", 16, false);
    EXPECT_EQ(JsonText::compact(packageKey.toJson()),
              R"({"cipherName":"aes-128-cbc","fixedIvec":false,"identifier":{"folderId":)"
              R"("0f8fad5b-d9cb-469f-a165-70867728950e","keyType":"KeyTypePackageKey","packageId":)"
              R"("7c9e6679-7425-40de-944b-e07fc1f90ae7"},"key":"AAECAwQFBgcICQoLDA0ODw==","keyLengthInBytes":16,)"
              R"("packageId":"7c9e6679-7425-40de-944b-e07fc1f90ae7"})"
              "\n");
    EXPECT_EQ(*ReverizKey::fromJson(packageKey.toJson()), packageKey);

    const std::string key1024 = QByteArray(1024, 'k').toBase64().toStdString();
    EXPECT_EQ(*ReverizKey::fromJson(
                  parseJson(R"({"key": ")" + key1024 + R"(", "packageId": ")" + package.toStdString() + "\"}")),
              ReverizKey(Id::createPackageKeyWithoutFolderInformationIdentifier(package), QByteArray(1024, 'k'),
                         "bf-cbc", 1024, true));
    // A cipher name that is no text reads as empty, and the identifier wins over the package id.
    EXPECT_EQ(*ReverizKey::fromJson(parseJson(R"({"key": "AAEC", "keyLengthInBytes": 3, "cipherName": 5, "fixedIvec": 0,
                                              "packageId": "bad", "identifier": {"keyType": "KeyTypeSessionKey"}})")),
              ReverizKey(Id::createSessionKeyIdentifier(), QByteArray::fromHex("000102"), QString(), 3, false));
}

TEST(ReverizKey, FromJsonReportsTheFirstFailureInItsFixedOrder)
{
    const char* const key = "ReverizKey";
    const std::pair<const char*, JsonRejection> rows[] = {
        {R"({"identifier": 1, "packageId": "x"})", memberMissing(key, "key")},
        {R"(["key"])", memberMissing(key, "key")},
        {R"({"key": "AA-A", "keyLengthInBytes": 1, "identifier": 1})", memberInvalid(key, "key", "not valid base64")},
        {R"({"key": ["AAAA"]})", memberInvalid(key, "key", "not valid base64")},
        // 3n+1 bytes end in "==", 3n+2 bytes in "=", checked before the bytes are counted.
        {R"({"key": "AAAAAAAAAAAAAAAAAAAAAA=", "keyLengthInBytes": 16, "identifier": 1})", invalidJsonInput()},
        {R"({"key": "AAAAAAAAAAAAAAAAAAAAAAAA", "keyLengthInBytes": 17})", invalidJsonInput()},
        {R"({"key": "AAAA", "packageId": "7c9e6679-7425-40de-944b-e07fc1f90ae7"})", invalidJsonInput()},
        {R"({"key": "", "keyLengthInBytes": -1})", invalidJsonInput()},
        {R"({"key": 1234, "keyLengthInBytes": 3})", memberInvalid(key, "key", "keylength wrong")},
        {R"({"key": "AAAAAAAAAAAAAAAAAAAA", "keyLengthInBytes": 18, "identifier": 1})",
         memberInvalid(key, "key", "keylength wrong")},
        {R"({"key": "AAEC", "keyLengthInBytes": 3})", memberMissing(key, "identifier")},
        {R"({"key": "AAEC", "keyLengthInBytes": 3, "packageId": "7C9E6679-7425-40DE-944B-E07FC1F90AE7"})",
         memberInvalid(key, "packageId", "not a valid UUID")},
        {R"({"key": "AAEC", "keyLengthInBytes": 3, "identifier": {"keyType": "KeyTypePackageKey"},
             "packageId": "7c9e6679-7425-40de-944b-e07fc1f90ae7"})",
         invalidJsonInput()},
    };
    for (const auto& [json, rejection] : rows) {
        SCOPED_TRACE(json);
        const Json::Value value = parseJson(json);
        expectRejection([&] { ReverizKey::fromJson(value); }, rejection);
    }
}

} // namespace
