#include "common/encryption/cryptoinit.h"
#include "keyutilitycommands.h"

#include <QFile>
#include <QStringList>
#include <QTextStream>

#include <cstdio>
#include <exception>

int main(int argc, char* argv[])
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    try {
        Crypto::initialize();
        // Arguments are decoded as file names are, so non-ASCII paths and server UUIDs survive.
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments << QFile::decodeName(argv[i]);
        return KeyUtility::run(arguments, out, err);
    } catch (const std::exception& e) {
        // The commands handle the library's exceptions; this is for the rest, such as exhausted memory.
        err << "keyutility: " << e.what() << '\n';
        return 1;
    }
}
