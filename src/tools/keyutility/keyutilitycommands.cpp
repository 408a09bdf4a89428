#include "keyutilitycommands.h"

#include "common/atomicfile.h"
#include "common/encryption/encryptedlogfile.h"
#include "common/encryption/reverizkey.h"
#include "common/exceptions/reverizexception.h"
#include "common/fileutilities.h"
#include "common/jsontext.h"

#include <QFileInfo>

#include <new>

namespace KeyUtility {

namespace {

const QString PublicKeyFileName = QStringLiteral("protocolkey-public.key");
const QString PrivateKeyFileName = QStringLiteral("protocolkey-private.key");

QString pathIn(const QString& directory, const QString& fileName)
{
    return directory.isEmpty() ? fileName : directory + QLatin1Char('/') + fileName;
}

QByteArray keyFile(const ReverizRSA& pair, bool includePrivateKey)
{
    return QByteArray::fromStdString(JsonText::styled(pair.toJson(includePrivateKey)));
}

int reportWriteFailure(const AtomicFile& file, QTextStream& err)
{
    err << "Could not write key file: " << file.targetPath() << ": " << file.errorString() << '\n';
    err.flush();
    return 1;
}

int reportCreateFailure(const QString& outputPath, QTextStream& err)
{
    err << "Could not create outputfile: " << outputPath << '\n';
    err.flush();
    return 1;
}

int reportDecryptFailure(const QString& message, QTextStream& err)
{
    err << "Could not decrypt file: " << message << '\n';
    err.flush();
    return 1;
}

} // namespace

QString usage(const QString& programName)
{
    return QStringLiteral("USAGE:\n%1 create SERVERUUID\n%1 decrypt privatekey infile\n").arg(programName);
}

int createKey(const QString& serverUUID, QTextStream& err, const QString& directory, const KeyPairFactory& makeKeyPair)
{
    QByteArray privateDocument;
    QByteArray publicDocument;
    try {
        const std::shared_ptr<ReverizRSA> pair = makeKeyPair(ReverizActor(serverUUID, ReverizActor::Protocol));
        privateDocument = keyFile(*pair, true);
        publicDocument = keyFile(*pair, false);
    } catch (const ReverizException& e) {
        err << "Could not generate key: " << e.message() << '\n';
        err.flush();
        return 1;
    }

    // Both files are complete on disk before either replaces its target, and the private key file goes first:
    // should the second rename fail, the private file holds the whole new pair, whereas a public key whose
    // private key was never stored would let others encrypt for a key that nobody has. A failed writer
    // removes its temporary file when it goes out of scope.
    AtomicFile privateFile(pathIn(directory, PrivateKeyFileName));
    AtomicFile publicFile(pathIn(directory, PublicKeyFileName));
    if (!privateFile.open(AtomicFile::Permissions::OwnerOnly) || !privateFile.write(privateDocument))
        return reportWriteFailure(privateFile, err);
    if (!publicFile.open(AtomicFile::Permissions::Public) || !publicFile.write(publicDocument))
        return reportWriteFailure(publicFile, err);
    // Another create in this directory must not rename its files between these two renames, or the two files
    // could hold halves of different pairs. Where the directory cannot be locked (it is not readable, or its file
    // system has no locks) the renames go ahead unserialised.
    const DirectoryLock lock(directory);
    if (!privateFile.commit())
        return reportWriteFailure(privateFile, err);
    if (!publicFile.commit())
        return reportWriteFailure(publicFile, err);
    return 0;
}

int decryptLog(const QString& keyFilePath, const QString& inputPath, QTextStream& err)
{
    const QString outputPath = inputPath + QLatin1String(".decrypted");
    try {
        // The key file is read before the log file and checked after it, so that the failures come in that order.
        Json::Value keyDocument;
        FileUtilities::readJsonValue(keyFilePath, keyDocument, true, ReverizRSA::MaximumKeyFileSize);
        EncryptedLogFile::LogFile logFile = EncryptedLogFile::LogFile::open(inputPath);
        const std::shared_ptr<ReverizRSA> pair = ReverizRSA::fromJson(keyDocument);
        logFile.decryptToFile(*logFile.unwrapKey(pair), outputPath);
        return 0;
    } catch (const FileWriteFailedException&) {
        return reportCreateFailure(outputPath, err);
    } catch (const ReverizException& e) {
        return reportDecryptFailure(e.message(), err);
    } catch (const std::bad_alloc&) {
        throw; // reported by main, as for every command
    } catch (const std::exception& e) {
        // The JSON library's own errors: a member of a type it cannot convert.
        return reportDecryptFailure(QString::fromLocal8Bit(e.what()), err);
    }
}

int run(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    // The argument count decides first, then the command word, compared whole and case-sensitively.
    const qsizetype count = arguments.size() - 1;
    if (count == 2 && arguments.at(1) == QLatin1String("create"))
        return createKey(arguments.at(2), err);
    if (count == 3 && arguments.at(1) == QLatin1String("decrypt"))
        return decryptLog(arguments.at(2), arguments.at(3), err);

    out << usage(arguments.value(0));
    out.flush();
    return 0;
}

} // namespace KeyUtility
