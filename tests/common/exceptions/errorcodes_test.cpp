#include "common/exceptions/errorcodes.h"
#include "support/fakecatalogue.h"
#include "support/qtprinters.h"

#include <gtest/gtest.h>

namespace {

// Every code with a catalogue key of its own.
const struct
{
    int code;
    const char* key;
} listedCodes[] = {
    {10, "LRC2060"},    {1001, "LRC2001"},  {1002, "LRC2002"},       {1003, "LRC2003"},
    {1004, "LRC2004"},  {1005, "LRC2005"},  {1006, "LRC2061"},       {1011, "LRC2006"},
    {1012, "LRC2007"},  {1013, "LRC2009"},  {1014, "LRC2008"},       {1015, "LRC2010"},
    {1016, "LRC2011"},  {1017, "LRC2012"},  {1018, "LRC2013"},       {1019, "LRC2014"},
    {1020, "LRC2015"},  {1021, "LRC1010"},  {1023, "LRC2017"},       {1024, "LRC2018"},
    {1030, "LRC2066"},  {1031, "LRC2067"},  {1032, "LRC2068"},       {2001, "LRC2019"},
    {2002, "LRC2020"},  {2003, "LRC2053"},  {2004, "LRC2054"},       {2005, "LRC1242432323"},
    {2011, "LRC2021"},  {2012, "LRC2022"},  {2013, "LRC1242432324"}, {2021, "LRC2023"},
    {2222, "LRC2024"},  {2223, "LRC2026"},  {2224, "LRC2028"},       {2225, "LRC2029"},
    {2226, "LRC2047"},  {2227, "LRC2049"},  {2228, "LRC1025"},       {2229, "LRC987232312"},
    {2230, "LRC2025"},  {2231, "LRC2030"},  {2232, "LRC2031"},       {2233, "LRC1242432325"},
    {2241, "LRC2032"},  {2242, "LRC2033"},  {2243, "LRC1158"},       {2244, "LRC2034"},
    {2245, "LRC2036"},  {2246, "LRC2062"},  {2247, "LRC2062"},       {2248, "LRC45020"},
    {2249, "LRC45021"}, {2251, "LRC2037"},  {3001, "LRC2038"},       {4001, "LRC2039"},
    {4002, "LRC2040"},  {4004, "LRC2041"},  {4005, "LRC2056"},       {4006, "LRC3111"},
    {5001, "LRC2042"},  {5002, "LRC2043"},  {6001, "LRC2044"},       {7001, "LRC2045"},
    {7002, "LRC2065"},  {7003, "LRC1464"},  {7004, "LRC1465"},       {8001, "LRC2046"},
    {8002, "LRC2048"},  {9001, "LRC2050"},  {9002, "LRC2051"},       {9003, "LRC2052"},
    {10001, "LRC2055"}, {11001, "LRC2071"}, {11002, "LRC2072"},      {11003, "LRC2073"},
    {11004, "LRC2074"}, {12001, "LRC2080"}, {13001, "LRC2078"},      {13002, "LRC2079"},
};

TEST(ErrorCodes, ListedCodesYieldTheirKeyWithoutCatalogue)
{
    static_assert(std::size(listedCodes) == 80);
    for (const auto& row : listedCodes) {
        SCOPED_TRACE(row.code);
        EXPECT_EQ(ErrorCodes::translate(row.code), QLatin1String(row.key));
    }
}

TEST(ErrorCodes, UnlistedCodesFallBackToLRC2169)
{
    const int unlisted[] = {0,    -1,   9,    11,   1007, 1008, 1009, 1010, 1022,  1025,  1029,      2006,
                            2010, 2250, 4003, 4007, 4008, 4009, 4010, 4020, 13000, 13003, 2147483647};
    for (int code : unlisted) {
        SCOPED_TRACE(code);
        EXPECT_EQ(ErrorCodes::translate(code), QLatin1String("LRC2169"));
    }
}

TEST(ErrorCodes, CatalogueTextsReplaceKeys)
{
    const FakeCatalogue catalogue({{QStringLiteral("ErrorCodes/LRC2067"), QStringLiteral("member missing")},
                                   {QStringLiteral("ErrorCodes/LRC2169"), QStringLiteral("unknown error %1")},
                                   {QStringLiteral("FileUtilities/LRC2041"), QStringLiteral("wrong context")}});
    EXPECT_EQ(ErrorCodes::translate(1031), QStringLiteral("member missing"));
    EXPECT_EQ(ErrorCodes::translate(4009), QStringLiteral("unknown error 4009"));
    EXPECT_EQ(ErrorCodes::translate(-1), QStringLiteral("unknown error -1"));
    // Same key, other context: not this catalogue entry.
    EXPECT_EQ(ErrorCodes::translate(4004), QStringLiteral("LRC2041"));
    EXPECT_EQ(ErrorCodes::t("LRC2067"), QStringLiteral("member missing"));
}

} // namespace
