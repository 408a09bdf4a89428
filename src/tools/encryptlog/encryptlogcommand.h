#ifndef REVERIZ_TOOLS_ENCRYPTLOG_ENCRYPTLOGCOMMAND_H
#define REVERIZ_TOOLS_ENCRYPTLOG_ENCRYPTLOGCOMMAND_H

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace EncryptLog {

/** The usage text, naming the program. */
QString usage(const QString& programName);

/**
 * Writes outputPath as an encrypted log file for the owner of the key file keyFilePath (its public half is
 * enough): a fresh "aes-128-cbc" log-file key wrapped for the owner under "key", and plainPath's bytes in the
 * encrypted data format, in Base64, under "logData". Returns the exit status: 0, or 1 after printing why to err.
 */
int encryptLogFile(const QString& keyFilePath, const QString& plainPath, const QString& outputPath, QTextStream& err);

/** Runs the command line arguments (the program name first) and returns the exit status. */
int run(const QStringList& arguments, QTextStream& err);

} // namespace EncryptLog

#endif
