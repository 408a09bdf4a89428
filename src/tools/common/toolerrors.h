#ifndef REVERIZ_TOOLS_COMMON_TOOLERRORS_H
#define REVERIZ_TOOLS_COMMON_TOOLERRORS_H

#include <QString>
#include <QTextStream>

class ReverizException;

// How the tools report a failure: one line on standard error and the exit status 1.
namespace ToolErrors {

/** Prints message and a line feed to err, flushes it and returns 1, the status of a failed command. */
int fail(QTextStream& err, const QString& message);

/** The exception as the tools print it: its name, then ": " and its message, or the name alone without one. */
QString describe(const ReverizException& e);

} // namespace ToolErrors

#endif
