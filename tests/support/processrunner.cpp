#include "processrunner.h"

#include <QProcess>
#include <QStandardPaths>

ProcessResult runProcess(const QString& program, const QStringList& arguments, const QByteArray& input,
                         const QString& workingDirectory, const QProcessEnvironment& environment,
                         const std::function<void()>& inChild)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    if (inChild)
        process.setChildProcessModifier(inChild);
    process.start();
    if (!process.waitForStarted())
        return {};
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {true, process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

bool hasProgram(const QString& program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}
