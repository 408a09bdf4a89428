#include "common/encryption/cryptoinit.h"
#include "common/encryption/processprotection.h"
#include "common/outputpolicy.h"
#include "common/stringconversion.h"
#include "encryptlogcommand.h"

#include <QStringList>
#include <QTextStream>

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
    std::unique_ptr<QTextStream> err;
    try {
        err = std::make_unique<QTextStream>(stderr);
        Reveriz::OutputPolicy::removeTemporaryFilesOnSignals();
        Reveriz::Crypto::initialize();
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments << StringConversion::fromCommandLine(argv[i]);
        const int status = EncryptLog::run(arguments, *err);
        err->flush();
        // A temporary file left behind fails the command, whatever else happened.
        return Reveriz::OutputPolicy::reportUnremovedFiles("encryptlog") ? 1 : status;
    } catch (const std::bad_alloc&) {
        (void)err.release();
        Reveriz::OutputPolicy::reportUnremovedFiles("encryptlog");
        writeDirectly("encryptlog: out of memory\n");
        return 1;
    } catch (const std::exception& e) {
        (void)err.release();
        Reveriz::OutputPolicy::reportUnremovedFiles("encryptlog");
        writeDirectly("encryptlog: ");
        writeDirectly(e.what());
        writeDirectly("\n");
        return 1;
    }
}
