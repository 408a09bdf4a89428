// The rewrap command: an encrypted log file's key, unwrapped with one key pair and wrapped for another actor, so
// that the other actor (an auditor, say) can read the log while the log data stays as it is.

#include "common/encryption/cryptoinit.h"
#include "common/encryption/encryptedlogfile.h"
#include "common/encryption/reverizkey.h"
#include "common/encryption/reverizkeyfile.h"
#include "common/exceptions/reverizexception.h"
#include "common/outputpolicy.h"
#include "keyutilitycommands.h"
#include "passphrase.h"
#include "toolerrors.h"

#include <new>
#include <stdexcept>

namespace KeyUtility {

using ToolErrors::describe;
using ToolErrors::fail;

int rewrap(const QString& privateKeyFile, const QString& publicKeyFile, const QString& inputPath,
           const QString& outputPath, const std::optional<QString>& passPhraseFile, QTextStream& err)
{
    QStringList inputs {privateKeyFile, publicKeyFile, inputPath};
    if (passPhraseFile)
        inputs << *passPhraseFile;
    if (const std::optional<QString> input = Reveriz::OutputPolicy::inputAmong(outputPath, inputs))
        return fail(err,
                    QStringLiteral("Could not write outputfile %1: it is the input file %2").arg(outputPath, *input));

    // Without random data no key can be wrapped, nor unwrapped (RSA blinding): say so rather than blame a key.
    std::string reason;
    if (!Reveriz::Crypto::randomSourceWorks(&reason))
        return fail(
            err,
            QStringLiteral("Could not rewrap file: the random source failed: %1").arg(QString::fromStdString(reason)));

    // Everything that can be checked without the private key is, before a pass phrase is asked for.
    QString step = QStringLiteral("read key file ") + privateKeyFile;
    try {
        const std::shared_ptr<ReverizRSA> pair = Reveriz::KeyFile::read(privateKeyFile);
        step = QStringLiteral("read key file ") + publicKeyFile;
        const std::shared_ptr<ReverizRSA> recipient = Reveriz::KeyFile::read(publicKeyFile);
        recipient->checkPublicKey(Reveriz::EncryptedLogFile::MinimumKeyBits);
        step = QStringLiteral("read log file ") + inputPath;
        const Reveriz::EncryptedLogFile::LogFile log = Reveriz::EncryptedLogFile::LogFile::open(inputPath);

        // As decrypt does: a protected key is unlocked with the pass phrase from its file or the terminal, and
        // without either the unwrapping fails for the locked key.
        try {
            unlockKey(*pair, privateKeyFile, passPhraseFile, err);
        } catch (const SuppliedWrongPassPhraseException&) {
            return fail(err, QStringLiteral("Could not rewrap file: wrong pass phrase for %1").arg(privateKeyFile));
        } catch (const ReverizException& e) {
            return fail(err,
                        QStringLiteral("Could not read pass phrase file %1: %2")
                            .arg(passPhraseFile.value_or(QString()), describe(e)));
        }

        step = QStringLiteral("unwrap the key of ") + inputPath;
        const std::shared_ptr<ReverizKey> key = log.unwrapKey(pair);
        step = QStringLiteral("wrap the key for ") + publicKeyFile;
        const QByteArray document = log.rewrapped(*key, recipient);

        // It holds no secret; a file appears only complete.
        QString error;
        if (!Reveriz::OutputPolicy::writePublicFile(outputPath, document, &error))
            return fail(err, QStringLiteral("Could not write outputfile %1: %2").arg(outputPath, error));
        return 0;
    } catch (const ReverizException& e) {
        return fail(err, QStringLiteral("Could not %1: %2").arg(step, describe(e)));
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        return fail(err, QStringLiteral("Could not %1: %2").arg(step, QString::fromLocal8Bit(e.what())));
    }
}

} // namespace KeyUtility
