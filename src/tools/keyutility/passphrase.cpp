#include "passphrase.h"

#include "common/encryption/reverizkeyfile.h"
#include "common/fileutilities.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace KeyUtility {

namespace {

// A pass phrase is a line of text; a file larger than this is no pass phrase file.
constexpr qint64 maximumPassPhraseFileSize = 65536;

constexpr int terminalSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The terminal whose echo is off, for the signal handlers: they turn echo on again before the process dies or
// stops, and off again, with the prompt shown anew, when a stopped process continues.
int echoOffTerminal = -1;
termios echoOnSettings {};
termios echoOffSettings {};
const char* shownPrompt = nullptr;
std::size_t shownPromptSize = 0;
struct sigaction stopAction
{
};
volatile std::sig_atomic_t continued = 0;

extern "C" void restoreEchoAndDie(int signal)
{
    (void)::tcsetattr(echoOffTerminal, TCSAFLUSH, &echoOnSettings);
    (void)::signal(signal, SIG_DFL);
    (void)::raise(signal);
}

// ^Z: the shell gets the terminal back as it was, and the stop happens here, with the default action; the line
// typed so far is dropped (TCSAFLUSH), so the whole phrase is typed again after the new prompt.
extern "C" void restoreEchoAndStop(int signal)
{
    const int savedErrno = errno;
    (void)::tcsetattr(echoOffTerminal, TCSAFLUSH, &echoOnSettings);
    (void)::signal(signal, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, signal);
    (void)::sigprocmask(SIG_UNBLOCK, &stop, nullptr);
    (void)::raise(signal);
    // Continued: echo goes off before the prompt invites more typing.
    (void)::sigaction(signal, &stopAction, nullptr);
    (void)::tcsetattr(echoOffTerminal, TCSAFLUSH, &echoOffSettings);
    (void)!::write(echoOffTerminal, "\n", 1);
    (void)!::write(echoOffTerminal, shownPrompt, shownPromptSize);
    continued = 1;
    errno = savedErrno;
}

// Asks at the terminal with echo off; a signal meanwhile turns echo on again before it ends the process. No
// output file is open yet, so nothing else needs cleaning up.
std::optional<Reveriz::SecureBytes> askTerminal(const QString& keyFile)
{
    const int terminal = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0)
        return std::nullopt;
    const QByteArray prompt = QStringLiteral("Pass phrase for %1: ").arg(keyFile).toUtf8();
    termios settings {};
    const bool isTerminal = ::tcgetattr(terminal, &settings) == 0;
    struct sigaction previous[std::size(terminalSignals)] {};
    struct sigaction previousStop
    {
    };
    if (isTerminal) {
        echoOffTerminal = terminal;
        echoOnSettings = settings;
        echoOffSettings = settings;
        echoOffSettings.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        shownPrompt = prompt.constData();
        shownPromptSize = static_cast<std::size_t>(prompt.size());
        continued = 0;
        struct sigaction restore
        {
        };
        restore.sa_handler = restoreEchoAndDie;
        sigemptyset(&restore.sa_mask);
        for (std::size_t i = 0; i < std::size(terminalSignals); ++i)
            (void)::sigaction(terminalSignals[i], &restore, &previous[i]);
        stopAction.sa_handler = restoreEchoAndStop;
        sigemptyset(&stopAction.sa_mask);
        for (const int other : terminalSignals)
            sigaddset(&stopAction.sa_mask, other);
        (void)::sigaction(SIGTSTP, &stopAction, &previousStop);
        (void)::tcsetattr(terminal, TCSAFLUSH, &echoOffSettings);
    }
    (void)!::write(terminal, prompt.constData(), static_cast<std::size_t>(prompt.size()));
    Reveriz::SecureBytes line;
    line.reserve(256);
    char c = 0;
    while (line.size() < static_cast<std::size_t>(maximumPassPhraseFileSize)) {
        const ssize_t read = ::read(terminal, &c, 1);
        if (continued) {
            continued = 0;
            line.clear(); // what was typed before the stop is gone from the terminal's line
        }
        if (read < 0 && errno == EINTR)
            continue;
        if (read <= 0 || c == '\n')
            break;
        line.append(c);
    }
    Reveriz::wipe(&c, sizeof c);
    if (isTerminal) {
        (void)::sigaction(SIGTSTP, &previousStop, nullptr);
        (void)::tcsetattr(terminal, TCSAFLUSH, &settings);
        for (std::size_t i = 0; i < std::size(terminalSignals); ++i)
            (void)::sigaction(terminalSignals[i], &previous[i], nullptr);
        echoOffTerminal = -1;
        shownPrompt = nullptr;
    }
    (void)!::write(terminal, "\n", 1); // the line feed the user typed was not echoed
    ::close(terminal);
    return line;
}

// As ssh does for key files: a secret that others may read is no longer a secret of its owner alone.
void warnIfOthersCanRead(const QString& path, QTextStream& err)
{
    struct stat status
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || (status.st_mode & (S_IRGRP | S_IROTH)) == 0)
        return;
    err << "keyutility: warning: pass phrase file " << path << " can be read by group or others (mode "
        << QString::number(status.st_mode & 07777, 8).rightJustified(4, QLatin1Char('0')) << ")\n";
    err.flush();
}

} // namespace

std::optional<Reveriz::SecureBytes> readPassPhrase(const QString& keyFile, const std::optional<QString>& passPhraseFile,
                                                   QTextStream& err)
{
    if (!passPhraseFile)
        return askTerminal(keyFile);
    warnIfOthersCanRead(*passPhraseFile, err);
    QByteArray content;
    const Reveriz::WipeGuard wipeContent(content);
    FileUtilities::readByteArray(*passPhraseFile, content, false, maximumPassPhraseFileSize);
    const qsizetype end = content.indexOf('\n');
    return Reveriz::SecureBytes(QByteArrayView(content).first(end < 0 ? content.size() : end));
}

void unlockKey(ReverizRSA& pair, const QString& keyFile, const std::optional<QString>& passPhraseFile, QTextStream& err)
{
    Reveriz::KeyFile::unlock(pair, [&] {
        std::optional<Reveriz::SecureBytes> line = readPassPhrase(keyFile, passPhraseFile, err);
        if (!line)
            return line;
        QString passPhrase = QString::fromUtf8(line->view());
        const Reveriz::WipeGuard wipePassPhrase(passPhrase);
        // The protected form's key is derived from the Latin-1 bytes, as stored keys need; other characters become
        // "?".
        if (std::any_of(passPhrase.cbegin(), passPhrase.cend(), [](QChar c) { return c.unicode() > 0xff; })) {
            err << "keyutility: warning: the pass phrase holds characters outside Latin-1; each of them counts as "
                   "\"?\"\n";
            err.flush();
        }
        return line;
    });
}

} // namespace KeyUtility
