#include "passphrase.h"

#include "common/fileutilities.h"

#include <QByteArray>
#include <QFile>

#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace KeyUtility {

namespace {

// A pass phrase is a line of text; a file larger than this is no pass phrase file.
constexpr qint64 maximumPassPhraseFileSize = 65536;

constexpr int terminalSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The terminal whose echo is off, for the signal handler that turns it on again before the process dies.
int echoOffTerminal = -1;
termios echoOnSettings {};

extern "C" void restoreEchoAndDie(int signal)
{
    (void)::tcsetattr(echoOffTerminal, TCSAFLUSH, &echoOnSettings);
    (void)::signal(signal, SIG_DFL);
    (void)::raise(signal);
}

// Asks at the terminal with echo off; a signal meanwhile turns echo on again before it ends the process. No
// output file is open yet, so nothing else needs cleaning up.
std::optional<QByteArray> askTerminal(const QString& keyFile)
{
    const int terminal = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0)
        return std::nullopt;
    termios settings {};
    const bool isTerminal = ::tcgetattr(terminal, &settings) == 0;
    struct sigaction previous[std::size(terminalSignals)] {};
    if (isTerminal) {
        echoOffTerminal = terminal;
        echoOnSettings = settings;
        struct sigaction restore
        {
        };
        restore.sa_handler = restoreEchoAndDie;
        sigemptyset(&restore.sa_mask);
        for (std::size_t i = 0; i < std::size(terminalSignals); ++i)
            (void)::sigaction(terminalSignals[i], &restore, &previous[i]);
        termios silent = settings;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        (void)::tcsetattr(terminal, TCSAFLUSH, &silent);
    }
    const QByteArray prompt = QStringLiteral("Pass phrase for %1: ").arg(keyFile).toUtf8();
    (void)!::write(terminal, prompt.constData(), static_cast<std::size_t>(prompt.size()));
    QByteArray line;
    char c = 0;
    while (line.size() < maximumPassPhraseFileSize) {
        const ssize_t read = ::read(terminal, &c, 1);
        if (read < 0 && errno == EINTR)
            continue;
        if (read <= 0 || c == '\n')
            break;
        line += c;
    }
    if (isTerminal) {
        (void)::tcsetattr(terminal, TCSAFLUSH, &settings);
        for (std::size_t i = 0; i < std::size(terminalSignals); ++i)
            (void)::sigaction(terminalSignals[i], &previous[i], nullptr);
        echoOffTerminal = -1;
    }
    (void)!::write(terminal, "\n", 1); // the line feed the user typed was not echoed
    ::close(terminal);
    return line;
}

} // namespace

std::optional<QString> readPassPhrase(const QString& keyFile, const std::optional<QString>& passPhraseFile)
{
    std::optional<QByteArray> line;
    if (passPhraseFile) {
        QByteArray content;
        FileUtilities::readByteArray(*passPhraseFile, content, false, maximumPassPhraseFileSize);
        const qsizetype end = content.indexOf('\n');
        line = end < 0 ? content : content.left(end);
    } else {
        line = askTerminal(keyFile);
    }
    if (!line)
        return std::nullopt;
    return QString::fromUtf8(*line);
}

void unlockKey(ReverizRSA& pair, const QString& keyFile, const std::optional<QString>& passPhraseFile)
{
    if (!pair.requiresPassPhrase())
        return;
    if (const std::optional<QString> passPhrase = readPassPhrase(keyFile, passPhraseFile))
        pair.supplyPassphrase(*passPhrase);
}

} // namespace KeyUtility
