#ifndef REVERIZ_TOOLS_COMMON_TOOLMAIN_H
#define REVERIZ_TOOLS_COMMON_TOOLMAIN_H

#include <QStringList>

class QTextStream;

namespace ToolMain {

/** A tool's command: the program's arguments (its name first), its output and error streams; returns the status. */
using Command = int (*)(const QStringList& arguments, QTextStream& out, QTextStream& err);

/**
 * Runs command as a tool's main function: protects the process's secrets, removes temporary files on signals,
 * initialises the crypto, and fails a run that leaves a temporary file behind. An exception that escapes the
 * command ends the run with status 1 and a line on the standard error that begins with name.
 */
int run(int argc, char* argv[], const char* name, Command command);

} // namespace ToolMain

#endif
