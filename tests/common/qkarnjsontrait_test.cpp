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

Json::Value anObject()
{
    Json::Value object(Json::objectValue);
    object["member"] = 1;
    return object;
}

TEST(QkarnJsonTrait, SixtyFourBitIntegersTravelAsDecimalText)
{
    EXPECT_EQ(written<long long>(-5), Json::Value("-5"));
    EXPECT_EQ(written<long long>(std::numeric_limits<long long>::min()), Json::Value("-9223372036854775808"));
    EXPECT_EQ(written<unsigned long long>(std::numeric_limits<unsigned long long>::max()),
              Json::Value("18446744073709551615"));

    EXPECT_EQ(read<long long>(Json::Value("-5")), -5);
    EXPECT_EQ(read<unsigned long long>(Json::Value("18446744073709551615")),
              std::numeric_limits<unsigned long long>::max());
}

TEST(QkarnJsonTrait, SixtyFourBitIntegersReadAnythingElseAsZero)
{
    const Json::Value others[] = {Json::Value(-5),     Json::Value(7u),     Json::Value(true),
                                  Json::Value(),       Json::Value("12ab"), Json::Value(""),
                                  Json::Value("0x10"), anObject(),          Json::Value("18446744073709551616")};
    for (const Json::Value& source : others) {
        SCOPED_TRACE(source.toStyledString());
        EXPECT_EQ(read<long long>(source), 0);
        EXPECT_EQ(read<unsigned long long>(source), 0u);
    }
}

TEST(QkarnJsonTrait, TextIsUtf8)
{
    const QString text = QString::fromUtf8("Zürich – 東京");
    const Json::Value json = written(text);
    ASSERT_TRUE(json.isString());
    EXPECT_EQ(json.asString(), std::string("Z\xc3\xbcrich \xe2\x80\x93 \xe6\x9d\xb1\xe4\xba\xac"));
    EXPECT_EQ(read<QString>(json), text);
}

TEST(QkarnJsonTrait, TextReadsOtherTypesAsEmpty)
{
    for (const Json::Value& source : {Json::Value(3), Json::Value(true), Json::Value(), anObject()})
        EXPECT_TRUE(read<QString>(source).isEmpty());
}

TEST(QkarnJsonTrait, BytesAreStoredUnencodedUpToTheFirstZero)
{
    EXPECT_EQ(written(QByteArray("a\0b", 3)), Json::Value("a"));
    EXPECT_EQ(written(QByteArray("\xff\x01")), Json::Value("\xff\x01"));
    EXPECT_EQ(read<QByteArray>(Json::Value(std::string("x\0y", 3))), QByteArray("x"));
    EXPECT_EQ(read<QByteArray>(Json::Value(5)), QByteArray());
}

TEST(QkarnJsonTrait, BoolReadsOnlyNumbersBooleansAndNull)
{
    const struct
    {
        const char* name;
        Json::Value source;
        bool expected;
    } cases[] = {
        {"true", Json::Value(true), true},
        {"false", Json::Value(false), false},
        {"two", Json::Value(2), true},
        {"zero", Json::Value(0), false},
        {"real", Json::Value(0.5), true},
        {"null", Json::Value(), false},
        {"string_true", Json::Value("true"), false},
        {"object", anObject(), false},
        {"array", Json::Value(Json::arrayValue), false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(read<bool>(row.source), row.expected);
    }
    EXPECT_EQ(written(true), Json::Value(true));
}

TEST(QkarnJsonTrait, IntegersLetTheLibraryErrorThrough)
{
    EXPECT_EQ(read<int>(Json::Value(-7)), -7);
    EXPECT_EQ(read<unsigned int>(Json::Value(7)), 7u);
    EXPECT_EQ(read<int>(Json::Value(true)), 1);
    EXPECT_EQ(read<int>(Json::Value()), 0);
    EXPECT_EQ(written(-7), Json::Value(-7));
    EXPECT_TRUE(written(7u).isUInt());

    EXPECT_THROW(read<int>(Json::Value("7")), std::exception);
    EXPECT_THROW(read<int>(anObject()), std::exception);
    EXPECT_THROW(read<int>(Json::Value(static_cast<Json::Int64>(1) << 40)), std::exception);
    EXPECT_THROW(read<unsigned int>(Json::Value(-1)), std::exception);
    EXPECT_THROW(read<unsigned int>(Json::Value("7")), std::exception);
}

TEST(QkarnJsonTrait, DatesAndTimesUseIsoText)
{
    EXPECT_EQ(written(QDate(2011, 5, 23)), Json::Value("2011-05-23"));
    EXPECT_EQ(written(QTime(14, 3, 9)), Json::Value("14:03:09"));
    EXPECT_EQ(written(QDateTime(QDate(2011, 5, 23), QTime(14, 3, 9))), Json::Value("2011-05-23T14:03:09"));

    EXPECT_EQ(read<QDate>(Json::Value("2011-05-23")), QDate(2011, 5, 23));
    EXPECT_EQ(read<QTime>(Json::Value("14:03:09")), QTime(14, 3, 9));
    EXPECT_EQ(read<QDateTime>(Json::Value("2011-05-23T14:03:09")), QDateTime(QDate(2011, 5, 23), QTime(14, 3, 9)));
}

TEST(QkarnJsonTrait, NullDatesAreEmptyTextAndBadTextReadsAsNull)
{
    const Json::Value nullDate = written(QDate());
    EXPECT_EQ(nullDate, Json::Value(""));
    EXPECT_TRUE(read<QDate>(nullDate).isNull());
    EXPECT_TRUE(read<QDate>(Json::Value("2011-13-40")).isNull());
    EXPECT_TRUE(read<QDate>(Json::Value(20110523)).isNull());
    EXPECT_TRUE(read<QTime>(Json::Value("25:00:00")).isNull());
    EXPECT_TRUE(read<QDateTime>(anObject()).isNull());
}

TEST(QkarnJsonTrait, ToJsonReplacesTheWholeTarget)
{
    Json::Value target = anObject();
    QkarnJsonTrait<QString>::toJson(target, QStringLiteral("x"));
    EXPECT_EQ(target, Json::Value("x"));
    target = anObject();
    QkarnJsonTrait<int>::toJson(target, 3);
    EXPECT_EQ(target, Json::Value(3));
}

} // namespace
