#include "keyutilitycommands.h"

namespace KeyUtility {

QString usage(const QString& programName)
{
    return QStringLiteral("USAGE:\n%1 create SERVERUUID\n%1 decrypt privatekey infile\n").arg(programName);
}

int run(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    Q_UNUSED(err);
    out << usage(arguments.value(0));
    out.flush();
    return 0;
}

} // namespace KeyUtility
