#include "encryptlogcommand.h"

#include "common/atomicfile.h"
#include "common/encryption/reverizkey.h"
#include "common/encryption/reverizrsa.h"
#include "common/exceptions/reverizexception.h"
#include "common/fileutilities.h"
#include "common/jsontext.h"

#include <QFile>

#include <memory>

namespace EncryptLog {

namespace {

// Log files are written as the system writes them: a fresh AES-128 key with a random vector per file.
const QString LogCipher = QStringLiteral("aes-128-cbc");
constexpr unsigned int LogKeyLength = 16;

int fail(QTextStream& err, const QString& message)
{
    err << message << '\n';
    err.flush();
    return 1;
}

QString describe(const ReverizException& e)
{
    return e.errorMessage(ReverizException::FormatWithName);
}

} // namespace

QString usage(const QString& programName)
{
    return QStringLiteral("USAGE:\n%1 PUBLICKEYFILE PLAINFILE OUTFILE\n").arg(programName);
}

int encryptLogFile(const QString& keyFilePath, const QString& plainPath, const QString& outputPath, QTextStream& err)
{
    std::shared_ptr<ReverizRSA> pair;
    try {
        Json::Value keyDocument;
        FileUtilities::readJsonValue(keyFilePath, keyDocument, true);
        pair = ReverizRSA::fromJson(keyDocument);
    } catch (const ReverizException& e) {
        return fail(err, QStringLiteral("Could not read key file %1: %2").arg(keyFilePath, describe(e)));
    }

    QFile plainFile(plainPath);
    if (!plainFile.open(QIODevice::ReadOnly))
        return fail(err, QStringLiteral("Could not read plain file %1: %2").arg(plainPath, plainFile.errorString()));
    const QByteArray plain = plainFile.readAll();
    if (plain.size() != plainFile.size())
        return fail(err, QStringLiteral("Could not read plain file %1: %2").arg(plainPath, plainFile.errorString()));

    Json::Value document(Json::objectValue);
    try {
        const std::shared_ptr<ReverizKey> key = ReverizKey::createLogfileKey(LogCipher, LogKeyLength, false);
        document["key"] = key->toJson(pair);
        document["logData"] = key->encryptData(plain).toBase64().toStdString();
    } catch (const ReverizException& e) {
        return fail(err, QStringLiteral("Could not encrypt %1: %2").arg(plainPath, describe(e)));
    }

    // Like the decrypt command's output: complete or not there, and a failure leaves nothing behind (a companion
    // left by writeJsonValue would hold the whole output).
    AtomicFile output(outputPath);
    if (!output.open() || !output.write(QByteArray::fromStdString(JsonText::compact(document))) || !output.commit())
        return fail(err, QStringLiteral("Could not write outputfile %1: %2").arg(outputPath, output.errorString()));
    return 0;
}

int run(const QStringList& arguments, QTextStream& err)
{
    if (arguments.size() != 4) {
        err << usage(arguments.value(0));
        err.flush();
        return 1;
    }
    return encryptLogFile(arguments.at(1), arguments.at(2), arguments.at(3), err);
}

} // namespace EncryptLog
