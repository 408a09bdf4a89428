#include "keyutilitycommands.h"

#include "common/encryption/cryptoinit.h"
#include "common/encryption/reverizkeyfile.h"
#include "common/exceptions/reverizexception.h"

#include <QHash>
#include <QIODevice>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace KeyUtility {

namespace {

const QString PublicKeyFileName = QStringLiteral("protocolkey-public.key");
const QString PrivateKeyFileName = QStringLiteral("protocolkey-private.key");

QString pathIn(const QString& directory, const QString& fileName)
{
    return directory.isEmpty() ? fileName : directory + QLatin1Char('/') + fileName;
}

int reportWriteFailure(const Reveriz::KeyFile::WriteFailure& failure, QTextStream& err)
{
    using Left = Reveriz::KeyFile::WriteFailure::Left;
    err << "Could not write key file: " << failure.path << ": " << failure.error << '\n';
    if (failure.left == Left::MixedPair)
        err << "keyutility: the key pair is mixed: " << failure.restoreError << '\n';
    else if (failure.left == Left::UnsyncedNewPair)
        err << "keyutility: the new key pair is in place, but might not survive a system crash\n";
    err.flush();
    return 1;
}

} // namespace

QString usage(const QString& programName)
{
    // The first three lines are those of the original two forms, which scripts may know.
    return QStringLiteral("USAGE:\n%1 create SERVERUUID\n%1 decrypt privatekey infile\n"
                          "%1 decrypt [-o OUTFILE | -o -] [-j JOBS] [--passphrase-file FILE] PRIVATEKEY INFILE...\n"
                          "%1 show [--json] FILE...\n"
                          "%1 rewrap [--passphrase-file FILE] PRIVATEKEY PUBLICKEY INFILE OUTFILE\n"
                          "%1 help | --help | -h\n"
                          "%1 --version\n")
        .arg(programName);
}

QString help(const QString& programName)
{
    return usage(programName) + QStringLiteral(R"(
create SERVERUUID
    Writes a new 4096-bit key pair of the server's protocol service into the current directory:
    protocolkey-private.key (mode 0600) and protocolkey-public.key.
decrypt PRIVATEKEY INFILE...
    Decrypts each encrypted log file with the private key of the key file PRIVATEKEY into INFILE.decrypted.
    -o OUTFILE              write the one INFILE's plain log to OUTFILE instead
    -o -                    write the plain logs to standard output, one after the other, each only once it
                            is known to be sound
    -j JOBS                 decrypt up to JOBS logs at once (default: the number of online processors)
    --passphrase-file FILE  the first line of FILE is the pass phrase of a protected key file; without it
                            the terminal is asked
show [--json] FILE...
    Tells what each key file or encrypted log file is, without using a private key: "name: value" lines,
    or one JSON array with --json.
rewrap PRIVATEKEY PUBLICKEY INFILE OUTFILE
    Writes OUTFILE: the log file INFILE with its key unwrapped with PRIVATEKEY and wrapped for the owner of
    the key file PUBLICKEY; the log data stays as it is.
help, --help, -h
    This text.
--version
    The version.
)");
}

int createKey(const QString& serverUUID, QTextStream& err, const QString& directory, const KeyPairFactory& makeKeyPair)
{
    // The refusals of a target come first: a key file is never written in place, as the two files are replaced
    // as a pair, and a device or FIFO cannot hold a key.
    const QString privatePath = pathIn(directory, PrivateKeyFileName);
    const QString publicPath = pathIn(directory, PublicKeyFileName);
    if (const std::optional<Reveriz::KeyFile::WriteFailure> refused =
            Reveriz::KeyFile::refusedTarget(privatePath, publicPath))
        return reportWriteFailure(*refused, err);

    std::string reason;
    if (!Reveriz::Crypto::randomSourceWorks(&reason)) {
        err << "Could not generate key: the random source failed: " << QString::fromStdString(reason) << '\n';
        err.flush();
        return 1;
    }
    std::shared_ptr<ReverizRSA> pair;
    try {
        pair = makeKeyPair(ReverizActor(serverUUID, ReverizActor::Protocol));
    } catch (const ReverizException& e) {
        err << "Could not generate key: " << e.message() << '\n';
        err.flush();
        return 1;
    }
    if (const std::optional<Reveriz::KeyFile::WriteFailure> failure =
            Reveriz::KeyFile::writePair(*pair, privatePath, publicPath))
        return reportWriteFailure(*failure, err);
    return 0;
}

namespace {

// A command line that is none of the forms: the usage text on standard output, and success, as ever.
int printUsage(const QString& programName, QTextStream& out)
{
    out << usage(programName);
    out.flush();
    return 0;
}

// A command line that uses an option of the newer forms wrongly: a message, the usage text, status 2.
int misuse(const QString& programName, const QString& problem, QTextStream& err)
{
    err << "keyutility: " << problem << '\n' << usage(programName);
    err.flush();
    return 2;
}

// The words of a command after its name: options first (each in flags, or in valued with the next word as its
// value), up to "--" or the first other word; the rest are its operands.
struct Words
{
    QStringList operands;
    QHash<QString, QString> values;
    QSet<QString> flags;
    bool usesOptions = false;
    QString problem;
};

Words parseWords(const QStringList& words, const QStringList& valued, const QStringList& flags)
{
    Words parsed;
    qsizetype i = 0;
    while (i < words.size()) {
        const QString& word = words.at(i);
        if (word == QLatin1String("--")) {
            parsed.usesOptions = true;
            ++i;
            break;
        }
        if (!word.startsWith(QLatin1Char('-')) || word == QLatin1String("-"))
            break;
        parsed.usesOptions = true;
        // The last of two would win silently, though the first may be the one meant.
        if (parsed.flags.contains(word) || parsed.values.contains(word)) {
            parsed.problem = QStringLiteral("option %1 given twice").arg(word);
            return parsed;
        }
        if (flags.contains(word)) {
            parsed.flags.insert(word);
            ++i;
        } else if (valued.contains(word)) {
            if (i + 1 >= words.size()) {
                parsed.problem = QStringLiteral("option %1 needs a value").arg(word);
                return parsed;
            }
            parsed.values.insert(word, words.at(i + 1));
            i += 2;
        } else {
            parsed.problem = QStringLiteral("unknown option %1").arg(word);
            return parsed;
        }
    }
    parsed.operands = words.mid(i);
    return parsed;
}

std::optional<QString> valueOf(const Words& words, const char* option)
{
    const auto found = words.values.constFind(QLatin1String(option));
    return found == words.values.cend() ? std::nullopt : std::optional<QString>(*found);
}

int runDecrypt(const QString& program, const QStringList& words, QTextStream& out, QTextStream& err)
{
    // Two words are the original form, whatever they look like: "decrypt -o x" decrypts x with the key file "-o".
    if (words.size() == 2)
        return decryptLog(words.at(0), words.at(1), err);
    const Words parsed =
        parseWords(words, {QStringLiteral("-o"), QStringLiteral("-j"), QStringLiteral("--passphrase-file")}, {});
    if (!parsed.problem.isEmpty())
        return misuse(program, parsed.problem, err);
    if (parsed.operands.size() < 2) {
        return parsed.usesOptions ? misuse(program, QStringLiteral("decrypt needs PRIVATEKEY and INFILE"), err)
                                  : printUsage(program, out);
    }
    DecryptRequest request;
    request.keyFile = parsed.operands.at(0);
    request.inputs = parsed.operands.mid(1);
    request.output = valueOf(parsed, "-o");
    request.passPhraseFile = valueOf(parsed, "--passphrase-file");
    if (request.output && *request.output != QLatin1String("-") && request.inputs.size() > 1)
        return misuse(program, QStringLiteral("-o OUTFILE takes one INFILE"), err);
    if (const std::optional<QString> jobs = valueOf(parsed, "-j")) {
        // Digits only: toInt would also take a sign and surrounding white space.
        const bool digits = !jobs->isEmpty()
            && std::all_of(jobs->cbegin(), jobs->cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
        bool isNumber = false;
        request.jobs = digits ? jobs->toInt(&isNumber) : 0;
        if (!isNumber || request.jobs <= 0)
            return misuse(program, QStringLiteral("JOBS must be a positive number: %1").arg(*jobs), err);
    }
    return decryptLogs(request, err);
}

int runShow(const QString& program, const QStringList& words, QTextStream& out, QTextStream& err)
{
    const Words parsed = parseWords(words, {}, {QStringLiteral("--json")});
    if (!parsed.problem.isEmpty())
        return misuse(program, parsed.problem, err);
    if (parsed.operands.isEmpty()) {
        return parsed.usesOptions ? misuse(program, QStringLiteral("show needs a FILE"), err)
                                  : printUsage(program, out);
    }
    return show(parsed.operands, parsed.flags.contains(QStringLiteral("--json")), out, err);
}

int runRewrap(const QString& program, const QStringList& words, QTextStream& out, QTextStream& err)
{
    const Words parsed = parseWords(words, {QStringLiteral("--passphrase-file")}, {});
    if (!parsed.problem.isEmpty())
        return misuse(program, parsed.problem, err);
    if (parsed.operands.size() != 4) {
        return parsed.usesOptions
            ? misuse(program, QStringLiteral("rewrap needs PRIVATEKEY PUBLICKEY INFILE OUTFILE"), err)
            : printUsage(program, out);
    }
    const QStringList& files = parsed.operands;
    return rewrap(files.at(0), files.at(1), files.at(2), files.at(3), valueOf(parsed, "--passphrase-file"), err);
}

// Lost output is a failure: standard output that could not be written or flushed makes the status 1. A reader that
// closed the pipe ends it quietly, as it does for "decrypt -o -".
int withOutputChecked(int status, QTextStream& out, QTextStream& err)
{
    out.flush();
    if (out.status() == QTextStream::Ok)
        return status;
    const QString reason = out.device() ? out.device()->errorString() : QString();
    if (reason != QString::fromLocal8Bit(std::strerror(EPIPE))) {
        err << "keyutility: write error: " << reason << '\n';
        err.flush();
    }
    return 1;
}

int dispatch(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    // The command word is compared whole and case-sensitively; then each form checks its own words.
    const QString program = arguments.value(0);
    const QString command = arguments.value(1);
    const QStringList words = arguments.mid(2);
    if (command == QLatin1String("create") && words.size() == 1)
        return createKey(words.at(0), err);
    if (command == QLatin1String("decrypt"))
        return runDecrypt(program, words, out, err);
    if (command == QLatin1String("show"))
        return runShow(program, words, out, err);
    if (command == QLatin1String("rewrap"))
        return runRewrap(program, words, out, err);
    if (words.isEmpty()
        && (command == QLatin1String("help") || command == QLatin1String("--help") || command == QLatin1String("-h"))) {
        out << help(program);
        out.flush();
        return 0;
    }
    if (words.isEmpty() && command == QLatin1String("--version")) {
        out << "keyutility " << REVERIZ_VERSION << '\n';
        out.flush();
        return 0;
    }
    return printUsage(program, out);
}

} // namespace

int run(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    return withOutputChecked(dispatch(arguments, out, err), out, err);
}

} // namespace KeyUtility
