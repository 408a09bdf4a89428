#include "common/qkarnjsontrait.h"
#include "support/qtprinters.h"

#include <gtest/gtest.h>
#include <json/value.h>

#include <limits>

namespace {

template<typename T> Json::Value written(const T& value)
{
    Json::Value target;
    QkarnJsonTrait<T>::toJson(target, value);
    return target;
}

template<typename T> T read(const Json::Value& source)
{
    T value {};
    QkarnJsonTrait<T>::fromJson(source, value);
    return value;
}

TEST(QkarnJsonTrait, SixtyFourBitIntegersTravelAsDecimalTextAndReadAnythingElseAsZero)
{
    EXPECT_EQ(written<long long>(std::numeric_limits<long long>::min()), Json::Value("-9223372036854775808"));
    EXPECT_EQ(written<unsigned long long>(std::numeric_limits<unsigned long long>::max()),
              Json::Value("18446744073709551615"));
    EXPECT_EQ(read<long long>(Json::Value("-5")), -5);
    EXPECT_EQ(read<unsigned long long>(Json::Value("18446744073709551615")),
              std::numeric_limits<unsigned long long>::max());
    for (const Json::Value& source :
         {Json::Value(-5), Json::Value(7u), Json::Value("12ab"), Json::Value("18446744073709551616")}) {
        EXPECT_EQ(read<long long>(source), 0) << source.toStyledString();
        EXPECT_EQ(read<unsigned long long>(source), 0u) << source.toStyledString();
    }
}

// The types the key files use: text as UTF-8, bytes up to the first zero, booleans from numbers too.
TEST(QkarnJsonTrait, TextBytesAndBooleans)
{
    const QString text = QString::fromUtf8("Zürich – 東京");
    EXPECT_EQ(written(text), Json::Value("Z\xc3\xbcrich \xe2\x80\x93 \xe6\x9d\xb1\xe4\xba\xac"));
    EXPECT_EQ(read<QString>(written(text)), text);
    EXPECT_EQ(written(QByteArray("a\0b", 3)), Json::Value("a"));
    EXPECT_EQ(read<QByteArray>(Json::Value(std::string("x\0y", 3))), QByteArray("x"));
    EXPECT_TRUE(read<bool>(Json::Value(0.5)));
    EXPECT_FALSE(read<bool>(Json::Value("true")));
    EXPECT_FALSE(read<bool>(Json::Value(Json::arrayValue)));
}

} // namespace
