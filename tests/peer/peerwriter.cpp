// Writes what the peer test reads back with the openssl tool alone:
//
//   peerwriter KEYFILE VALUE SOURCE DIRECTORY
//
// With the key pair of KEYFILE (its private half, for signing) and the JSON document in VALUE it writes
// DIRECTORY/envelope.json (the value encrypted for the pair's owner) and DIRECTORY/signed.json (the value signed by
// the pair). For an "aes-128-cbc" key with a random vector and a "bf-cbc" package key with the fixed vector, both
// written in their plain form to DIRECTORY/key-aes.json and DIRECTORY/key-bf.json, it encrypts the blocks of SOURCE
// at every 4 MiB, compressed and not, and writes each block's description to
// DIRECTORY/block-KEY-compressed|stored-OFFSET.json and its data to its block file DIRECTORY/BLOCKID.

#include "common/encryption/cryptoinit.h"
#include "common/encryption/reverizkey.h"
#include "common/encryption/reverizkeyfile.h"
#include "common/encryption/reverizpackageblock.h"
#include "common/encryption/reverizrsa.h"
#include "common/exceptions/reverizexception.h"
#include "common/fileutilities.h"
#include "common/internal/jsontext.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <exception>

using namespace Reveriz::Internal;

namespace {

constexpr qint64 blockSourceSize = 4194304;

void writeJson(const QString& path, const Json::Value& value)
{
    FileUtilities::writeByteArray(path, QByteArray::fromStdString(JsonText::compact(value)), false);
}

void writeBlocks(const ReverizKey& key, const QString& name, const QString& source, const QString& directory)
{
    const qint64 size = QFileInfo(source).size();
    for (qint64 offset = 0; offset < size; offset += blockSourceSize) {
        for (const bool compress : {true, false}) {
            ReverizPackageBlock block(offset, static_cast<int>(qMin(blockSourceSize, size - offset)));
            bool keepCompressing = false;
            key.encryptBlock(&block, source, compress, &keepCompressing);
            const QString kind = compress ? QStringLiteral("compressed") : QStringLiteral("stored");
            writeJson(QStringLiteral("%1/block-%2-%3-%4.json").arg(directory, name, kind).arg(offset), block.toJson());
            ReverizPackageBlock::fromJson(block.toJson(), directory)->writeDataToFile(block.payload());
        }
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 5) {
        (void)std::fprintf(stderr, "usage: %s KEYFILE VALUE SOURCE DIRECTORY\n", argv[0]);
        return 2;
    }
    const QString keyFile = QFile::decodeName(argv[1]);
    const QString valueFile = QFile::decodeName(argv[2]);
    const QString source = QFile::decodeName(argv[3]);
    const QString directory = QFile::decodeName(argv[4]);
    try {
        Reveriz::Crypto::initialize();
        const std::shared_ptr<ReverizRSA> pair = Reveriz::KeyFile::read(keyFile, false);
        Json::Value value;
        FileUtilities::readJsonValue(valueFile, value, false);

        writeJson(directory + QStringLiteral("/envelope.json"), pair->encrypt(value));
        writeJson(directory + QStringLiteral("/signed.json"), pair->sign(value));

        const auto aes = ReverizKey::createSessionKey(QStringLiteral("aes-128-cbc"), 16, false);
        const auto blowfish = ReverizKey::createPackageKey(QStringLiteral("6fa459ea-ee8a-3ca4-894e-db77e160355e"),
                                                           QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e"),
                                                           QStringLiteral("bf-cbc"), 1024, true);
        writeJson(directory + QStringLiteral("/key-aes.json"), aes->toJson());
        writeJson(directory + QStringLiteral("/key-bf.json"), blowfish->toJson());
        writeBlocks(*aes, QStringLiteral("aes"), source, directory);
        writeBlocks(*blowfish, QStringLiteral("bf"), source, directory);
    } catch (const ReverizException& e) {
        (void)std::fprintf(stderr, "peerwriter: %s\n", qPrintable(e.errorMessage(ReverizException::FormatWithName)));
        return 1;
    } catch (const std::exception& e) {
        (void)std::fprintf(stderr, "peerwriter: %s\n", e.what());
        return 1;
    }
    return 0;
}
