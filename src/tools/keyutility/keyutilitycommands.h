#ifndef REVERIZ_TOOLS_KEYUTILITY_KEYUTILITYCOMMANDS_H
#define REVERIZ_TOOLS_KEYUTILITY_KEYUTILITYCOMMANDS_H

#include "common/encryption/reverizactor.h"
#include "common/encryption/reverizrsa.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <memory>

namespace KeyUtility {

/** The usage text, naming the program twice. */
QString usage(const QString& programName);

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

/**
 * The decrypt command: unwraps the key of the encrypted log file inputPath with the private key of the key file
 * keyFilePath, decrypts its "logData" and writes the plain bytes to inputPath + ".decrypted". The output
 * appears only complete: an existing one is kept on failure and nothing is left behind. Returns the exit
 * status: 0, or 1 after printing why to err.
 */
int decryptLog(const QString& keyFilePath, const QString& inputPath, QTextStream& err);

/**
 * Runs the command line arguments (the program name first) and returns the exit status. Normal output goes
 * to out, messages to err.
 */
int run(const QStringList& arguments, QTextStream& out, QTextStream& err);

} // namespace KeyUtility

#endif
