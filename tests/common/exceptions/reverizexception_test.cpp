#include "common/exceptions/reverizexception.h"
#include "common/karnlogger.h"
#include "support/exceptionmatchers.h"
#include "support/fakecatalogue.h"
#include "support/stderrcapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

namespace {

using ::testing::HasSubstr;

const QString file = QStringLiteral("/build/x/src/common/encryption/reverizkey.cpp");
const QString ctx = QStringLiteral("ReverizKey");

// One row per concrete class: how to build it, every field it must carry, and its message.
struct ClassRow
{
    std::function<ReverizException()> make;
    const char* message;
    ExceptionFields fields;
};

template<typename E, typename... Args> ClassRow coded(const char* message, const ExceptionFields& fields, Args... args)
{
    return {[=] { return E(args..., file, 7); }, message, fields};
}

// A class that carries its name only.
template<typename E> ClassRow nameOnly(const char* name)
{
    return coded<E>("", {name, -1, "", "", "", ""});
}

const ClassRow classRows[] = {
    nameOnly<RequestedUserUUIDOfNonUserActorException>("RequestedUserUUIDOfNonUserActor"),
    nameOnly<InvalidUUIDException>("InvalidUUID"),
    nameOnly<InvalidJsonInputException>("InvalidJsonInput"),
    nameOnly<KeyGenerationFailedException>("KeyGenerationFailed"),
    nameOnly<CouldNotDetermineUserUUIDOfEncryptedPackageException>("CouldNotDetermineUserUUIDOfEncryptedPackage"),
    nameOnly<CouldNotDeterminePackageUUIDOfEncryptedPackageException>("CouldNotDeterminePackageUUIDOfEncryptedPackage"),
    nameOnly<SizeMismatchOnBlockDownloadException>("SizeMismatchOnBlockDownload"),
    nameOnly<CheckSumMisMatchOnBlockDownloadException>("CheckSumMisMatchOnBlockDownload"),
    nameOnly<TriedToUseUnavailablePrivateKeyException>("TriedToUseUnavailablePrivateKey"),
    nameOnly<TriedToUsePrivateKeyWithoutSupplyingPassPhraseException>("TriedToUsePrivateKeyWithoutSupplyingPassPhrase"),
    nameOnly<TriedToSupplyPassPhraseWhereNoneIsRequiredException>("TriedToSupplyPassPhraseWhereNoneIsRequired"),
    nameOnly<SuppliedWrongPassPhraseException>("SuppliedWrongPassPhrase"),
    nameOnly<TriedToReSetPassPhraseWithoutKnownOldPassPhraseException>(
        "TriedToReSetPassPhraseWithoutKnownOldPassPhrase"),
    nameOnly<SignatureVerificationFailedException>("SignatureVerificationFailed"),
    nameOnly<SignatureVerificationFailedWithErrorException>("SignatureVerificationFailedWithError"),
    nameOnly<SignatureVerificationWithWrongKeyException>("SignatureVerificationWithWrongKey"),
    nameOnly<DecryptWithWrongKeyException>("DecryptWithWrongKey"),
    coded<JsonMemberMissingException>("LRC2067", {"ReverizKey", 1031, "missing member", "member", "type", ""}, ctx,
                                      "type"),
    coded<JsonMemberInvalidException>("LRC2068", {"ReverizKey", 1032, "no pem", "member", "key", ""}, ctx, "key",
                                      "no pem"),
    coded<JsonParseError>("LRC2066", {"ReverizKey", 1030, "", "buffer", "", ""}, ctx),
    coded<EncryptionFailedException>("LRC2078", {"ReverizKey", 13001, "encrypt init failed", "", "", ""}, ctx,
                                     "encrypt init failed"),
    coded<DecryptionFailedException>("LRC2079", {"ReverizKey", 13002, "decrypt final failed", "", "", ""}, ctx,
                                     "decrypt final failed"),
    coded<FileOpenFailedException>("LRC2040", {"ReverizKey", 4002, "No such file", "Block", "", "/t"}, ctx,
                                   "No such file", "Block", "/t"),
    coded<FileReadFailedException>("LRC2056", {"ReverizKey", 4005, "unexpected readSize", "SourceFile", "", "/s"}, ctx,
                                   "unexpected readSize", "SourceFile", "/s"),
    coded<FileWriteFailedException>("LRC2041", {"ReverizKey", 4004, "Disk full", "PackageFile", "", "/p"}, ctx,
                                    "Disk full", "PackageFile", "/p"),
    coded<PackageKeyFileDoesNotExistException>("LRC2062",
                                               {"PackageKeyFileDoesNotExist", 2246, "", "packageId", "pkg", ""}, "pkg"),
    coded<BIOFailureException>("LRC2041", {"BIOFailure", 4004, "", "ReverizRSA", "", ""}, "ReverizRSA"),
    coded<CheckSumMismatchOnBlockFileReadException>(
        "LRC2169",
        {"CheckSumMismatchOnBlockFileRead", 4020, "blockId b1, sha1 expected aa, sha1 found bb", "Block", "b1", ""},
        "b1", "aa", "bb"),
    coded<SizeMismatchOnBlockFileReadException>(
        "LRC2169",
        {"SizeMismatchOnBlockFileRead", 4020, "blockId b1, size expected 10, size found -7", "Block", "b1", ""}, "b1",
        10, -7),
};

TEST(ReverizExceptionClasses, EachClassPassesExactlyItsValues)
{
    static_assert(std::size(classRows) == 29);
    for (std::size_t i = 0; i < std::size(classRows); ++i) {
        SCOPED_TRACE(::testing::Message() << "row " << i);
        const ReverizException e = classRows[i].make();
        EXPECT_THAT(e, HasFields(classRows[i].fields));
        EXPECT_EQ(e.message(), QLatin1String(classRows[i].message));
        EXPECT_EQ(e.sourceFile(), QStringLiteral("/common/encryption/reverizkey.cpp"));
        EXPECT_EQ(e.sourceLine(), 7);
    }
    // One pass fills the placeholders, so placeholder text inside a block id stays.
    EXPECT_EQ(SizeMismatchOnBlockFileReadException(QStringLiteral("%2%3"), 1, 2, file, 1).details(),
              QStringLiteral("blockId %2%3, size expected 1, size found 2"));
}

TEST(ReverizExceptionFormat, FormattedLines)
{
    const std::pair<ReverizException, const char*> rows[] = {
        {JsonMemberMissingException("ReverizActor", "type", file, 1),
         "ReverizActor: LRC2067 [missing member] Id: type"},
        {FileWriteFailedException(ctx, "", "BlockFile", "/d/b", file, 1), "ReverizKey: LRC2041 (/d/b)"},
        {ReverizException("N", 4001, "d", "", "i", "/p", file, 1), "N: LRC2039 [d] (/p)"}, // the path wins
        {ReverizException("N", QString(), file, 1), "N: "}, // no message, nothing else
        {ReverizException("N", "went wrong", file, 1), "N: went wrong"},
        {ReverizException(), ": "},
    };
    for (const auto& [e, withName] : rows) {
        SCOPED_TRACE(withName);
        EXPECT_EQ(e.errorMessage(ReverizException::FormatWithName), QLatin1String(withName));
        const QString withoutName = QString::fromLatin1(withName).section(QLatin1String(": "), 1);
        EXPECT_EQ(e.errorMessage(ReverizException::FormatWithoutName), withoutName);
        EXPECT_EQ(e.reason(), withoutName);
    }
    EXPECT_EQ(ReverizException().errorCode(), -1);
    EXPECT_EQ(ReverizException().sourceLine(), -1);
    // The message is the catalogue text of the code.
    const FakeCatalogue catalogue({{"ErrorCodes/LRC2068", "invalid member"}});
    EXPECT_EQ(JsonMemberInvalidException(ctx, "key", "no pem", file, 1).reason(), "invalid member [no pem] Id: key");
}

TEST(ReverizExceptionSource, CensoredFileNameKeepsWhatFollowsTheFirstSrc)
{
    const std::pair<const char*, const char*> rows[] = {
        {"/home/b/src/p/src/common/a.cpp", "/p/src/common/a.cpp"}, // cut at the first "/src/"
        {"/src/common/a.cpp", "/common/a.cpp"}, // the closing "/" stays
        {"common/a.cpp", "mon/a.cpp"}, // no "/src/": three characters go
    };
    for (const auto& [path, censored] : rows)
        EXPECT_EQ(InvalidUUIDException(QLatin1String(path), 1).sourceFile(), QLatin1String(censored)) << path;
}

class ThrowTimeRecord : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(initialize_logging("", "info")); }
    void TearDown() override { KarnLogger::destroyInstance(); }
};

TEST_F(ThrowTimeRecord, OneThreeLineRecordPerConstructedExceptionAtInfoLevel)
{
    StderrCapture captured;
    const JsonMemberMissingException e("ReverizActor", "type", file, 12);
    const std::string text = captured.text();
    const QStringList lines = QString::fromStdString(text).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 4) << text; // three lines and the final line break
    EXPECT_THAT(lines[0].toStdString(), HasSubstr("reverizexception.cpp:"));
    EXPECT_THAT(lines[0].toStdString(), HasSubstr("ReverizException::ReverizException("));
    EXPECT_EQ(lines[1], "throwing ReveRizException (1): ReverizActor: LRC2067 [missing member] Id: type");
    EXPECT_EQ(lines[2], " throw location: /common/encryption/reverizkey.cpp:12");
    EXPECT_EQ(lines[3], QString());

    // Copies and default-constructed exceptions write nothing.
    const ReverizException copy(e); // NOLINT(performance-unnecessary-copy-initialization): the copy is tested
    const ReverizException defaulted;
    EXPECT_EQ(captured.text(), text);
    EXPECT_EQ(copy.errorMessage(ReverizException::FormatWithName), e.errorMessage(ReverizException::FormatWithName));
    EXPECT_EQ(copy.sourceLine(), 12);

    // The other constructors write their own number.
    {
        const InvalidUUIDException nameOnly(file, 3);
        const ReverizException withMessage("N", "m", file, 3);
    }
    EXPECT_THAT(captured.text(), HasSubstr("\nthrowing ReveRizException (2): InvalidUUID: \n throw location: "));
    EXPECT_THAT(captured.text(), HasSubstr("\nthrowing ReveRizException (3): N: m\n throw location: "));

    ASSERT_TRUE(initialize_logging("", "error"));
    const std::string before = captured.text();
    const InvalidUUIDException belowTheLevel(file, 1);
    EXPECT_EQ(captured.text(), before);
}

} // namespace
