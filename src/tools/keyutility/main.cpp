#include "common/atomicfile.h"
#include "common/encryption/cryptoinit.h"
#include "common/encryption/processprotection.h"
#include "common/stringconversion.h"
#include "keyutilitycommands.h"

#include <QStringList>
#include <QTextStream>

#include <csignal>
#include <exception>
#include <new>

using namespace Reveriz::Internal;

int main(int argc, char* argv[])
{
    // First of all: no core dump, and no OpenSSL allocation before its freed blocks are wiped.
    Reveriz::Crypto::protectProcessSecrets();
    QTextStream out(stdout);
    QTextStream err(stderr);
    try {
        AtomicFile::removeTemporaryFilesOnSignals();
        // A reader that closes the pipe of "decrypt -o -" ends the command quietly through EPIPE, not a signal.
        (void)std::signal(SIGPIPE, SIG_IGN);
        Reveriz::Crypto::initialize();
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments << StringConversion::fromCommandLine(argv[i]);
        return KeyUtility::run(arguments, out, err);
    } catch (const std::bad_alloc&) {
        err << "keyutility: out of memory\n";
        return 1;
    } catch (const std::exception& e) {
        // The commands handle the library's exceptions; this is for the rest.
        err << "keyutility: " << e.what() << '\n';
        return 1;
    }
}
