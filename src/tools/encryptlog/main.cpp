#include "common/encryption/cryptoinit.h"
#include "encryptlogcommand.h"

#include <QFile>
#include <QStringList>
#include <QTextStream>

#include <exception>

int main(int argc, char* argv[])
{
    QTextStream err(stderr);
    try {
        Crypto::initialize();
        // Arguments are decoded as file names are, so non-ASCII paths survive.
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments << QFile::decodeName(argv[i]);
        return EncryptLog::run(arguments, err);
    } catch (const std::exception& e) {
        err << "encryptlog: " << e.what() << '\n';
        return 1;
    }
}
