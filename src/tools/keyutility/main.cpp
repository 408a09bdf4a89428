#include "common/encryption/cryptoinit.h"
#include "common/encryption/processprotection.h"
#include "common/outputpolicy.h"
#include "common/stringconversion.h"
#include "keyutilitycommands.h"

#include <QStringList>
#include <QTextStream>

#include <csignal>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <unistd.h>

namespace {

// The last words of a failed run, written without allocating: memory may be exhausted.
void writeDirectly(const char* text)
{
    (void)!::write(STDERR_FILENO, text, std::strlen(text));
}

} // namespace

int main(int argc, char* argv[])
{
    // First of all: no core dump, and no OpenSSL allocation before its freed blocks are wiped.
    Reveriz::Crypto::protectProcessSecrets();
    // On the heap: a stream whose flush fails for want of memory is abandoned, not destroyed, since its
    // destructor would flush again and throw where nothing can catch.
    std::unique_ptr<QTextStream> out;
    std::unique_ptr<QTextStream> err;
    try {
        out = std::make_unique<QTextStream>(stdout);
        err = std::make_unique<QTextStream>(stderr);
        Reveriz::OutputPolicy::removeTemporaryFilesOnSignals();
        // A reader that closes the pipe of "decrypt -o -" ends the command quietly through EPIPE, not a signal.
        (void)std::signal(SIGPIPE, SIG_IGN);
        Reveriz::Crypto::initialize();
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments << StringConversion::fromCommandLine(argv[i]);
        const int status = KeyUtility::run(arguments, *out, *err);
        out->flush();
        err->flush();
        // A temporary file left behind fails the command, whatever else happened.
        return Reveriz::OutputPolicy::reportUnremovedFiles("keyutility") ? 1 : status;
    } catch (const std::bad_alloc&) {
        (void)out.release();
        (void)err.release();
        Reveriz::OutputPolicy::reportUnremovedFiles("keyutility");
        writeDirectly("keyutility: out of memory\n");
        return 1;
    } catch (const std::exception& e) {
        // The commands handle the library's exceptions; this is for the rest.
        (void)out.release();
        (void)err.release();
        Reveriz::OutputPolicy::reportUnremovedFiles("keyutility");
        writeDirectly("keyutility: ");
        writeDirectly(e.what());
        writeDirectly("\n");
        return 1;
    }
}
