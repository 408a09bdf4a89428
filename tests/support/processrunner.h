#ifndef REVERIZ_TESTS_SUPPORT_PROCESSRUNNER_H
#define REVERIZ_TESTS_SUPPORT_PROCESSRUNNER_H

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

/** How a program ended and what it wrote. ran is false when it could not start or did not end normally. */
struct ProcessResult
{
    bool ran = false;
    int status = -1;
    QByteArray out;
    QByteArray err;
};

/**
 * Runs program to its end (at most a minute) with input on its standard input. inChild, when given, runs in the new
 * process just before the program starts (to set its umask, for one).
 */
ProcessResult runProcess(const QString& program, const QStringList& arguments, const QByteArray& input = QByteArray(),
                         const QString& workingDirectory = QString(),
                         const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
                         const std::function<void()>& inChild = {});

/** True when program is found on the PATH; tests of interoperation skip without it. */
bool hasProgram(const QString& program);

#endif
