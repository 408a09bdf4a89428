#include "atomicfile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString describe(const char* operation, const QString& path, int error)
{
    return QStringLiteral("%1 %2: %3").arg(QLatin1String(operation), path, systemError(error));
}

// The process umask without changing it (Linux reports it in /proc); the set-and-restore fallback is racy
// only for threads that create files at that very moment.
mode_t currentUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// A replaced file keeps its permissions: narrowing them once must not be undone by the next write.
mode_t modeForReplacing(const QString& target)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(target).constData(), &info) == 0 && S_ISREG(info.st_mode))
        return info.st_mode & 07777;
    return 0666 & ~currentUmask();
}

int closeDescriptor(int fd)
{
    // close() must not be retried on EINTR on Linux: the descriptor is gone either way.
    return ::close(fd);
}

} // namespace

AtomicFile::AtomicFile(QString targetPath)
    : m_targetPath(std::move(targetPath))
{
}

AtomicFile::~AtomicFile()
{
    discard();
}

bool AtomicFile::fail(const char* operation, const QString& path, int error)
{
    m_errorString = describe(operation, path, error);
    return false;
}

bool AtomicFile::open(std::optional<mode_t> mode)
{
    discard();
    QByteArray pattern = QFile::encodeName(m_targetPath) + ".tmp-XXXXXX";
    std::vector<char> name(pattern.constData(), pattern.constData() + pattern.size() + 1);
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return fail("cannot create a temporary file for", m_targetPath, errno);
    m_fd = fd;
    m_temporaryPath = QFile::decodeName(name.data());

    const mode_t wanted = mode ? *mode : modeForReplacing(m_targetPath);
    if (::fchmod(m_fd, wanted) != 0) {
        const int error = errno;
        discard();
        return fail("cannot set the permissions of", m_targetPath, error);
    }
    return true;
}

bool AtomicFile::write(const QByteArray& data)
{
    return write(data.constData(), static_cast<std::size_t>(data.size()));
}

bool AtomicFile::write(const char* data, std::size_t size)
{
    if (m_fd < 0)
        return fail("cannot write", m_targetPath, EBADF);
    const char* next = data;
    std::size_t left = size;
    while (left > 0) {
        const ssize_t written = ::write(m_fd, next, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return fail("cannot write", m_temporaryPath, errno);
        }
        next += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

bool AtomicFile::commit(Durability durability)
{
    if (m_fd < 0)
        return fail("cannot commit", m_targetPath, EBADF);
    if (durability == Durability::Synced && ::fsync(m_fd) != 0) {
        const int error = errno;
        discard();
        return fail("cannot sync", m_temporaryPath, error);
    }
    const int fd = m_fd;
    m_fd = -1;
    if (closeDescriptor(fd) != 0) {
        const int error = errno;
        discard();
        return fail("cannot close", m_temporaryPath, error);
    }
    QString error;
    if (!renameOver(m_temporaryPath, m_targetPath, &error)) {
        discard();
        m_errorString = error;
        return false;
    }
    m_temporaryPath.clear();
    if (durability == Durability::Unsynced)
        return true;
    // The new content is in place; a failed directory sync only weakens durability, and is still reported.
    if (!syncDirectoryOf(m_targetPath, &error)) {
        m_errorString = error;
        return false;
    }
    return true;
}

void AtomicFile::discard()
{
    if (m_fd >= 0) {
        closeDescriptor(m_fd);
        m_fd = -1;
    }
    if (!m_temporaryPath.isEmpty()) {
        ::unlink(QFile::encodeName(m_temporaryPath).constData());
        m_temporaryPath.clear();
    }
}

bool AtomicFile::renameOver(const QString& from, const QString& to, QString* errorString)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    if (errorString)
        *errorString = describe("cannot rename to", to, errno);
    return false;
}

bool AtomicFile::syncDirectoryOf(const QString& path, QString* errorString)
{
    const QString directory = QFileInfo(path).absolutePath();
    const int fd = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (errorString)
            *errorString = describe("cannot open directory", directory, errno);
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    closeDescriptor(fd);
    if (!synced && errorString)
        *errorString = describe("cannot sync directory", directory, error);
    return synced;
}
