#include "keyutilitycommands.h"

namespace KeyUtility {

int show(const QStringList& /*files*/, bool /*json*/, QTextStream& /*out*/, QTextStream& err)
{
    err << "keyutility: show is not available yet\n";
    err.flush();
    return 1;
}

} // namespace KeyUtility
