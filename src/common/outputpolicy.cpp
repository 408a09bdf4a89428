#include "outputpolicy.h"

#include "common/internal/atomicfile.h"

using Reveriz::Internal::AtomicFile;
using Reveriz::Internal::OutputFile;

namespace Reveriz::OutputPolicy {

bool writePublicFile(const QString& outputPath, const QByteArray& data, QString* errorString)
{
    OutputFile output(outputPath);
    if (output.open(AtomicFile::Permissions::Public) && output.write(data) && output.commit())
        return true;
    if (errorString)
        *errorString = output.errorString();
    return false;
}

std::optional<QString> inputAmong(const QString& outputPath, const QStringList& inputs)
{
    return OutputFile::inputAmong(outputPath, inputs);
}

std::optional<QString> inputAmong(int descriptor, const QStringList& inputs)
{
    return OutputFile::inputAmong(descriptor, inputs);
}

void removeTemporaryFilesOnSignals()
{
    AtomicFile::removeTemporaryFilesOnSignals();
}

bool reportUnremovedFiles(const char* program)
{
    return AtomicFile::reportUnremovedFiles(program);
}

} // namespace Reveriz::OutputPolicy
