#include "common/exceptions/errorcodes.h"
#include "support/fakecatalogue.h"
#include "support/qtprinters.h"

#include <gtest/gtest.h>

namespace {

// The ends of the sorted catalogue, a key shared by two codes, and codes beside and beyond the listed ones.
TEST(ErrorCodes, CodesYieldTheirKeyOrLRC2169WithoutCatalogue)
{
    const std::pair<int, const char*> rows[] = {
        {10, "LRC2060"},   {13002, "LRC2079"}, {2005, "LRC1242432323"}, {2246, "LRC2062"},  {2247, "LRC2062"},
        {4006, "LRC3111"}, {9, "LRC2169"},     {1022, "LRC2169"},       {13003, "LRC2169"}, {-1, "LRC2169"},
    };
    for (const auto& [code, key] : rows)
        EXPECT_EQ(ErrorCodes::translate(code), QLatin1String(key)) << code;
}

TEST(ErrorCodes, CatalogueTextsReplaceKeys)
{
    const FakeCatalogue catalogue({{"ErrorCodes/LRC2067", "member missing"},
                                   {"ErrorCodes/LRC2169", "unknown error %1"},
                                   {"FileUtilities/LRC2041", "wrong context"}});
    EXPECT_EQ(ErrorCodes::translate(1031), "member missing");
    EXPECT_EQ(ErrorCodes::t("LRC2067"), "member missing");
    EXPECT_EQ(ErrorCodes::translate(-1), "unknown error -1");
    // Same key, other context: not this catalogue entry.
    EXPECT_EQ(ErrorCodes::translate(4004), "LRC2041");
}

} // namespace
