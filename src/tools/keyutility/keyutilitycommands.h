#ifndef REVERIZ_TOOLS_KEYUTILITY_KEYUTILITYCOMMANDS_H
#define REVERIZ_TOOLS_KEYUTILITY_KEYUTILITYCOMMANDS_H

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace KeyUtility {

/** The usage text, naming the program twice. */
QString usage(const QString& programName);

/**
 * Runs the command line arguments (the program name first) and returns the exit status. Normal output goes
 * to out, messages to err.
 */
int run(const QStringList& arguments, QTextStream& out, QTextStream& err);

} // namespace KeyUtility

#endif
