#include "common/typechecks.h"
#include "common/uuidtools.h"

#include <QSet>

#include <gtest/gtest.h>

namespace {

TEST(UuidTools, CreatesDistinctUuidsOfTheStrictForm)
{
    QSet<QString> seen;
    for (int i = 0; i < 100; ++i)
        seen.insert(UuidTools::createUuid());
    EXPECT_EQ(seen.size(), 100);
    for (const QString& uuid : seen)
        EXPECT_TRUE(TypeChecks::isUUID(uuid)) << uuid.toStdString();
}

TEST(UuidTools, ValidatesTheLooseForm)
{
    const std::pair<const char*, bool> rows[] = {
        {"----", true}, // five empty groups
        {"1-2-3-4-5", true},
        {"0F8FAD5B-D9CB-469F-A165-70867728950E", false},
        {"g-1-2-3-4", false},
        {"0-1-2-3-4-", false},
        {"0-1-2-3", false},
        {"0-1-2-3-4\n", false},
        {"", false},
        {"..-a-b-c-d", false},
        {"a-b-c-d-../e", false},
        {"./a-b-c-d-e", false},
        {"0/1-2-3-4-5", false},
    };
    for (const auto& [text, valid] : rows)
        EXPECT_EQ(UuidTools::validateUuid(text), valid) << text;
}

} // namespace
