#ifndef REVERIZ_TOOLS_KEYUTILITY_KEYUTILITYCOMMANDS_H
#define REVERIZ_TOOLS_KEYUTILITY_KEYUTILITYCOMMANDS_H

#include "common/encryption/reverizactor.h"
#include "common/encryption/reverizrsa.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <memory>
#include <optional>

namespace KeyUtility {

/** The usage text: the three lines of the original forms, then the newer forms, naming the program each time. */
QString usage(const QString& programName);

/** The full help: the usage text, then what each form and option does. */
QString help(const QString& programName);

/** Makes the key pair of the create command for its owner; ReverizRSA::create on the command line. */
using KeyPairFactory = std::function<std::shared_ptr<ReverizRSA>(const ReverizActor& owner)>;

/**
 * The create command: makes a key pair for the protocol actor of serverUUID (any text, not validated) and
 * writes "protocolkey-private.key" (mode 0600) and "protocolkey-public.key" into directory (empty: the current
 * one). Both are written completely before either replaces an existing file. Returns the exit status: 0, or
 * 1 after printing why to err.
 */
int createKey(const QString& serverUUID, QTextStream& err, const QString& directory = QString(),
              const KeyPairFactory& makeKeyPair = &ReverizRSA::create);

/** What a decrypt command line asks for. */
struct DecryptRequest
{
    QString keyFile;
    QStringList inputs;
    /** Where the plain logs go: each INFILE + ".decrypted" when unset, standard output for "-", else one file. */
    std::optional<QString> output;
    /** How many logs are decrypted at once; 0 for the number of online processors. */
    int jobs = 0;
    /** The file whose first line is the key file's pass phrase; without it, the terminal is asked, if any. */
    std::optional<QString> passPhraseFile;
};

/**
 * The decrypt command: unwraps the key of each encrypted log file with the private key of the key file, which is
 * read once, and writes the plain log where request.output says. The output of each log appears only complete:
 * a file replaces an existing one only when whole, and standard output gets no byte of a log that fails. A
 * failure with one log does not stop the others; with several, each message names the log, and a key file that
 * holds no key pair fails them all in one message before any is read. Returns 0, or 1 after printing why to err.
 */
int decryptLogs(const DecryptRequest& request, QTextStream& err);

/** decryptLogs of one log file into inputPath + ".decrypted": the original form of the command. */
int decryptLog(const QString& keyFilePath, const QString& inputPath, QTextStream& err);

/**
 * The show command: recognises each file as a key file or an encrypted log file and prints what it is, as
 * "name: value" blocks or, with json, one JSON array. Uses no private key and no pass phrase, and changes no file:
 * a file that is missing while its ".tempreplace" companion exists is shown from the companion, left where it is.
 * In text (and in the messages on err), names and texts from the files are printed with backslashes, control,
 * format and separator characters and bytes that are not UTF-8 in C escapes (\\, \n, \xHH). Returns 0, or 1
 * when a file could not be shown (after printing why to err; the others are still shown).
 */
int show(const QStringList& files, bool json, QTextStream& out, QTextStream& err);

/**
 * The rewrap command: unwraps the log file's key with the private key of privateKeyFile and writes outputPath,
 * the same log with the key wrapped for the owner of publicKeyFile. Returns 0, or 1 after printing why to err.
 */
int rewrap(const QString& privateKeyFile, const QString& publicKeyFile, const QString& inputPath,
           const QString& outputPath, const std::optional<QString>& passPhraseFile, QTextStream& err);

/**
 * Runs the command line arguments (the program name first) and returns the exit status: 0 and the usage text on
 * out for a command line of no known form that uses none of the options, 2 and a message with the usage text on
 * err for one that uses an option wrongly. Normal output goes to out, messages to err; plain logs that
 * decrypt writes to standard output go to file descriptor 1. Output that out cannot take makes the status 1, with
 * "keyutility: write error: REASON" on err unless the reader closed the pipe.
 */
int run(const QStringList& arguments, QTextStream& out, QTextStream& err);

} // namespace KeyUtility

#endif
