#include "common/exceptions/reverizexception.h"
#include "common/karnlogger.h"
#include "support/exceptionmatchers.h"
#include "support/fakecatalogue.h"
#include "support/stderrcapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using ::testing::HasSubstr;

const QString file = QStringLiteral("/build/x/src/common/encryption/reverizkey.cpp");

// One row per concrete class: how to build it, and every field it must carry.
struct ClassRow
{
    const char* name;
    std::function<ReverizException()> make;
    ExceptionFields fields;
    QString message;
};

template<typename E, typename... Args> std::function<ReverizException()> maker(Args... args)
{
    return [=] { return E(args..., file, 7); };
}

const QString ctx = QStringLiteral("ReverizKey");

const ClassRow classRows[] = {
    {"RequestedUserUUIDOfNonUserActor",
     maker<RequestedUserUUIDOfNonUserActorException>(),
     {"RequestedUserUUIDOfNonUserActor", -1, "", "", "", ""},
     ""},
    {"InvalidUUID", maker<InvalidUUIDException>(), {"InvalidUUID", -1, "", "", "", ""}, ""},
    {"InvalidJsonInput", maker<InvalidJsonInputException>(), {"InvalidJsonInput", -1, "", "", "", ""}, ""},
    {"KeyGenerationFailed", maker<KeyGenerationFailedException>(), {"KeyGenerationFailed", -1, "", "", "", ""}, ""},
    {"CouldNotDetermineUserUUID",
     maker<CouldNotDetermineUserUUIDOfEncryptedPackageException>(),
     {"CouldNotDetermineUserUUIDOfEncryptedPackage", -1, "", "", "", ""},
     ""},
    {"CouldNotDeterminePackageUUID",
     maker<CouldNotDeterminePackageUUIDOfEncryptedPackageException>(),
     {"CouldNotDeterminePackageUUIDOfEncryptedPackage", -1, "", "", "", ""},
     ""},
    {"SizeMismatchOnBlockDownload",
     maker<SizeMismatchOnBlockDownloadException>(),
     {"SizeMismatchOnBlockDownload", -1, "", "", "", ""},
     ""},
    {"CheckSumMisMatchOnBlockDownload",
     maker<CheckSumMisMatchOnBlockDownloadException>(),
     {"CheckSumMisMatchOnBlockDownload", -1, "", "", "", ""},
     ""},
    {"TriedToUseUnavailablePrivateKey",
     maker<TriedToUseUnavailablePrivateKeyException>(),
     {"TriedToUseUnavailablePrivateKey", -1, "", "", "", ""},
     ""},
    {"TriedToUsePrivateKeyWithoutSupplyingPassPhrase",
     maker<TriedToUsePrivateKeyWithoutSupplyingPassPhraseException>(),
     {"TriedToUsePrivateKeyWithoutSupplyingPassPhrase", -1, "", "", "", ""},
     ""},
    {"TriedToSupplyPassPhraseWhereNoneIsRequired",
     maker<TriedToSupplyPassPhraseWhereNoneIsRequiredException>(),
     {"TriedToSupplyPassPhraseWhereNoneIsRequired", -1, "", "", "", ""},
     ""},
    {"SuppliedWrongPassPhrase",
     maker<SuppliedWrongPassPhraseException>(),
     {"SuppliedWrongPassPhrase", -1, "", "", "", ""},
     ""},
    {"TriedToReSetPassPhraseWithoutKnownOldPassPhrase",
     maker<TriedToReSetPassPhraseWithoutKnownOldPassPhraseException>(),
     {"TriedToReSetPassPhraseWithoutKnownOldPassPhrase", -1, "", "", "", ""},
     ""},
    {"SignatureVerificationFailed",
     maker<SignatureVerificationFailedException>(),
     {"SignatureVerificationFailed", -1, "", "", "", ""},
     ""},
    {"SignatureVerificationFailedWithError",
     maker<SignatureVerificationFailedWithErrorException>(),
     {"SignatureVerificationFailedWithError", -1, "", "", "", ""},
     ""},
    {"SignatureVerificationWithWrongKey",
     maker<SignatureVerificationWithWrongKeyException>(),
     {"SignatureVerificationWithWrongKey", -1, "", "", "", ""},
     ""},
    {"DecryptWithWrongKey", maker<DecryptWithWrongKeyException>(), {"DecryptWithWrongKey", -1, "", "", "", ""}, ""},
    {"JsonMemberMissing",
     maker<JsonMemberMissingException>(ctx, QStringLiteral("type")),
     {"ReverizKey", 1031, "missing member", "member", "type", ""},
     "LRC2067"},
    {"JsonMemberInvalid",
     maker<JsonMemberInvalidException>(ctx, QStringLiteral("key"), QStringLiteral("no pem")),
     {"ReverizKey", 1032, "no pem", "member", "key", ""},
     "LRC2068"},
    {"JsonParseError", maker<JsonParseError>(ctx), {"ReverizKey", 1030, "", "buffer", "", ""}, "LRC2066"},
    {"EncryptionFailed",
     maker<EncryptionFailedException>(ctx, QStringLiteral("encrypt init failed")),
     {"ReverizKey", 13001, "encrypt init failed", "", "", ""},
     "LRC2078"},
    {"DecryptionFailed",
     maker<DecryptionFailedException>(ctx, QStringLiteral("decrypt final failed")),
     {"ReverizKey", 13002, "decrypt final failed", "", "", ""},
     "LRC2079"},
    {"FileOpenFailed",
     maker<FileOpenFailedException>(ctx, QStringLiteral("No such file"), QStringLiteral("Block"), QStringLiteral("/t")),
     {"ReverizKey", 4002, "No such file", "Block", "", "/t"},
     "LRC2040"},
    {"FileReadFailed",
     maker<FileReadFailedException>(ctx, QStringLiteral("unexpected readSize"), QStringLiteral("SourceFile"),
                                    QStringLiteral("/s")),
     {"ReverizKey", 4005, "unexpected readSize", "SourceFile", "", "/s"},
     "LRC2056"},
    {"FileWriteFailed",
     maker<FileWriteFailedException>(ctx, QStringLiteral("Disk full"), QStringLiteral("PackageFile"),
                                     QStringLiteral("/p")),
     {"ReverizKey", 4004, "Disk full", "PackageFile", "", "/p"},
     "LRC2041"},
    {"PackageKeyFileDoesNotExist",
     maker<PackageKeyFileDoesNotExistException>(QStringLiteral("pkg")),
     {"PackageKeyFileDoesNotExist", 2246, "", "packageId", "pkg", ""},
     "LRC2062"},
    {"BIOFailure",
     maker<BIOFailureException>(QStringLiteral("ReverizRSA")),
     {"BIOFailure", 4004, "", "ReverizRSA", "", ""},
     "LRC2041"},
    {"CheckSumMismatchOnBlockFileRead",
     maker<CheckSumMismatchOnBlockFileReadException>(QStringLiteral("b1"), QStringLiteral("aa"), QStringLiteral("bb")),
     {"CheckSumMismatchOnBlockFileRead", 4020, "blockId b1, sha1 expected aa, sha1 found bb", "Block", "b1", ""},
     "LRC2169"},
    {"SizeMismatchOnBlockFileRead",
     maker<SizeMismatchOnBlockFileReadException>(QStringLiteral("b1"), 10, -7),
     {"SizeMismatchOnBlockFileRead", 4020, "blockId b1, size expected 10, size found -7", "Block", "b1", ""},
     "LRC2169"},
};

TEST(ReverizExceptionClasses, EachClassPassesExactlyItsValues)
{
    static_assert(std::size(classRows) == 29);
    for (const ClassRow& row : classRows) {
        SCOPED_TRACE(row.name);
        const ReverizException e = row.make();
        EXPECT_THAT(e, HasFields(row.fields));
        EXPECT_EQ(e.message(), row.message);
        EXPECT_EQ(e.sourceFile(), QStringLiteral("/common/encryption/reverizkey.cpp"));
        EXPECT_EQ(e.sourceLine(), 7);
    }
}

TEST(ReverizExceptionClasses, JsonClassesAreInvalidJsonInput)
{
    EXPECT_THROW(throw JsonMemberMissingException(ctx, QStringLiteral("m"), REVERIZ_HERE), InvalidJsonInputException);
    EXPECT_THROW(throw JsonMemberInvalidException(ctx, QStringLiteral("m"), QString(), REVERIZ_HERE),
                 InvalidJsonInputException);
    EXPECT_THROW(throw JsonParseError(ctx, REVERIZ_HERE), InvalidJsonInputException);
}

TEST(ReverizExceptionClasses, PlaceholderTextInsideABlockIdIsNotSubstitutedAgain)
{
    const SizeMismatchOnBlockFileReadException e(QStringLiteral("%2%3"), 1, 2, file, 1);
    EXPECT_EQ(e.details(), QStringLiteral("blockId %2%3, size expected 1, size found 2"));
}

TEST(ReverizExceptionFormat, NameOnlyExceptionHasAnEmptyReason)
{
    const InvalidUUIDException e(REVERIZ_HERE);
    EXPECT_EQ(e.reason(), QString());
    EXPECT_EQ(e.errorMessage(ReverizException::FormatWithName), QStringLiteral("InvalidUUID: "));
}

TEST(ReverizExceptionFormat, FormattedLines)
{
    const struct
    {
        const char* name;
        ReverizException e;
        const char* withName;
    } rows[] = {
        {"details", EncryptionFailedException(ctx, QStringLiteral("encrypt init failed"), file, 1),
         "ReverizKey: LRC2078 [encrypt init failed]"},
        {"member_id", JsonMemberMissingException(QStringLiteral("ReverizActor"), QStringLiteral("type"), file, 1),
         "ReverizActor: LRC2067 [missing member] Id: type"},
        {"path_without_id",
         FileWriteFailedException(ctx, QString(), QStringLiteral("BlockFile"), QStringLiteral("/d/b"), file, 1),
         "ReverizKey: LRC2041 (/d/b)"},
        {"id_without_details", PackageKeyFileDoesNotExistException(QStringLiteral("p1"), file, 1),
         "PackageKeyFileDoesNotExist: LRC2062 Id: p1"},
        {"path_wins_over_id",
         ReverizException(QStringLiteral("N"), 4001, QStringLiteral("d"), QString(), QStringLiteral("i"),
                          QStringLiteral("/p"), file, 1),
         "N: LRC2039 [d] (/p)"},
        {"empty_message_hides_the_rest", ReverizException(QStringLiteral("N"), QString(), file, 1), "N: "},
        {"explicit_message", ReverizException(QStringLiteral("N"), QStringLiteral("went wrong"), file, 1),
         "N: went wrong"},
        {"default", ReverizException(), ": "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.e.errorMessage(ReverizException::FormatWithName), QLatin1String(row.withName));
        const QString withoutName = QString::fromLatin1(row.withName).section(QLatin1String(": "), 1);
        EXPECT_EQ(row.e.errorMessage(ReverizException::FormatWithoutName), withoutName);
        EXPECT_EQ(row.e.reason(), withoutName);
    }
}

TEST(ReverizExceptionFormat, DefaultConstructedHasNoCodeAndNoLine)
{
    const ReverizException e;
    EXPECT_EQ(e.errorCode(), -1);
    EXPECT_EQ(e.sourceLine(), -1);
    EXPECT_TRUE(e.name().isEmpty());
}

TEST(ReverizExceptionFormat, MessageIsTheCatalogueText)
{
    const FakeCatalogue catalogue({{QStringLiteral("ErrorCodes/LRC2068"), QStringLiteral("invalid member")},
                                   {QStringLiteral("ErrorCodes/LRC2169"), QStringLiteral("error %1")}});
    const JsonMemberInvalidException invalid(ctx, QStringLiteral("key"), QStringLiteral("no pem"), file, 1);
    EXPECT_EQ(invalid.reason(), QStringLiteral("invalid member [no pem] Id: key"));
    const SizeMismatchOnBlockFileReadException mismatch(QStringLiteral("b1"), 10, 7, file, 1);
    EXPECT_EQ(mismatch.message(), QStringLiteral("error 4020"));
}

TEST(ReverizExceptionSource, CensorFileNameKeepsWhatFollowsTheFirstSrc)
{
    const struct
    {
        const char* path;
        const char* censored;
    } rows[] = {
        {"/home/b/src/p/src/common/a.cpp", "/p/src/common/a.cpp"}, // cut at the first "/src/"
        {"/src/common/a.cpp", "/common/a.cpp"}, // the closing "/" stays
        {"common/a.cpp", "mon/a.cpp"}, // no "/src/": three characters go
        {"/home/SRC/a.cpp", "me/SRC/a.cpp"}, // case-sensitive
        {"ab", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(InvalidUUIDException(QLatin1String(row.path), 1).sourceFile(), QLatin1String(row.censored));
    }
}

TEST(ReverizExceptionSource, ThrowHelperNamesThisFile)
{
    const int line = __LINE__ + 1;
    const InvalidUUIDException e(REVERIZ_HERE);
    EXPECT_TRUE(e.sourceFile().endsWith(QLatin1String("/exceptions/reverizexception_test.cpp")))
        << e.sourceFile().toStdString();
    EXPECT_EQ(e.sourceLine(), line);
}

class ThrowTimeRecord : public ::testing::Test
{
protected:
    void SetUp() override
    {
        KarnLogger::destroyInstance();
        initialize_logging("", "info");
    }
    void TearDown() override { KarnLogger::destroyInstance(); }
};

TEST_F(ThrowTimeRecord, OneThreeLineRecordPerConstructedException)
{
    StderrCapture captured;
    const JsonMemberMissingException e(QStringLiteral("ReverizActor"), QStringLiteral("type"), file, 12);
    const std::string text = captured.text();

    const QStringList lines = QString::fromStdString(text).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 4) << text; // three lines and the final line break
    EXPECT_THAT(lines[0].toStdString(), HasSubstr("reverizexception.cpp:"));
    EXPECT_THAT(lines[0].toStdString(), HasSubstr("ReverizException::ReverizException("));
    EXPECT_EQ(lines[1],
              QStringLiteral("throwing ReveRizException (1): ReverizActor: LRC2067 [missing member] Id: type"));
    EXPECT_EQ(lines[2], QStringLiteral(" throw location: /common/encryption/reverizkey.cpp:12"));
    EXPECT_EQ(lines[3], QString());

    // Copies do not log again.
    const ReverizException copy(e);
    EXPECT_EQ(captured.text(), text);
    EXPECT_EQ(copy.errorMessage(ReverizException::FormatWithName), e.errorMessage(ReverizException::FormatWithName));
    EXPECT_EQ(copy.sourceLine(), 12);
}

TEST_F(ThrowTimeRecord, EachConstructorHasItsNumber)
{
    const struct
    {
        std::function<void()> construct;
        const char* line;
    } rows[] = {
        {[] { ReverizException(QStringLiteral("N"), 1, QString(), QString(), QString(), QString(), file, 3); },
         "throwing ReveRizException (1): N: LRC2169"},
        {[] { InvalidUUIDException(file, 3); }, "throwing ReveRizException (2): InvalidUUID: "},
        {[] { ReverizException(QStringLiteral("N"), QStringLiteral("m"), file, 3); },
         "throwing ReveRizException (3): N: m"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        StderrCapture captured;
        row.construct();
        EXPECT_THAT(captured.text(), HasSubstr(std::string("\n") + row.line + "\n throw location: "));
    }
}

TEST_F(ThrowTimeRecord, DefaultConstructorWritesNothing)
{
    StderrCapture captured;
    const ReverizException e;
    EXPECT_EQ(captured.text(), "");
}

TEST_F(ThrowTimeRecord, GatedByInfoLevel)
{
    for (const char* level : {"info", "debug", "ultra"}) {
        SCOPED_TRACE(level);
        ASSERT_TRUE(initialize_logging("", level));
        StderrCapture captured;
        const InvalidUUIDException e(file, 1);
        EXPECT_EQ(QString::fromStdString(captured.text()).count(QLatin1String("throwing ReveRizException")), 1);
    }
    ASSERT_TRUE(initialize_logging("", "error"));
    StderrCapture captured;
    const InvalidUUIDException e(file, 1);
    EXPECT_EQ(captured.text(), "");
}

} // namespace
