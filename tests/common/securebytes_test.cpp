#include "common/securebytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <type_traits>
#include <vector>

namespace {

// A storage whose buffers stay readable after their release: what a buffer held when it was given back is read
// straight from the arena, which the test owns.
struct ArenaStorage
{
    static inline std::array<char, 4096> arena {};
    static inline std::size_t used = 0;
    struct Release
    {
        const char* data;
        std::size_t size;
    };
    static inline std::vector<Release> releases;

    static void* allocate(std::size_t size)
    {
        char* block = arena.data() + used;
        std::fill(block, block + size, '\x5a'); // garbage a wipe must overwrite
        used += size;
        return block;
    }
    static void release(void* data, std::size_t size) noexcept { releases.push_back({static_cast<char*>(data), size}); }
};

using Bytes = Reveriz::BasicSecureBytes<ArenaStorage>;

bool zeros(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const char*>(data);
    return std::all_of(bytes, bytes + size, [](char c) { return c == '\0'; });
}

static_assert(!std::is_copy_constructible_v<Reveriz::SecureBytes>);
static_assert(!std::is_copy_assignable_v<Reveriz::SecureBytes>);
static_assert(std::is_nothrow_move_constructible_v<Reveriz::SecureBytes>);
static_assert(std::is_nothrow_move_assignable_v<Reveriz::SecureBytes>);

class SecureBytesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ArenaStorage::used = 0;
        ArenaStorage::releases.clear();
    }
};

TEST_F(SecureBytesTest, EveryBufferGivenBackHoldsZeros)
{
    const char* first = nullptr;
    {
        Bytes secret("correct horse", 13);
        first = secret.data();
        Bytes grown = std::move(secret); // moved: the buffer changes hands, no copy is made
        EXPECT_TRUE(secret.isEmpty()); // NOLINT(bugprone-use-after-move): the moved-from state is tested
        EXPECT_EQ(secret.data(), nullptr); // NOLINT(bugprone-use-after-move)
        EXPECT_EQ(grown.data(), first);
        grown.append(std::vector<char>(100, 'k').data(), 100); // outgrows its buffer
        EXPECT_EQ(grown.view().first(13), QByteArrayView("correct horse"));
        grown.resize(5); // cut: the tail is wiped where it stands
        EXPECT_TRUE(zeros(grown.data() + 5, 108));
        Bytes other("other", 5);
        other = std::move(grown); // assigned over: the bytes held so far are wiped
        ASSERT_EQ(ArenaStorage::releases.size(), 2u);
        EXPECT_EQ(other.view(), QByteArrayView("corre"));
    } // destroyed
    ASSERT_EQ(ArenaStorage::releases.size(), 3u);
    EXPECT_EQ(ArenaStorage::releases[0].data, first);
    for (const auto& release : ArenaStorage::releases)
        EXPECT_TRUE(zeros(release.data, release.size)) << release.size << " bytes not wiped";
    EXPECT_TRUE(zeros(ArenaStorage::arena.data(), ArenaStorage::used));
}

TEST_F(SecureBytesTest, CopiesAndBoundaryTypesAreNamedAndWiped)
{
    Bytes secret("key", 3);
    const Bytes second = secret.copy();
    EXPECT_NE(second.data(), secret.data());
    EXPECT_EQ(second.view(), secret.view());

    QByteArray alone("pass phrase");
    const Bytes taken = Bytes::takeFrom(alone);
    EXPECT_EQ(taken.view(), QByteArrayView("pass phrase"));
    EXPECT_TRUE(alone.isEmpty());
    ASSERT_GE(alone.capacity(), 11); // the wiped buffer, still the array's
    EXPECT_TRUE(zeros(alone.constData(), static_cast<std::size_t>(alone.capacity())));

    // Bytes that another array shares belong to it as well: only the last holder wipes them.
    QByteArray shared("shared secret");
    shared.detach();
    QByteArray holder = shared;
    Reveriz::wipe(shared);
    EXPECT_EQ(holder, "shared secret");
    Reveriz::wipe(holder);
    EXPECT_TRUE(zeros(holder.constData(), static_cast<std::size_t>(holder.capacity())));

    QString phrase = QStringLiteral("пароль");
    Reveriz::wipe(phrase);
    EXPECT_TRUE(phrase.isEmpty()); // literal data is not the code's to wipe
    phrase = QString::fromUtf8("пароль");
    Reveriz::wipe(phrase);
    ASSERT_GE(phrase.capacity(), 6);
    EXPECT_TRUE(zeros(phrase.constData(), static_cast<std::size_t>(phrase.capacity()) * sizeof(QChar)));

    std::string text(40, 'k');
    Json::Value document(Json::objectValue);
    document["plain"]["key"] = text;
    document["plain"]["length"] = 40;
    Reveriz::wipe(text);
    EXPECT_TRUE(text.empty());
    EXPECT_TRUE(zeros(text.data(), text.capacity()));
    Reveriz::wipe(document);
    const char* begin = nullptr;
    const char* end = nullptr;
    ASSERT_TRUE(document["plain"]["key"].getString(&begin, &end));
    EXPECT_EQ(end - begin, 40);
    EXPECT_TRUE(zeros(begin, 40));
    EXPECT_EQ(document["plain"]["length"], 40);
}

} // namespace
