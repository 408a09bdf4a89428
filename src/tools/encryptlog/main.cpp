#include "encryptlogcommand.h"
#include "toolmain.h"

#include <QStringList>
#include <QTextStream>

int main(int argc, char* argv[])
{
    return ToolMain::run(argc, argv, "encryptlog",
                         [](const QStringList& arguments, QTextStream& /*out*/, QTextStream& err) {
                             return EncryptLog::run(arguments, err);
                         });
}
