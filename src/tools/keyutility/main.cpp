#include "keyutilitycommands.h"
#include "toolmain.h"

#include <QStringList>
#include <QTextStream>

#include <csignal>

int main(int argc, char* argv[])
{
    return ToolMain::run(argc, argv, "keyutility",
                         [](const QStringList& arguments, QTextStream& out, QTextStream& err) {
                             // A reader that closes the pipe of "decrypt -o -" ends the command quietly through EPIPE,
                             // not a signal.
                             (void)std::signal(SIGPIPE, SIG_IGN);
                             return KeyUtility::run(arguments, out, err);
                         });
}
