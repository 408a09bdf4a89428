#include "common/internal/jsontext.h"

#include <gtest/gtest.h>

#include <string>

using namespace Reveriz::Internal;

namespace {

Json::Value keyFileLike()
{
    Json::Value root(Json::objectValue);
    root["publickey"] = "-----BEGIN X-----\nab/+\n-----END X-----\n";
    root["keyowner"]["type"] = "protocol";
    root["keyowner"]["serverUUID"] = "s";
    root["requirespassphrase"] = false;
    return root;
}

// Compact: one sorted line; styled: three spaces, braces on the name line. Both end in a line feed.
TEST(JsonText, LayoutsAreByteExact)
{
    EXPECT_EQ(JsonText::compact(keyFileLike()),
              "{\"keyowner\":{\"serverUUID\":\"s\",\"type\":\"protocol\"},"
              "\"publickey\":\"-----BEGIN X-----\\nab/+\\n-----END X-----\\n\",\"requirespassphrase\":false}\n");
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

TEST(JsonText, PermissiveAcceptsCommentsAnyRootAndTrailingTextStrictDoesNot)
{
    Json::Value withMember(Json::objectValue);
    withMember["a"] = 1;
    const std::pair<const char*, Json::Value> rows[] = {
        {"// note\n{\"a\": 1 /* inline */}", withMember},
        {"\"bare string\"", Json::Value("bare string")},
        {"{\"a\":1} trailing words", withMember},
    };
    for (const auto& [text, expected] : rows) {
        SCOPED_TRACE(text);
        Json::Value root;
        ASSERT_TRUE(JsonText::parsePermissive(QByteArray(text), root));
        EXPECT_EQ(root, expected);
        EXPECT_FALSE(root.hasComment(Json::commentBefore));
        EXPECT_FALSE(JsonText::parseStrict(QByteArray(text), root));
    }
    Json::Value root;
    EXPECT_FALSE(JsonText::parseStrict(QByteArray("42"), root));
    EXPECT_FALSE(JsonText::parseStrict(QByteArray("{\"a\":1,}"), root));
    ASSERT_TRUE(JsonText::parseStrict(QByteArray::fromStdString(JsonText::styled(keyFileLike()) + " \t"), root));
    EXPECT_EQ(root, keyFileLike());
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

} // namespace
