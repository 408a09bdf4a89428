#ifndef REVERIZ_TOOLS_KEYUTILITY_PASSPHRASE_H
#define REVERIZ_TOOLS_KEYUTILITY_PASSPHRASE_H

#include "common/encryption/reverizrsa.h"
#include "common/securebytes.h"

#include <QString>
#include <QTextStream>

#include <optional>

namespace KeyUtility {

/**
 * The pass phrase of the protected key file keyFile, as UTF-8 bytes: the first line of passPhraseFile, without
 * its line feed, or without such a file what the user types at the terminal after "Pass phrase for KEYFILE: ",
 * with echo off (also after the prompt was stopped and continued, which shows it again). nullopt when there is no
 * file and no terminal can be opened. A pass phrase file that group or others can read gets a warning on err.
 * Throws the file utilities' ReverizExceptions when the file cannot be read. A pass phrase never comes from the
 * command line itself.
 */
std::optional<Reveriz::SecureBytes> readPassPhrase(const QString& keyFile, const std::optional<QString>& passPhraseFile,
                                                   QTextStream& err);

/**
 * Unlocks pair's pass-phrase-protected private key with the pass phrase readPassPhrase gives for keyFile; does
 * nothing for an unprotected key, or when there is no pass phrase (then the key stays locked, and using it fails
 * as it always has). A pass phrase with characters outside Latin-1, which the protected form counts as "?", gets
 * a warning on err. Throws SuppliedWrongPassPhraseException, and what readPassPhrase throws.
 */
void unlockKey(ReverizRSA& pair, const QString& keyFile, const std::optional<QString>& passPhraseFile,
               QTextStream& err);

} // namespace KeyUtility

#endif
