#include "common/jsontext.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Json::Value keyFileLike()
{
    Json::Value owner(Json::objectValue);
    owner["type"] = "protocol";
    owner["serverUUID"] = "s";
    Json::Value root(Json::objectValue);
    root["publickey"] = "-----BEGIN X-----\nab/+\n-----END X-----\n";
    root["keyowner"] = owner;
    root["requirespassphrase"] = false;
    return root;
}

TEST(JsonText, CompactIsOneSortedLineWithAFinalLineFeed)
{
    EXPECT_EQ(JsonText::compact(keyFileLike()),
              "{\"keyowner\":{\"serverUUID\":\"s\",\"type\":\"protocol\"},"
              "\"publickey\":\"-----BEGIN X-----\\nab/+\\n-----END X-----\\n\",\"requirespassphrase\":false}\n");
}

TEST(JsonText, StyledUsesThreeSpacesAndBracesOnTheNameLine)
{
    EXPECT_EQ(JsonText::styled(keyFileLike()),
              "{\n"
              "   \"keyowner\" : {\n"
              "      \"serverUUID\" : \"s\",\n"
              "      \"type\" : \"protocol\"\n"
              "   },\n"
              "   \"publickey\" : \"-----BEGIN X-----\\nab/+\\n-----END X-----\\n\",\n"
              "   \"requirespassphrase\" : false\n"
              "}\n");
}

TEST(JsonText, PermissiveAcceptsCommentsAnyRootAndTrailingText)
{
    const struct
    {
        const char* text;
        Json::Value expected;
    } accepted[] = {
        {"// note\n{\"a\": 1 /* inline */}",
         [] {
             Json::Value v;
             v["a"] = 1;
             return v;
         }()},
        {"\"bare string\"", Json::Value("bare string")},
        {"42", Json::Value(42)},
        {"[1] trailing words",
         [] {
             Json::Value v(Json::arrayValue);
             v.append(1);
             return v;
         }()},
        {R"({"a":1,"a":2})",
         [] {
             Json::Value v;
             v["a"] = 2;
             return v;
         }()},
    };
    for (const auto& row : accepted) {
        SCOPED_TRACE(row.text);
        Json::Value root;
        ASSERT_TRUE(JsonText::parsePermissive(QByteArray(row.text), root));
        EXPECT_EQ(root, row.expected);
        EXPECT_FALSE(root.hasComment(Json::commentBefore));
    }
}

TEST(JsonText, StrictRejectsCommentsScalarsAndTrailingText)
{
    const char* rejected[] = {
        "{\"a\":1} // comment", "/* c */ {\"a\":1}", "\"bare string\"", "42",         "null",
        "{\"a\":1} x",          "{\"a\":1}{}",       "{'a':1}",         "{\"a\":1,}", "",
    };
    for (const char* text : rejected) {
        SCOPED_TRACE(text);
        Json::Value root;
        EXPECT_FALSE(JsonText::parseStrict(QByteArray(text), root));
    }
    Json::Value root;
    EXPECT_TRUE(JsonText::parseStrict(QByteArray("{\"a\":1,\"a\":2}\n \t"), root));
    EXPECT_EQ(root["a"], Json::Value(2));
}

TEST(JsonText, TruncatedAndDeeplyNestedTextFailsWithoutThrowing)
{
    const QByteArray deep = QByteArray(100000, '[') + QByteArray(100000, ']');
    for (const QByteArray& text : {QByteArray("{\"a\":"), QByteArray("[1,2"), deep}) {
        Json::Value root;
        EXPECT_FALSE(JsonText::parsePermissive(text, root));
        EXPECT_FALSE(JsonText::parseStrict(text, root));
    }
}

TEST(JsonText, ReadsBackWhatItWrites)
{
    for (const std::string& text : {JsonText::compact(keyFileLike()), JsonText::styled(keyFileLike())}) {
        Json::Value permissive;
        Json::Value strict;
        ASSERT_TRUE(JsonText::parsePermissive(text.data(), text.data() + text.size(), permissive));
        ASSERT_TRUE(JsonText::parseStrict(text.data(), text.data() + text.size(), strict));
        EXPECT_EQ(permissive, keyFileLike());
        EXPECT_EQ(strict, keyFileLike());
    }
}

} // namespace
