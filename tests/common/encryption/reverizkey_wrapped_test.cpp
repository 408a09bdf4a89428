#include "common/encryption/reverizkey.h"
#include "common/encryption/reverizrsa.h"
#include "common/internal/jsontext.h"
#include "support/exceptionmatchers.h"
#include "support/testkeys.h"

#include <gtest/gtest.h>

#include <memory>

using namespace Reveriz::Internal;

namespace {

const QString& folderId = TestKeys::otherUUID;
const QString& packageId = TestKeys::userUUID;

std::shared_ptr<ReverizRSA> shared(const ReverizRSA& pair)
{
    return std::make_shared<ReverizRSA>(pair);
}

TEST(ReverizKeyWrapped, RandomKeysComeBackEqual)
{
    const auto pair = shared(TestKeys::userPair());
    const struct
    {
        const char* name;
        std::shared_ptr<ReverizKey> key;
        bool clearPackageId;
    } rows[] = {
        {"session", ReverizKey::createSessionKey(QStringLiteral("aes-128-cbc"), 16, false), false},
        {"logfile", ReverizKey::createLogfileKey(QStringLiteral("aes-128-cbc"), 16, false), false},
        {"package", ReverizKey::createPackageKey(folderId, packageId, QStringLiteral("bf-cbc"), 1024, true), true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Json::Value wrapped = row.key->toJson(pair);
        EXPECT_EQ(wrapped["encryptedfor"], pair->keyOwner().toJson());
        EXPECT_EQ(wrapped.get("packageId", Json::Value()),
                  row.clearPackageId ? Json::Value(packageId.toStdString()) : Json::Value());
        // The envelope holds the plain form, so nothing of the key shows in clear.
        EXPECT_EQ(JsonText::compact(wrapped).find(row.key->toJson()["key"].asString()), std::string::npos);
        EXPECT_EQ(*ReverizKey::fromJson(pair, wrapped), *row.key);
    }
}

TEST(ReverizKeyWrapped, TheInnerPackageIdWins)
{
    const auto pair = shared(TestKeys::protocolPair());
    const auto key = ReverizKey::createPackageKey(folderId, packageId, QStringLiteral("aes-128-cbc"), 16, false);
    Json::Value wrapped = key->toJson(pair);
    wrapped["packageId"] = folderId.toStdString();
    EXPECT_EQ(ReverizKey::fromJson(pair, wrapped)->identifier().packageId(), packageId);
}

TEST(ReverizKeyWrapped, PassPhraseKeysWrapButDoNotUnwrap)
{
    // Their key bytes outnumber their key length (40 bytes for 32), which the plain form refuses.
    const auto pair = shared(TestKeys::protocolPair());
    const auto key =
        ReverizKey::createPassPhraseBasedKey(QStringLiteral("p"), QStringLiteral("aes-256-cbc"), 32, false);
    EXPECT_REVERIZ_THROW(ReverizKey::fromJson(pair, key->toJson(pair)), JsonMemberInvalidException,
                         {"ReverizKey", 1032, "keylength wrong", "member", "key"});
}

} // namespace
