#include "common/typechecks.h"
#include "support/qtprinters.h"
#include "support/testkeys.h"

#include <gtest/gtest.h>

namespace {

// Each pattern must match the whole text: a trailing line feed is where a "$" anchor would slip.
TEST(TypeChecks, MatchTheWholeTextCaseSensitively)
{
    const QString sha1 = QStringLiteral("a9993e364706816aba3e25717850c26c9cd0d89d");
    const QString& uuid = TestKeys::otherUUID;
    const std::tuple<bool (*)(QString), QString, bool> rows[] = {
        {TypeChecks::isSHA1, sha1, true},
        {TypeChecks::isSHA1, sha1.toUpper(), false},
        {TypeChecks::isSHA1, sha1 + "0", false},
        {TypeChecks::isSHA1, sha1 + "\n", false},
        {TypeChecks::isSHA1, sha1.chopped(1), false},
        {TypeChecks::isSHA1, "A" + sha1.mid(1), false},
        {TypeChecks::isUUID, uuid, true},
        {TypeChecks::isUUID, uuid.toUpper(), false},
        {TypeChecks::isUUID, "0f8fad5bd-9cb-469f-a165-70867728950e", false},
        {TypeChecks::isUUID, uuid + "\n", false},
        {TypeChecks::isUUID, uuid.chopped(1), false},
        {TypeChecks::isUUID, uuid + "0", false},
        {TypeChecks::isUUID, "{" + uuid + "}", false},
        {TypeChecks::isBase64, "", true},
        {TypeChecks::isBase64, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/==", true},
        {TypeChecks::isBase64, "abc=", true},
        {TypeChecks::isBase64, "a=b", false},
        {TypeChecks::isBase64, "ab==\n", false},
        {TypeChecks::isBase64, "ab-_", false},
    };
    for (const auto& [check, text, accepted] : rows)
        EXPECT_EQ(check(text), accepted) << "text: " << text.toStdString();
}

TEST(TypeChecks, PemIsExactlyOneBlockWithLineFeeds)
{
    const QString block = QStringLiteral("-----BEGIN RSA PUBLIC KEY-----\n"
                                         "MIIBCgKCAQEAu1SU1LfVLPHCozMxH2Mo4lgOEePzNm0tRgeLezV6ffAt0gunVTLw\n"
                                         "LelF4rEjGoXbAAEgAqeGUxrcIlbjXfbcmwIDAQAB\n"
                                         "-----END RSA PUBLIC KEY-----\n");
    EXPECT_TRUE(TypeChecks::isPEM("RSA PUBLIC KEY", block));
    EXPECT_TRUE(TypeChecks::isPEM("X", "-----BEGIN X-----\n-----END X-----\n"));
    const QString rejected[] = {
        QString(block).replace("\n", "\r\n"),
        QString(block).replace("\n", "\r\n").chopped(2) + "\n", // CRLF but at the end
        block.chopped(1), // no final line feed
        QString(block).replace("PUBLIC", "PRIVATE"),
        block + "x",
        block + "\n",
        QString(block).replace("AQAB\n-----END", "AQAB-----END"),
        QString(block).replace("-----\nMIIB", "-----\nProc-Type: 4,ENCRYPTED\n\nMIIB"),
        QString(block).replace("IDAQAB", "ID=QAB"),
    };
    for (const QString& text : rejected)
        EXPECT_FALSE(TypeChecks::isPEM("RSA PUBLIC KEY", text)) << text.toStdString();
}

} // namespace
