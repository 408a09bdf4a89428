#include "common/typechecks.h"
#include "common/uuidtools.h"

#include <QSet>

#include <gtest/gtest.h>

namespace {

TEST(UuidTools, CreatesDistinctLowerCaseUuidsWithoutBraces)
{
    QSet<QString> seen;
    for (int i = 0; i < 100; ++i) {
        const QString uuid = UuidTools::createUuid();
        ASSERT_EQ(uuid.size(), 36) << uuid.toStdString();
        EXPECT_TRUE(TypeChecks::isUUID(uuid)) << uuid.toStdString();
        EXPECT_TRUE(UuidTools::validateUuid(uuid)) << uuid.toStdString();
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 100);
}

TEST(UuidTools, ValidatesTheLooseForm)
{
    const struct
    {
        const char* text;
        bool valid;
    } cases[] = {
        {"----", true}, // five empty groups
        {"1-2-3-4-5", true}, // any group lengths
        {"0f8fad5b-d9cb-469f-a165-70867728950e", true}, // the usual form
        {"0F8FAD5B-D9CB-469F-A165-70867728950E", false}, // upper case
        {"0f8fad5b-d9cb-469f-a165-70867728950e-", false}, // a fifth hyphen
        {"0f8fad5b-d9cb-469f-a165", false}, // three hyphens
        {"{0f8fad5b-d9cb-469f-a165-70867728950e}", false},
        {"0f8fad5g-d9cb-469f-a165-70867728950e", false}, // not hexadecimal
        {"0f8fad5b-d9cb-469f-a165-70867728950e\n", false},
        {"", false},
        {"../../etc-a-b-c-d", false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(UuidTools::validateUuid(QString::fromLatin1(row.text)), row.valid);
    }
}

} // namespace
