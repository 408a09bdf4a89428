#include "common/stringconversion.h"
#include "support/qtprinters.h"

#include <gtest/gtest.h>

namespace {

TEST(StringConversion, Utf8BothWaysCutAtTheFirstZero)
{
    EXPECT_EQ(StringConversion::fromStdString("gr\xc3\xbc\xc3\x9f \xe2\x82\xac"), QString::fromUtf8("grüß €"));
    EXPECT_EQ(StringConversion::fromStdString(std::string("ab\0cd", 5)), QStringLiteral("ab"));
    // Malformed input is decoded as the toolkit does, with replacement characters, never an error.
    EXPECT_EQ(StringConversion::fromStdString("a\xff"), QStringLiteral("a") + QChar(QChar::ReplacementCharacter));
    EXPECT_EQ(StringConversion::toStdString(QString(QChar(0xe9))), std::string("\xc3\xa9"));
    EXPECT_EQ(StringConversion::toStdString(QStringLiteral("ab") + QChar(0) + QStringLiteral("cd")), std::string("ab"));
}

} // namespace
