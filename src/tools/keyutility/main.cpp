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
    } catch (const std::exception& e) {
        err << "keyutility: " << e.what() << '\n';
        return 1;
    }

    // Arguments are decoded as file names are, so non-ASCII paths and server UUIDs survive.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);
    return KeyUtility::run(arguments, out, err);
}
