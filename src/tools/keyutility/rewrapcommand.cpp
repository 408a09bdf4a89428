#include "keyutilitycommands.h"

namespace KeyUtility {

int rewrap(const QString& /*privateKeyFile*/, const QString& /*publicKeyFile*/, const QString& /*inputPath*/,
           const QString& /*outputPath*/, const std::optional<QString>& /*passPhraseFile*/, QTextStream& err)
{
    err << "keyutility: rewrap is not available yet\n";
    err.flush();
    return 1;
}

} // namespace KeyUtility
