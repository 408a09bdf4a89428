#include "encryptlogcommand.h"

#include "common/encryption/cryptoinit.h"
#include "common/encryption/encryptedlogfile.h"
#include "common/encryption/reverizkeyfile.h"
#include "common/exceptions/reverizexception.h"
#include "common/fileutilities.h"
#include "common/outputpolicy.h"
#include "toolerrors.h"

#include <memory>

namespace EncryptLog {

// Messages name the exception in full: one with a name only keeps its ": ", as this tool has always printed it.
using ToolErrors::fail;

QString usage(const QString& programName)
{
    return QStringLiteral("USAGE:\n%1 PUBLICKEYFILE PLAINFILE OUTFILE\n").arg(programName);
}

int encryptLogFile(const QString& keyFilePath, const QString& plainPath, const QString& outputPath, QTextStream& err)
{
    // Were the output an input, the input would be lost: a private key file replaced by a log encrypted for the
    // very key it held.
    if (const std::optional<QString> input = Reveriz::OutputPolicy::inputAmong(outputPath, {keyFilePath, plainPath}))
        return fail(err,
                    QStringLiteral("Could not write outputfile %1: it is the input file %2").arg(outputPath, *input));

    // Without random data there is no log key nor vector, and the key check fails: say so rather than blame the key.
    std::string reason;
    if (!Reveriz::Crypto::randomSourceWorks(&reason))
        return fail(err,
                    QStringLiteral("Could not encrypt %1: the random source failed: %2")
                        .arg(plainPath, QString::fromStdString(reason)));

    // Each step names what it does, for the message should it fail.
    QString step;
    QByteArray document;
    try {
        step = QStringLiteral("read key file %1").arg(keyFilePath);
        const std::shared_ptr<ReverizRSA> pair = Reveriz::KeyFile::read(keyFilePath);
        pair->checkPublicKey(Reveriz::EncryptedLogFile::MinimumKeyBits);
        step = QStringLiteral("read plain file %1").arg(plainPath);
        QByteArray plain;
        FileUtilities::readByteArray(plainPath, plain, false, Reveriz::EncryptedLogFile::MaximumPlainSize);
        step = QStringLiteral("encrypt %1").arg(plainPath);
        document = Reveriz::EncryptedLogFile::make(pair, plain);
    } catch (const ReverizException& e) {
        return fail(err,
                    QStringLiteral("Could not %1: %2").arg(step, e.errorMessage(ReverizException::FormatWithName)));
    }

    // Like the decrypt command's output: complete or not there, and a failure leaves nothing behind.
    QString error;
    if (!Reveriz::OutputPolicy::writePublicFile(outputPath, document, &error))
        return fail(err, QStringLiteral("Could not write outputfile %1: %2").arg(outputPath, error));
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
