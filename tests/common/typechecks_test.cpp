#include "common/typechecks.h"
#include "support/qtprinters.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

struct CheckCase
{
    const char* name;
    std::function<bool(const QString&)> check;
    QString text;
    bool accepted;
};

const QString sha1 = QStringLiteral("a9993e364706816aba3e25717850c26c9cd0d89d");
const QString uuid = QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e");

class FormatChecks : public ::testing::TestWithParam<CheckCase>
{
};

TEST_P(FormatChecks, MatchTheWholeTextCaseSensitively)
{
    EXPECT_EQ(GetParam().check(GetParam().text), GetParam().accepted) << "text: " << GetParam().text.toStdString();
}

const auto isSHA1 = [](const QString& t) { return TypeChecks::isSHA1(t); };
const auto isUUID = [](const QString& t) { return TypeChecks::isUUID(t); };
const auto isBase64 = [](const QString& t) { return TypeChecks::isBase64(t); };

INSTANTIATE_TEST_SUITE_P(
    TypeChecks, FormatChecks,
    ::testing::Values(
        CheckCase {"sha1_lower", isSHA1, sha1, true},
        CheckCase {"sha1_one_upper_digit", isSHA1, QStringLiteral("A") + sha1.mid(1), false},
        CheckCase {"sha1_39_digits", isSHA1, sha1.left(39), false},
        CheckCase {"sha1_41_digits", isSHA1, sha1 + QLatin1Char('0'), false},
        CheckCase {"sha1_trailing_line_feed", isSHA1, sha1 + QLatin1Char('\n'), false},
        CheckCase {"sha1_leading_space", isSHA1, QLatin1Char(' ') + sha1, false},
        CheckCase {"uuid_lower", isUUID, uuid, true}, CheckCase {"uuid_upper", isUUID, uuid.toUpper(), false},
        CheckCase {"uuid_braces", isUUID, QLatin1Char('{') + uuid + QLatin1Char('}'), false},
        CheckCase {"uuid_without_hyphens", isUUID, QString(uuid).remove(QLatin1Char('-')), false},
        CheckCase {"uuid_groups_shifted", isUUID, QStringLiteral("0f8fad5bd-9cb-469f-a165-70867728950e"), false},
        CheckCase {"uuid_trailing_line_feed", isUUID, uuid + QLatin1Char('\n'), false},
        CheckCase {"base64_empty", isBase64, QString(), true},
        CheckCase {"base64_abc_pad", isBase64, QStringLiteral("abc="), true},
        CheckCase {"base64_padding_inside", isBase64, QStringLiteral("a=b"), false},
        CheckCase {"base64_trailing_line_feed", isBase64, QStringLiteral("ab==\n"), false},
        CheckCase {"base64_many_pads", isBase64, QStringLiteral("a===="), true},
        CheckCase {"base64_only_pads", isBase64, QStringLiteral("=="), true},
        CheckCase {"base64_alphabet", isBase64,
                   QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"), true},
        CheckCase {"base64_url_alphabet", isBase64, QStringLiteral("ab-_"), false},
        CheckCase {"base64_space", isBase64, QStringLiteral("ab cd"), false}),
    [](const ::testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.name); });

const QString publicLabel = QStringLiteral("RSA PUBLIC KEY");
const QString pemBlock = QStringLiteral("-----BEGIN RSA PUBLIC KEY-----\n"
                                        "MIIBCgKCAQEAu1SU1LfVLPHCozMxH2Mo4lgOEePzNm0tRgeLezV6ffAt0gunVTLw\n"
                                        "7onLRnrq0/IzW7yWR7QkrmBL7jTKEn5u+qKhbwKfBstIs+bMY2Zkp18gnTxKLxoS\n"
                                        "2tFczGkPLPgizskuemMghRniWaoLcyehkd3qqGElvW/VDL5AaWTg0nLVkjRo9z+4\n"
                                        "0RQzuVaE8AkAFmxZzow3x+VJYKdjykkJ0iT9wCS0DRTXu269V264Vf/3jvredZiK\n"
                                        "RkgwlL9xNAwxXFg0x/XFw005UWVRIkdgcKWTjpBP2dPwVZ4WWC+9aGVd+Gyn1o0C\n"
                                        "LelF4rEjGoXbAAEgAqeGUxrcIlbjXfbcmwIDAQAB\n"
                                        "-----END RSA PUBLIC KEY-----\n");

TEST(TypeChecksPem, AcceptsExactlyOneBlockWithLineFeeds)
{
    EXPECT_TRUE(TypeChecks::isPEM(publicLabel, pemBlock));
}

TEST(TypeChecksPem, RejectsFormsThatAreNotExactlyOneBlock)
{
    const struct
    {
        const char* name;
        QString text;
    } rejected[] = {
        {"crlf_line_ends", QString(pemBlock).replace(QLatin1String("\n"), QLatin1String("\r\n"))},
        {"no_final_line_feed", pemBlock.chopped(1)},
        {"other_label", QString(pemBlock).replace(QLatin1String("PUBLIC"), QLatin1String("PRIVATE"))},
        {"lower_case_label",
         QString(pemBlock).replace(QLatin1String("RSA PUBLIC KEY"), QLatin1String("rsa public key"))},
        {"trailing_text", pemBlock + QLatin1String("x")},
        {"two_blocks", pemBlock + pemBlock},
        {"leading_line_feed", QLatin1Char('\n') + pemBlock},
        {"header_line",
         QString(pemBlock).replace(QLatin1String("-----\nMIIB"),
                                   QLatin1String("-----\nProc-Type: 4,ENCRYPTED\n\nMIIB"))},
        {"space_in_body", QString(pemBlock).replace(QLatin1String("MIIB"), QLatin1String("MI IB"))},
        {"padding_then_body", QString(pemBlock).replace(QLatin1String("IDAQAB"), QLatin1String("ID=QAB"))},
    };
    for (const auto& row : rejected) {
        SCOPED_TRACE(row.name);
        EXPECT_FALSE(TypeChecks::isPEM(publicLabel, row.text));
    }
}

TEST(TypeChecksPem, AcceptsAnEmptyBodyAndPaddedBody)
{
    EXPECT_TRUE(TypeChecks::isPEM(QStringLiteral("X"), QStringLiteral("-----BEGIN X-----\n-----END X-----\n")));
    EXPECT_TRUE(TypeChecks::isPEM(QStringLiteral("X"), QStringLiteral("-----BEGIN X-----\nAB==\n-----END X-----\n")));
}

TEST(TypeChecksPem, TypeActsAsPatternSyntax)
{
    // The label is inserted unescaped: "A.C" matches any character in its middle.
    const QString block = QStringLiteral("-----BEGIN ABC-----\nAAAA\n-----END AXC-----\n");
    EXPECT_TRUE(TypeChecks::isPEM(QStringLiteral("A.C"), block));
    EXPECT_FALSE(TypeChecks::isPEM(QStringLiteral("ABC"), block));
}

} // namespace
