#include "common/internal/base64.h"
#include "support/qtprinters.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace Reveriz::Internal;

namespace {

QByteArray decoded(const QByteArray& text)
{
    QByteArray out(text.size(), '\0');
    out.truncate(static_cast<qsizetype>(Base64::decodeLenient(text.constData(), text.size(), out.data())));
    return out;
}

TEST(Base64, DecodesAsTheToolkitDoes)
{
    const QByteArray texts[] = {
        "",
        "QQ",
        "QQ=",
        "QQ==",
        "QUI=",
        "QUJD",
        "QUJDRA==",
        "Q",
        "QUJDR",
        "=QUJD",
        "QU=JD",
        "Q U\nJ\r\nD",
        "QUJD****",
        "QUJDRA==QUJD",
        "#$%^&",
        "////++++",
        "-_-_",
        "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVo=",
        QByteArray("QU\0JD", 5),
        "\xc3\xa9QUJD\xff",
    };
    for (const QByteArray& text : texts) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(decoded(text), QByteArray::fromBase64(text));
    }
}

TEST(Base64, RandomTextWithJunkAndLineBreaksMatchesTheToolkit)
{
    QRandomGenerator random(20261208);
    const QByteArray alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const QByteArray junk = "=\n\r \t*-_.\"\\\x00\xff";
    for (int round = 0; round < 200; ++round) {
        QByteArray text;
        const int length = static_cast<int>(random.bounded(300));
        for (int i = 0; i < length; ++i) {
            const bool isJunk = random.bounded(10) == 0;
            text += isJunk ? junk.at(random.bounded(junk.size())) : alphabet.at(random.bounded(alphabet.size()));
        }
        SCOPED_TRACE(text.toHex().toStdString());
        ASSERT_EQ(decoded(text), QByteArray::fromBase64(text));
    }
}

TEST(Base64, DecodesInPlace)
{
    const QByteArray original = QByteArray(3000, 'x').toBase64() + "\n" + QByteArray("tail").toBase64();
    QByteArray text = original;
    const std::size_t size = Base64::decodeLenient(text.constData(), text.size(), text.data());
    EXPECT_EQ(text.left(static_cast<qsizetype>(size)), QByteArray::fromBase64(original));
}

} // namespace
