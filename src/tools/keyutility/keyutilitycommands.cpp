#include "keyutilitycommands.h"

#include "commandtable.h"
#include "common/encryption/cryptoinit.h"
#include "common/exceptions/reverizexception.h"
#include "common/fileutilities.h"
#include "common/internal/atomicfile.h"
#include "common/securebytes.h"

#include <QHash>
#include <QIODevice>

#include <algorithm>
#include <cerrno>
#include <cstring>

using namespace Reveriz::Internal;

namespace KeyUtility {

namespace {

const QString PublicKeyFileName = QStringLiteral("protocolkey-public.key");
const QString PrivateKeyFileName = QStringLiteral("protocolkey-private.key");

QString pathIn(const QString& directory, const QString& fileName)
{
    return directory.isEmpty() ? fileName : directory + QLatin1Char('/') + fileName;
}

// The text of a key file; the private one is wiped once written.
Reveriz::SecureBytes keyFile(const ReverizRSA& pair, bool includePrivateKey)
{
    Json::Value document = pair.toJson(includePrivateKey);
    const Reveriz::WipeGuard wipeDocument(document);
    std::string text = Reveriz::styledJsonText(document);
    return Reveriz::SecureBytes::takeFrom(text);
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
    return QString::fromStdString(CommandTable::usageTemplate()).arg(programName);
}

QString help(const QString& programName)
{
    return usage(programName) + QString::fromStdString(CommandTable::helpBody());
}

int createKey(const QString& serverUUID, QTextStream& err, const QString& directory, const KeyPairFactory& makeKeyPair)
{
    // The output policy's refusals come first. A key file is never written in place either: the two files are
    // replaced as a pair, and a device or FIFO cannot hold a key.
    for (const QString& name : {PrivateKeyFileName, PublicKeyFileName}) {
        const QString path = pathIn(directory, name);
        QString error;
        const std::optional<OutputFile::Placement> placement = OutputFile::placementOf(path, &error);
        if (placement != OutputFile::Placement::Replaced) {
            err << "Could not write key file: " << path << ": "
                << (placement ? QStringLiteral("cannot replace %1: not a regular file").arg(path) : error) << '\n';
            err.flush();
            return 1;
        }
    }

    std::string reason;
    if (!Reveriz::Crypto::randomSourceWorks(&reason)) {
        err << "Could not generate key: the random source failed: " << QString::fromStdString(reason) << '\n';
        err.flush();
        return 1;
    }
    Reveriz::SecureBytes privateDocument;
    Reveriz::SecureBytes publicDocument;
    try {
        const std::shared_ptr<ReverizRSA> pair = makeKeyPair(ReverizActor(serverUUID, ReverizActor::Protocol));
        privateDocument = keyFile(*pair, true);
        publicDocument = keyFile(*pair, false);
    } catch (const ReverizException& e) {
        err << "Could not generate key: " << e.message() << '\n';
        err.flush();
        return 1;
    }

    // Both files are complete on disk (written, synced, moded and closed) before either replaces its target, and
    // the private key file goes first. Until both are renamed, each earlier file is kept under a second name: a
    // failure in between puts the earlier pair back, for two halves of different pairs would lose the earlier
    // private key while its public half stays in use. A failed writer removes its temporary file when it goes
    // out of scope.
    AtomicFile privateFile(pathIn(directory, PrivateKeyFileName));
    AtomicFile publicFile(pathIn(directory, PublicKeyFileName));
    if (!privateFile.open(AtomicFile::Permissions::OwnerOnly)
        || !privateFile.write(privateDocument.data(), privateDocument.size()))
        return reportWriteFailure(privateFile, err);
    if (!publicFile.open(AtomicFile::Permissions::Public)
        || !publicFile.write(publicDocument.data(), publicDocument.size()))
        return reportWriteFailure(publicFile, err);
    if (!privateFile.finish())
        return reportWriteFailure(privateFile, err);
    if (!publicFile.finish())
        return reportWriteFailure(publicFile, err);
    // Another create in this directory must not rename its files between these two renames, or the two files
    // could hold halves of different pairs. Where the directory cannot be locked (it is not readable, or its file
    // system has no locks) the renames go ahead unserialised.
    const DirectoryLock lock(directory);
    if (!privateFile.keepEarlier())
        return reportWriteFailure(privateFile, err);
    if (!publicFile.keepEarlier())
        return reportWriteFailure(publicFile, err);
    {
        // An interruption between the renames would leave halves of two pairs: it waits until they are done.
        const DeferredCleanupSignals deferred;
        // The files are synced already; the directory is synced once, after both renames.
        if (!privateFile.commit(AtomicFile::Durability::Unsynced))
            return reportWriteFailure(privateFile, err);
        if (!publicFile.commit(AtomicFile::Durability::Unsynced)) {
            (void)reportWriteFailure(publicFile, err);
            if (!privateFile.restoreEarlier())
                err << "keyutility: the key pair is mixed: " << privateFile.errorString() << '\n';
            err.flush();
            return 1;
        }
    }
    QString error;
    if (!AtomicFile::syncDirectoryOf(publicFile.targetPath(), &error)) {
        err << "Could not write key file: " << publicFile.targetPath() << ": " << error << '\n'
            << "keyutility: the new key pair is in place, but might not survive a system crash\n";
        err.flush();
        return 1;
    }
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

// The words of a command after its name, taken apart by its form. A form with options reads them first (with the
// next word as the value of one that takes a value), up to "--" or the first other word; the rest are operands.
struct Words
{
    QStringList operands;
    /** The options given, each with its value (empty for one that takes none). */
    QHash<QString, QString> options;
    bool usesOptions = false;
    /** Whether the words are of the form; without a problem, a command line of no form gets the usage text. */
    bool ofForm = false;
    /** Why an option was used wrongly. */
    QString problem;
};

Words parseWords(const CommandTable::Form& form, const QStringList& words)
{
    using CommandTable::Value;
    Words parsed;
    qsizetype i = 0;
    while (form.parsing == CommandTable::Parsing::OptionsFirst && i < words.size()) {
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
        if (parsed.options.contains(word)) {
            parsed.problem = QStringLiteral("option %1 given twice").arg(word);
            return parsed;
        }
        const auto option =
            std::find_if(form.options.cbegin(), form.options.cend(),
                         [&word](const CommandTable::Option& o) { return word == QLatin1String(o.name); });
        if (option == form.options.cend()) {
            parsed.problem = QStringLiteral("unknown option %1").arg(word);
            return parsed;
        }
        if (option->value == Value::None) {
            parsed.options.insert(word, QString());
            ++i;
        } else if (i + 1 >= words.size()) {
            parsed.problem = QStringLiteral("option %1 needs a value").arg(word);
            return parsed;
        } else {
            parsed.options.insert(word, words.at(i + 1));
            i += 2;
        }
    }
    parsed.operands = words.mid(i);

    const auto needed = static_cast<qsizetype>(form.operands.size());
    const bool repeats = !form.operands.empty() && form.operands.back().repeated;
    if (parsed.operands.size() < needed || (!repeats && parsed.operands.size() != needed)) {
        if (parsed.usesOptions)
            parsed.problem = QString::fromUtf8(form.operandsProblem);
        return parsed;
    }
    // The values, in the table's order: an output file holds one log, and a count is digits only (toInt would
    // also take a sign and surrounding white space).
    for (const CommandTable::Option& option : form.options) {
        const auto given = parsed.options.constFind(QLatin1String(option.name));
        if (given == parsed.options.cend())
            continue;
        const QString& value = *given;
        if (option.value == Value::FileOrStandardOutput && value != QLatin1String("-") && repeats
            && parsed.operands.size() > needed) {
            parsed.problem = QStringLiteral("%1 %2 takes one %3")
                                 .arg(QLatin1String(option.name), QLatin1String(option.valueName),
                                      QLatin1String(form.operands.back().name));
            return parsed;
        }
        if (option.value == Value::Count) {
            const bool digits = !value.isEmpty()
                && std::all_of(value.cbegin(), value.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
            bool isNumber = false;
            if (!digits || value.toInt(&isNumber) <= 0 || !isNumber) {
                parsed.problem =
                    QStringLiteral("%1 must be a positive number: %2").arg(QLatin1String(option.valueName), value);
                return parsed;
            }
        }
    }
    parsed.ofForm = true;
    return parsed;
}

std::optional<QString> valueOf(const Words& words, const char* option)
{
    const auto found = words.options.constFind(QLatin1String(option));
    return found == words.options.cend() ? std::nullopt : std::optional<QString>(*found);
}

int perform(const QString& program, CommandTable::Action action, const Words& words, QTextStream& out, QTextStream& err)
{
    using CommandTable::Action;
    const QStringList& operands = words.operands;
    switch (action) {
    case Action::Create:
        return createKey(operands.at(0), err);
    case Action::DecryptOne:
        return decryptLog(operands.at(0), operands.at(1), err);
    case Action::Decrypt: {
        DecryptRequest request;
        request.keyFile = operands.at(0);
        request.inputs = operands.mid(1);
        request.output = valueOf(words, "-o");
        request.passPhraseFile = valueOf(words, "--passphrase-file");
        request.jobs = valueOf(words, "-j").value_or(QString()).toInt();
        return decryptLogs(request, err);
    }
    case Action::Show:
        return show(operands, valueOf(words, "--json").has_value(), out, err);
    case Action::Rewrap:
        return rewrap(operands.at(0), operands.at(1), operands.at(2), operands.at(3),
                      valueOf(words, "--passphrase-file"), err);
    case Action::Help:
        out << help(program);
        out.flush();
        return 0;
    case Action::Version:
        out << "keyutility " << REVERIZ_VERSION << '\n';
        out.flush();
        return 0;
    }
    return printUsage(program, out);
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
    // The command word is compared whole and case-sensitively; then each form of it checks its own words.
    const QString program = arguments.value(0);
    const QString command = arguments.value(1);
    const QStringList words = arguments.mid(2);
    for (const CommandTable::Form& form : CommandTable::forms()) {
        if (std::none_of(form.names.cbegin(), form.names.cend(),
                         [&command](const char* name) { return command == QLatin1String(name); }))
            continue;
        const Words parsed = parseWords(form, words);
        if (!parsed.problem.isEmpty())
            return misuse(program, parsed.problem, err);
        if (parsed.ofForm)
            return perform(program, form.action, parsed, out, err);
    }
    return printUsage(program, out);
}

} // namespace

int run(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    return withOutputChecked(dispatch(arguments, out, err), out, err);
}

} // namespace KeyUtility
