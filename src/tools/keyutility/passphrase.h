#ifndef REVERIZ_TOOLS_KEYUTILITY_PASSPHRASE_H
#define REVERIZ_TOOLS_KEYUTILITY_PASSPHRASE_H

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

} // namespace KeyUtility

#endif
