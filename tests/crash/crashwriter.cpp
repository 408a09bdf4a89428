// The writer that the crash-safety test kills, replacing files for ever until it is killed. It prints "ready" once
// it has started up:
//
//   crashwriter replace PATH        FileUtilities::writeByteArray(PATH, safeReplace true), alternating between
//                                   the two contents of crashcontent.h
//   crashwriter create DIRECTORY    KeyUtility::createKey into DIRECTORY, alternating between the fixture key
//                                   material of the protocol and the user pair, both owned by the protocol actor
//                                   (so no key generation slows the loop down)

#include "common/encryption/cryptoinit.h"
#include "common/fileutilities.h"
#include "crashcontent.h"
#include "keyutilitycommands.h"
#include "support/testkeys.h"

#include <QFile>
#include <QTextStream>

#include <cstdio>
#include <cstring>

namespace {

// Tells the test that start-up is over: it times its kill from here.
void announceReady()
{
    (void)std::fputs("ready\n", stdout);
    (void)std::fflush(stdout);
}

[[noreturn]] void replaceForEver(const QString& path)
{
    // Made once: the loop should spend its time replacing, not computing what to write.
    const QByteArray contents[2] = {CrashContent::content(0), CrashContent::content(1)};
    announceReady();
    for (int round = 0;; ++round)
        FileUtilities::writeByteArray(path, contents[round % 2], true);
}

[[noreturn]] void createForEver(const QString& directory)
{
    const ReverizRSA* const pairs[] = {&TestKeys::protocolPair(), &TestKeys::userPair()};
    QTextStream err(stderr);
    announceReady();
    for (int round = 0;; ++round) {
        const auto makeKeyPair = [&](const ReverizActor& owner) {
            return TestKeys::materialFor(owner, *pairs[round % 2]);
        };
        if (KeyUtility::createKey(TestKeys::serverUUID, err, directory, makeKeyPair) != 0)
            std::exit(1);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        (void)std::fprintf(stderr, "usage: %s replace PATH | create DIRECTORY\n", argv[0]);
        return 2;
    }
    Reveriz::Crypto::initialize();
    const QString target = QFile::decodeName(argv[2]);
    if (std::strcmp(argv[1], "replace") == 0)
        replaceForEver(target);
    if (std::strcmp(argv[1], "create") == 0)
        createForEver(target);
    return 2;
}
