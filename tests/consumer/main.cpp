// Wraps a new session key for the key pair of the key file given as argument, unwraps it and compares.
#include "common/encryption/cryptoinit.h"
#include "common/encryption/reverizkey.h"
#include "common/encryption/reverizkeyfile.h"
#include "common/encryption/reverizrsa.h"
#include "common/fileutilities.h"

#include <QFile>

#include <iostream>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::cerr << "usage: app PRIVATEKEYFILE\n";
        return 2;
    }
    try {
        Reveriz::Crypto::initialize();
        const std::shared_ptr<ReverizRSA> pair = Reveriz::KeyFile::read(QFile::decodeName(argv[1]), false);
        const std::shared_ptr<ReverizKey> key = ReverizKey::createSessionKey(QStringLiteral("aes-128-cbc"), 16, false);
        const std::shared_ptr<ReverizKey> unwrapped = ReverizKey::fromJson(pair, key->toJson(pair));
        if (*unwrapped != *key) {
            std::cerr << "the unwrapped key differs from the wrapped one\n";
            return 1;
        }
        std::cout << "wrapped and unwrapped a session key for " << pair->publicKeyFingerPrint().toStdString() << '\n';
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "failed: " << e.what() << '\n';
        return 1;
    }
}
