#ifndef REVERIZ_TOOLS_KEYUTILITY_PASSPHRASE_H
#define REVERIZ_TOOLS_KEYUTILITY_PASSPHRASE_H

#include "common/encryption/reverizrsa.h"

#include <QString>

#include <optional>

namespace KeyUtility {

/**
 * The pass phrase of the protected key file keyFile: the first line of passPhraseFile, without its line feed, or
 * without such a file what the user types at the terminal after "Pass phrase for KEYFILE: ", with echo off.
 * Both are read as UTF-8. nullopt when there is no file and no terminal can be opened. Throws the file utilities'
 * ReverizExceptions when the file cannot be read. A pass phrase never comes from the command line itself.
 */
std::optional<QString> readPassPhrase(const QString& keyFile, const std::optional<QString>& passPhraseFile);

/**
 * Unlocks pair's pass-phrase-protected private key with the pass phrase readPassPhrase gives for keyFile; does
 * nothing for an unprotected key, or when there is no pass phrase (then the key stays locked, and using it fails
 * as it always has). Throws SuppliedWrongPassPhraseException, and what readPassPhrase throws.
 */
void unlockKey(ReverizRSA& pair, const QString& keyFile, const std::optional<QString>& passPhraseFile);

} // namespace KeyUtility

#endif
