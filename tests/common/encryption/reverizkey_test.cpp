#include "common/encryption/reverizkey.h"
#include "common/jsontext.h"
#include "support/exceptionmatchers.h"
#include "support/keyprinters.h"
#include "support/qtprinters.h"

#include <gtest/gtest.h>
#include <json/value.h>

#include <string>
#include <typeinfo>

namespace {

using Id = ReverizKeyIdentifier;

const QString folder = QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e");
const QString package = QStringLiteral("7c9e6679-7425-40de-944b-e07fc1f90ae7");

Json::Value parse(const std::string& text)
{
    Json::Value value;
    EXPECT_TRUE(JsonText::parsePermissive(QByteArray::fromStdString(text), value)) << text;
    return value;
}

QByteArray counting(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i);
    return bytes;
}

TEST(ReverizKey, RandomKeysHaveTheirLengthCipherAndIdentifier)
{
    const auto session = ReverizKey::createSessionKey(QStringLiteral("aes-128-cbc"), 16, false);
    const auto logfile = ReverizKey::createLogfileKey(QStringLiteral("bf-cbc"), 1024, true);
    const auto packageKey = ReverizKey::createPackageKey(folder, package, QStringLiteral("aes-128-cbc"), 16, false);

    EXPECT_EQ(session->identifier(), Id::createSessionKeyIdentifier());
    EXPECT_EQ(logfile->identifier(), Id::createLogfileKeyIdentifier());
    EXPECT_EQ(packageKey->identifier(), Id::createPackageKeyIdentifier(folder, package));
    EXPECT_EQ(session->key().size(), 16);
    EXPECT_EQ(logfile->key().size(), 1024);
    EXPECT_EQ(logfile->cipherName(), "bf-cbc");
    EXPECT_EQ(logfile->keyLengthInBytes(), 1024u);
    EXPECT_TRUE(logfile->fixedIvec());
    EXPECT_FALSE(session->fixedIvec());
    EXPECT_NE(session->key(), ReverizKey::createSessionKey(QStringLiteral("aes-128-cbc"), 16, false)->key());
    EXPECT_NE(session->key(), QByteArray(16, '\0'));
    EXPECT_EQ(session->minimumBytesForDecryption(), 17u);

    EXPECT_REVERIZ_THROW(
        ReverizKey::createPackageKey(folder.toUpper(), package, QStringLiteral("aes-128-cbc"), 16, false),
        InvalidUUIDException, {QStringLiteral("InvalidUUID"), -1, QString(), QString(), QString(), QString()});
}

TEST(ReverizKey, PassPhraseKeysAreAChainOfSha1DigestsNotCutToLength)
{
    // SHA-1("abc") from FIPS 180-2, then SHA-1 of everything so far (computed with Python's hashlib).
    const QByteArray abc41 = QByteArray::fromHex("a9993e364706816aba3e25717850c26c9cd0d89d"
                                                 "0d3ced9bec10a777aec23ccc353a8c08a633045e"
                                                 "78ed9c1f6b9a8b7bb12310eb204d114fb2663f37");
    const auto derived =
        ReverizKey::createPassPhraseBasedKey(QStringLiteral("abc"), QStringLiteral("aes-128-cbc"), 41, false);
    EXPECT_EQ(derived->key(), abc41);
    EXPECT_EQ(derived->keyLengthInBytes(), 41u);
    EXPECT_EQ(derived->identifier(), Id::createPassPhraseKeyIdentifier());

    const struct
    {
        unsigned int requested;
        int held;
    } lengths[] = {{0, 20}, {1, 20}, {16, 20}, {20, 20}, {21, 40}, {32, 40}, {40, 40}, {41, 60}};
    for (const auto& row : lengths) {
        SCOPED_TRACE(row.requested);
        const auto key = ReverizKey::createPassPhraseBasedKey(QStringLiteral("abc"), QStringLiteral("aes-128-cbc"),
                                                              row.requested, false);
        EXPECT_EQ(key->key(), abc41.left(row.held));
    }

    // Characters outside Latin-1 all become "?"; Latin-1 letters keep their own byte.
    const auto derive = [](const QString& phrase) {
        return ReverizKey::createPassPhraseBasedKey(phrase, QStringLiteral("aes-128-cbc"), 16, false)->key();
    };
    EXPECT_EQ(derive(QStringLiteral("a\u20acb")), derive(QStringLiteral("a?b")));
    EXPECT_EQ(derive(QStringLiteral("a\u2713b")), derive(QStringLiteral("a?b")));
    EXPECT_NE(derive(QStringLiteral("a\u00e9b")), derive(QStringLiteral("a?b")));
    EXPECT_NE(derive(QStringLiteral("a\u00e9b")), derive(QStringLiteral("aeb")));
}

TEST(ReverizKey, AddFolderIdTurnsAPackageKeyIntoOneOfAFolder)
{
    ReverizKey key(Id::createPackageKeyWithoutFolderInformationIdentifier(package), counting(16),
                   QStringLiteral("aes-128-cbc"), 16, false);
    const ReverizKey before = key;
    EXPECT_REVERIZ_THROW(key.addFolderId(folder.toUpper()), InvalidUUIDException,
                         {QStringLiteral("InvalidUUID"), -1, QString(), QString(), QString(), QString()});
    EXPECT_EQ(key, before);

    key.addFolderId(folder);
    EXPECT_EQ(key.identifier(), Id::createPackageKeyIdentifier(folder, package));
    EXPECT_EQ(key.toJson()["identifier"]["keyType"], "KeyTypePackageKey");
    EXPECT_EQ(key.key(), before.key());

    ReverizKey session(Id::createSessionKeyIdentifier(), counting(16), QStringLiteral("aes-128-cbc"), 16, false);
    EXPECT_REVERIZ_THROW(session.addFolderId(folder), InvalidUUIDException,
                         {QStringLiteral("InvalidUUID"), -1, QString(), QString(), QString(), QString()});
    EXPECT_EQ(session.identifier(), Id::createSessionKeyIdentifier());
}

TEST(ReverizKey, ToJsonWritesThePlainForm)
{
    const ReverizKey packageKey(Id::createPackageKeyIdentifier(folder, package), counting(16),
                                QStringLiteral("aes-128-cbc"), 16, false);
    EXPECT_EQ(JsonText::compact(packageKey.toJson()),
              R"({"cipherName":"aes-128-cbc","fixedIvec":false,"identifier":{"folderId":)"
              R"("0f8fad5b-d9cb-469f-a165-70867728950e","keyType":"KeyTypePackageKey","packageId":)"
              R"("7c9e6679-7425-40de-944b-e07fc1f90ae7"},"key":"AAECAwQFBgcICQoLDA0ODw==","keyLengthInBytes":16,)"
              R"("packageId":"7c9e6679-7425-40de-944b-e07fc1f90ae7"})"
              "\n");
    const ReverizKey session(Id::createSessionKeyIdentifier(), counting(3), QStringLiteral("bf-cbc"), 3, true);
    EXPECT_EQ(JsonText::compact(session.toJson()),
              R"({"cipherName":"bf-cbc","fixedIvec":true,"identifier":{"keyType":"KeyTypeSessionKey"},)"
              R"("key":"AAEC","keyLengthInBytes":3})"
              "\n");
}

TEST(ReverizKey, FromJsonReadsThePlainAndTheOlderForm)
{
    const std::string key1024 = QByteArray(1024, 'k').toBase64().toStdString();
    ASSERT_EQ(key1024.size(), 1368u);
    const auto older =
        ReverizKey::fromJson(parse(R"({"key": ")" + key1024 + R"(", "packageId": ")" + package.toStdString() + "\"}"));
    EXPECT_EQ(*older,
              ReverizKey(Id::createPackageKeyWithoutFolderInformationIdentifier(package), QByteArray(1024, 'k'),
                         QStringLiteral("bf-cbc"), 1024, true));

    const struct
    {
        const char* name;
        const char* json;
        ReverizKey expected;
    } rows[] = {
        {"fifteen_bytes_without_fill",
         R"({"key": "AAAAAAAAAAAAAAAAAAAA", "keyLengthInBytes": 15, "cipherName": "aes-128-cbc",
             "fixedIvec": false, "identifier": {"keyType": "KeyTypeLogfileKey"}})",
         ReverizKey(Id::createLogfileKeyIdentifier(), QByteArray(15, '\0'), QStringLiteral("aes-128-cbc"), 15, false)},
        {"null_key_of_length_zero",
         R"({"key": null, "keyLengthInBytes": 0, "identifier": {"keyType": "KeyTypeSessionKey"}})",
         ReverizKey(Id::createSessionKeyIdentifier(), QByteArray(), QStringLiteral("bf-cbc"), 0, true)},
        {"cipher_name_not_a_string_and_identifier_before_package_id",
         R"({"key": "AAEC", "keyLengthInBytes": 3, "cipherName": 5, "fixedIvec": 0, "packageId": "bad",
             "identifier": {"keyType": "KeyTypeSessionKey"}})",
         ReverizKey(Id::createSessionKeyIdentifier(), counting(3), QString(), 3, false)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(*ReverizKey::fromJson(parse(row.json)), row.expected);
    }

    const ReverizKey packageKey(Id::createPackageKeyIdentifier(folder, package), counting(16),
                                QStringLiteral("aes-128-cbc"), 16, false);
    EXPECT_EQ(*ReverizKey::fromJson(packageKey.toJson()), packageKey);
}

TEST(ReverizKey, FromJsonReportsTheFirstFailureInItsFixedOrder)
{
    const ExceptionFields invalidJson {
        QStringLiteral("InvalidJsonInput"), -1, QString(), QString(), QString(), QString()};
    const auto missing = [](const char* member) {
        return ExceptionFields {QStringLiteral("ReverizKey"),     1031,
                                QStringLiteral("missing member"), QStringLiteral("member"),
                                QString::fromLatin1(member),      QString()};
    };
    const auto invalid = [](const char* member, const char* details) {
        return ExceptionFields {QStringLiteral("ReverizKey"), 1032,
                                QString::fromLatin1(details), QStringLiteral("member"),
                                QString::fromLatin1(member),  QString()};
    };
    const std::type_info& missingType = typeid(JsonMemberMissingException);
    const std::type_info& invalidType = typeid(JsonMemberInvalidException);
    const std::type_info& inputType = typeid(InvalidJsonInputException);

    const struct
    {
        const char* name;
        const char* json;
        const std::type_info& type;
        ExceptionFields fields;
    } rows[] = {
        {"no_key", R"({"identifier": 1, "packageId": "x"})", missingType, missing("key")},
        {"not_an_object", R"(["key"])", missingType, missing("key")},
        {"key_not_base64", R"({"key": "AA-A", "keyLengthInBytes": 1, "identifier": 1})", invalidType,
         invalid("key", "not valid base64")},
        {"key_is_an_array", R"({"key": ["AAAA"]})", invalidType, invalid("key", "not valid base64")},
        {"key_with_line_feed", R"({"key": "AAAA\n"})", invalidType, invalid("key", "not valid base64")},
        {"one_fill_for_3n_plus_1", R"({"key": "AAAAAAAAAAAAAAAAAAAAAA=", "keyLengthInBytes": 16, "identifier": 1})",
         inputType, invalidJson},
        {"no_fill_for_3n_plus_2", R"({"key": "AAAAAAAAAAAAAAAAAAAAAAAA", "keyLengthInBytes": 17})", inputType,
         invalidJson},
        {"default_length_needs_two_fills", R"({"key": "AAAA", "packageId": "7c9e6679-7425-40de-944b-e07fc1f90ae7"})",
         inputType, invalidJson},
        {"negative_length", R"({"key": "", "keyLengthInBytes": -1})", inputType, invalidJson},
        {"negative_multiple_of_3", R"({"key": "", "keyLengthInBytes": -3})", invalidType,
         invalid("key", "keylength wrong")},
        {"null_key_of_length_1", R"({"key": null, "keyLengthInBytes": 1})", inputType, invalidJson},
        {"null_key_of_length_3", R"({"key": null, "keyLengthInBytes": 3})", invalidType,
         invalid("key", "keylength wrong")},
        {"number_key_has_no_bytes", R"({"key": 1234, "keyLengthInBytes": 3})", invalidType,
         invalid("key", "keylength wrong")},
        {"too_few_bytes_before_identifier", R"({"key": "AAAAAAAAAAAAAAAAAAAA", "keyLengthInBytes": 18,
            "identifier": 1})",
         invalidType, invalid("key", "keylength wrong")},
        // Pass-phrase keys hold more bytes than their length: 20 bytes for 16 end in one "=", not the two of
        // 3n+1 bytes; 40 bytes for 32 have the fill of 3n+2 bytes and fail on their count.
        {"pass_phrase_key_of_16",
         R"({"key": "qZk+NkcGgWq6PiVxeFDCbJzQ2J0=", "keyLengthInBytes": 16, "cipherName": "aes-128-cbc",
             "fixedIvec": false, "identifier": {"keyType": "KeyTypePassPhraseKey"}})",
         inputType, invalidJson},
        {"pass_phrase_key_of_32",
         R"({"key": "qZk+NkcGgWq6PiVxeFDCbJzQ2J0NPO2b7BCnd67CPMw1OowIpjMEXg==", "keyLengthInBytes": 32,
             "identifier": {"keyType": "KeyTypePassPhraseKey"}})",
         invalidType, invalid("key", "keylength wrong")},
        {"no_identifier_no_package_id", R"({"key": "AAEC", "keyLengthInBytes": 3})", missingType,
         missing("identifier")},
        {"package_id_upper_case",
         R"({"key": "AAEC", "keyLengthInBytes": 3, "packageId": "7C9E6679-7425-40DE-944B-E07FC1F90AE7"})", invalidType,
         invalid("packageId", "not a valid UUID")},
        {"bad_identifier_despite_good_package_id",
         R"({"key": "AAEC", "keyLengthInBytes": 3, "identifier": {"keyType": "KeyTypePackageKey"},
             "packageId": "7c9e6679-7425-40de-944b-e07fc1f90ae7"})",
         inputType, invalidJson},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        try {
            ReverizKey::fromJson(parse(row.json));
            ADD_FAILURE() << "nothing was thrown";
        } catch (const ReverizException& e) {
            EXPECT_TRUE(typeid(e) == row.type) << typeid(e).name();
            EXPECT_THAT(e, HasFields(row.fields));
        }
    }

    // The key length is read with the int trait, which lets the JSON library's error through for a string.
    EXPECT_THROW(ReverizKey::fromJson(parse(R"({"key": "AAEC", "keyLengthInBytes": "3"})")), Json::LogicError);
}

} // namespace
