#include "keyutilitycommands.h"

#include "common/atomicfile.h"
#include "common/exceptions/reverizexception.h"
#include "common/jsontext.h"

namespace KeyUtility {

namespace {

const QString PublicKeyFileName = QStringLiteral("protocolkey-public.key");
const QString PrivateKeyFileName = QStringLiteral("protocolkey-private.key");
constexpr mode_t PrivateKeyFileMode = 0600;

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
    if (!privateFile.open(PrivateKeyFileMode) || !privateFile.write(privateDocument))
        return reportWriteFailure(privateFile, err);
    if (!publicFile.open() || !publicFile.write(publicDocument))
        return reportWriteFailure(publicFile, err);
    if (!privateFile.commit())
        return reportWriteFailure(privateFile, err);
    if (!publicFile.commit())
        return reportWriteFailure(publicFile, err);
    return 0;
}

int run(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    // The argument count decides first, then the command word, compared whole and case-sensitively.
    const qsizetype count = arguments.size() - 1;
    if (count == 2 && arguments.at(1) == QLatin1String("create"))
        return createKey(arguments.at(2), err);
    // "decrypt privatekey infile" (count 3) prints the usage text until the decrypt command exists.

    out << usage(arguments.value(0));
    out.flush();
    return 0;
}

} // namespace KeyUtility
