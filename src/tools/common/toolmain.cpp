#include "toolmain.h"

#include "common/encryption/cryptoinit.h"
#include "common/encryption/processprotection.h"
#include "common/outputpolicy.h"
#include "common/stringconversion.h"

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

int ToolMain::run(int argc, char* argv[], const char* name, Command command)
{
    // First of all: no core dump, and no OpenSSL allocation before its freed blocks are wiped.
    Reveriz::Crypto::protectProcessSecrets();
    // On the heap: a stream whose flush fails for want of memory is abandoned, not destroyed, since its
    // destructor would flush again and throw where nothing can catch.
    std::unique_ptr<QTextStream> out;
    std::unique_ptr<QTextStream> err;
    const auto lastWords = [&](const char* what) {
        (void)out.release();
        (void)err.release();
        Reveriz::OutputPolicy::reportUnremovedFiles(name);
        writeDirectly(name);
        writeDirectly(": ");
        writeDirectly(what);
        writeDirectly("\n");
        return 1;
    };
    try {
        out = std::make_unique<QTextStream>(stdout);
        err = std::make_unique<QTextStream>(stderr);
        Reveriz::OutputPolicy::removeTemporaryFilesOnSignals();
        Reveriz::Crypto::initialize();
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments << StringConversion::fromCommandLine(argv[i]);
        const int status = command(arguments, *out, *err);
        out->flush();
        err->flush();
        // A temporary file left behind fails the command, whatever else happened.
        return Reveriz::OutputPolicy::reportUnremovedFiles(name) ? 1 : status;
    } catch (const std::bad_alloc&) {
        return lastWords("out of memory");
    } catch (const std::exception& e) {
        // The commands handle the library's exceptions; this is for the rest.
        return lastWords(e.what());
    }
}
