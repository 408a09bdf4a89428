#include "common/stringconversion.h"
#include "support/qtprinters.h"

#include <gtest/gtest.h>

namespace {

TEST(StringConversion, FromStdStringStopsAtTheFirstZeroByte)
{
    EXPECT_EQ(StringConversion::fromStdString(std::string("ab\0cd", 5)), QStringLiteral("ab"));
}

TEST(StringConversion, FromStdStringDecodesUtf8)
{
    EXPECT_EQ(StringConversion::fromStdString("gr\xc3\xbc\xc3\x9f \xe2\x82\xac"), QString::fromUtf8("grüß €"));
    // Malformed input is decoded as the toolkit does, with replacement characters, never an error.
    EXPECT_EQ(StringConversion::fromStdString("a\xff"), QStringLiteral("a") + QChar(QChar::ReplacementCharacter));
}

TEST(StringConversion, ToStdStringEncodesUtf8)
{
    EXPECT_EQ(StringConversion::toStdString(QString(QChar(0xe9))), std::string("\xc3\xa9"));
    EXPECT_EQ(StringConversion::toStdString(QString()), std::string());
}

TEST(StringConversion, ToStdStringCutsBeforeU0000)
{
    const QString withNull = QStringLiteral("ab") + QChar(0) + QStringLiteral("cd");
    EXPECT_EQ(StringConversion::toStdString(withNull), std::string("ab"));
}

} // namespace
