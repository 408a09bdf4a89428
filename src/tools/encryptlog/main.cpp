#include "common/atomicfile.h"
#include "common/encryption/cryptoinit.h"
#include "common/encryption/processprotection.h"
#include "common/stringconversion.h"
#include "encryptlogcommand.h"

#include <QStringList>
#include <QTextStream>

#include <exception>
#include <new>

using namespace Reveriz::Internal;

int main(int argc, char* argv[])
{
    // First of all: no core dump, and no OpenSSL allocation before its freed blocks are wiped.
    Reveriz::Crypto::protectProcessSecrets();
    QTextStream err(stderr);
    try {
        AtomicFile::removeTemporaryFilesOnSignals();
        Reveriz::Crypto::initialize();
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments << StringConversion::fromCommandLine(argv[i]);
        return EncryptLog::run(arguments, err);
    } catch (const std::bad_alloc&) {
        err << "encryptlog: out of memory\n";
        return 1;
    } catch (const std::exception& e) {
        err << "encryptlog: " << e.what() << '\n';
        return 1;
    }
}
