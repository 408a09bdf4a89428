#include "atomicfile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <pthread.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace Reveriz::Internal {

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

int closeDescriptor(int fd)
{
    // close() must not be retried on EINTR on Linux: the descriptor is gone either way.
    return ::close(fd);
}

// "NAME.tmp-XXXXXX" beside the target, NAME cut (at a character boundary) so that the whole fits the file
// system's name limit: a target whose own name is legal must never fail for its temporary file's name.
QByteArray temporaryPattern(const QString& targetPath)
{
    static const QByteArray suffix(".tmp-XXXXXX");
    const QByteArray target = QFile::encodeName(targetPath);
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray directory = target.left(slash + 1);
    QByteArray name = target.mid(slash + 1);
    long nameMax = ::pathconf(directory.isEmpty() ? "." : directory.constData(), _PC_NAME_MAX);
    if (nameMax <= 0)
        nameMax = 255;
    qsizetype keep = std::max<qsizetype>(0, static_cast<qsizetype>(nameMax) - suffix.size());
    if (name.size() > keep) {
        while (keep > 0 && (static_cast<unsigned char>(name.at(keep)) & 0xC0) == 0x80)
            --keep; // a UTF-8 continuation byte: cut before its whole character
        name.truncate(keep);
    }
    return directory + name + suffix;
}

// The temporary files of all writers, for the signal handler. A slot holds a path of its own (malloc'ed outside
// the handler); whoever takes it out of the slot with exchange() owns it, so the handler and a writer never both
// use one path.
constexpr int registrySlots = 256;
std::atomic<char*> registeredPaths[registrySlots];
// Writers between creating a temporary file and registering it, and whether the handler has begun: the handler
// waits for those already under way, and no writer starts a new one once it has begun.
std::atomic<int> creating {0};
std::atomic<bool> terminating {false};
static_assert(std::atomic<char*>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the signal handler may only use lock-free atomics");

constexpr int cleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Temporary files that could not be removed, for the program to name at its end so that the operator can remove
// them: kept without allocating, since memory may be what ran out.
struct Unremoved
{
    char path[4096];
    int error;
};
constexpr int unremovedSlots = 16;
Unremoved unremovedFiles[unremovedSlots];
std::atomic<int> unremovedCount {0};

void recordUnremoved(const char* path, int error)
{
    const int slot = unremovedCount.fetch_add(1);
    if (slot >= unremovedSlots)
        return; // reportUnremovedFiles tells how many more
    Unremoved& entry = unremovedFiles[slot];
    std::strncpy(entry.path, path, sizeof entry.path - 1);
    entry.path[sizeof entry.path - 1] = '\0';
    entry.error = error;
}

void writeDirectly(const char* text)
{
    (void)!::write(STDERR_FILENO, text, std::strlen(text));
}

int registerPath(const QByteArray& path)
{
    char* copy = ::strdup(path.constData());
    if (!copy)
        return -1;
    for (int slot = 0; slot < registrySlots; ++slot) {
        char* expected = nullptr;
        if (registeredPaths[slot].compare_exchange_strong(expected, copy))
            return slot;
    }
    std::free(copy);
    return -1;
}

void unregisterPath(int slot)
{
    if (slot >= 0)
        std::free(registeredPaths[slot].exchange(nullptr));
}

void removeRegisteredPaths()
{
    for (std::atomic<char*>& slot : registeredPaths) {
        if (char* path = slot.exchange(nullptr))
            (void)::unlink(path); // the path is left to the dying process: free() is not async-signal-safe
    }
}

// A signal handler has C linkage; static keeps its name out of the library's symbols, where the anonymous namespace
// does not for a C name.
extern "C" {
static void removeTemporaryFilesAndDie(int signal)
{
    terminating.store(true);
    removeRegisteredPaths();
    // A writer on another thread may be between creating its file and registering it; it is a few system calls
    // from done, so wait a little for it.
    const timespec pause {0, 100000};
    for (int round = 0; round < 10000 && creating.load() > 0; ++round)
        (void)::nanosleep(&pause, nullptr);
    removeRegisteredPaths();
    // SA_RESETHAND restored the default action; the signal is delivered again once this handler returns.
    (void)::raise(signal);
}
} // extern "C"

// Blocks the cleanup signals while a file is created, so that it is never created unregistered.
using SignalBlock = DeferredCleanupSignals;

} // namespace

DeferredCleanupSignals::DeferredCleanupSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : cleanupSignals)
        sigaddset(&set, signal);
    (void)::pthread_sigmask(SIG_BLOCK, &set, &m_previous);
}

DeferredCleanupSignals::~DeferredCleanupSignals()
{
    (void)::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}

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

bool AtomicFile::open(Permissions permissions)
{
    discard();
    m_permissions = permissions;
    // Names are decoded with every byte of an invalid UTF-8 sequence kept apart; such a name cannot be encoded
    // back to the bytes it came from, so it would name another file.
    if (!m_targetPath.isValidUtf16()) {
        m_errorString = QStringLiteral("file name is not valid UTF-8: %1").arg(m_targetPath);
        return false;
    }
    QByteArray pattern = temporaryPattern(m_targetPath);
    std::vector<char> name(pattern.constData(), pattern.constData() + pattern.size() + 1);

    const SignalBlock block;
    creating.fetch_add(1);
    int fd = -1;
    int error = EINTR;
    if (!terminating.load()) {
        // mkostemp creates the file with mode 0600 (less the umask); it keeps that until commit.
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        error = errno;
        if (fd >= 0) {
            m_registration = registerPath(QByteArray(name.data()));
            if (m_registration < 0) {
                (void)::unlink(name.data());
                closeDescriptor(fd);
                fd = -1;
                error = EMFILE;
            }
        }
    }
    creating.fetch_sub(1);
    if (fd < 0)
        return fail("cannot create a temporary file for", m_targetPath, error);
    m_fd = fd;
    m_temporaryPath = QFile::decodeName(name.data());
    m_encodedTemporaryPath = QByteArray(name.data());
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
            return fail("cannot write", m_targetPath, errno);
        }
        next += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

mode_t AtomicFile::finalMode() const
{
    switch (m_permissions) {
    case Permissions::OwnerOnly:
        return 0600;
    case Permissions::Public:
        return 0666 & ~currentUmask();
    case Permissions::PlainText:
        break;
    }
    // lstat: a symbolic link's target lends no mode, and a file of someone else's lends none either (it could
    // be made to carry any bits). Only the permission bits are kept, never set-user-ID, set-group-ID or sticky.
    struct stat info
    {
    };
    if (::lstat(QFile::encodeName(m_targetPath).constData(), &info) == 0 && S_ISREG(info.st_mode)
        && info.st_uid == ::geteuid())
        return info.st_mode & 0777;
    return 0600;
}

bool AtomicFile::finish(Durability durability)
{
    if (m_fd < 0)
        return fail("cannot commit", m_targetPath, EBADF);
    if (durability == Durability::Synced && ::fsync(m_fd) != 0) {
        const int error = errno;
        discard();
        return fail("cannot sync", m_targetPath, error);
    }
    if (::fchmod(m_fd, finalMode()) != 0) {
        const int error = errno;
        discard();
        return fail("cannot set the permissions of", m_targetPath, error);
    }
    const int fd = std::exchange(m_fd, -1);
    if (closeDescriptor(fd) != 0) {
        const int error = errno;
        discard();
        return fail("cannot close", m_targetPath, error);
    }
    return true;
}

bool AtomicFile::commit(Durability durability)
{
    if (m_fd >= 0 && !finish(durability))
        return false;
    if (m_temporaryPath.isEmpty())
        return fail("cannot commit", m_targetPath, EBADF);
    QString error;
    if (!renameOver(m_temporaryPath, m_targetPath, &error)) {
        discard();
        m_errorString = error;
        return false;
    }
    m_temporaryPath.clear();
    m_encodedTemporaryPath.clear();
    unregisterPath(std::exchange(m_registration, -1));
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
    if (m_fd >= 0)
        closeDescriptor(std::exchange(m_fd, -1));
    // The name was encoded when the file was made: encoding it here could throw, and this runs in destructors.
    if (!m_encodedTemporaryPath.isEmpty()) {
        if (::unlink(m_encodedTemporaryPath.constData()) != 0 && errno != ENOENT)
            recordUnremoved(m_encodedTemporaryPath.constData(), errno);
        m_temporaryPath.clear();
        m_encodedTemporaryPath.clear();
    }
    unregisterPath(std::exchange(m_registration, -1));
    if (!m_keptPath.isEmpty()) {
        if (::unlink(m_keptPath.constData()) != 0 && errno != ENOENT)
            recordUnremoved(m_keptPath.constData(), errno);
        m_keptPath.clear();
    }
    unregisterPath(std::exchange(m_keptRegistration, -1));
    m_keeping = false;
}

bool AtomicFile::keepEarlier()
{
    const QByteArray target = QFile::encodeName(m_targetPath);
    struct stat info
    {
    };
    m_keeping = true;
    if (::lstat(target.constData(), &info) != 0) {
        if (errno == ENOENT)
            return true; // nothing to keep: restoring removes the target
        return fail("cannot examine", m_targetPath, errno);
    }
    if (S_ISDIR(info.st_mode)) {
        m_keeping = false; // the rename over it fails, and it stays as it is
        return true;
    }
    // A name of the temporary files' pattern, so that the link is as easy to tell and to clean up; made like
    // mkstemp's, tried again while taken.
    const QByteArray pattern = temporaryPattern(m_targetPath);
    const SignalBlock block;
    creating.fetch_add(1);
    int error = EINTR;
    QByteArray name = pattern;
    for (unsigned attempt = 0; attempt < 100 && !terminating.load(); ++attempt) {
        static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        timespec now {};
        (void)::clock_gettime(CLOCK_MONOTONIC, &now);
        unsigned long long value = (static_cast<unsigned long long>(now.tv_nsec) * 2654435761u)
            ^ (static_cast<unsigned long long>(::getpid()) << 20) ^ (static_cast<unsigned long long>(attempt) * 40503u);
        for (qsizetype i = name.size() - 6; i < name.size(); ++i, value /= 62)
            name[i] = letters[value % 62];
        if (::link(target.constData(), name.constData()) == 0) {
            m_keptRegistration = registerPath(name);
            if (m_keptRegistration < 0) {
                (void)::unlink(name.constData());
                error = EMFILE;
                break;
            }
            m_keptPath = name;
            error = 0;
            break;
        }
        error = errno;
        if (error != EEXIST)
            break;
    }
    creating.fetch_sub(1);
    if (error != 0)
        return fail("cannot keep a link to the earlier", m_targetPath, error);
    return true;
}

bool AtomicFile::restoreEarlier()
{
    if (!m_keeping)
        return true;
    const QByteArray target = QFile::encodeName(m_targetPath);
    if (m_keptPath.isEmpty()) {
        if (::unlink(target.constData()) != 0 && errno != ENOENT)
            return fail("cannot remove", m_targetPath, errno);
    } else {
        if (::rename(m_keptPath.constData(), target.constData()) != 0) {
            // The earlier file now lives only under the link's name: it must stay, and be named.
            const int error = errno;
            m_errorString = QStringLiteral("cannot put back %1 (the earlier file is %2): %3")
                                .arg(m_targetPath, QFile::decodeName(m_keptPath), systemError(error));
            unregisterPath(std::exchange(m_keptRegistration, -1));
            m_keptPath.clear();
            return false;
        }
        m_keptPath.clear();
        unregisterPath(std::exchange(m_keptRegistration, -1));
    }
    m_keeping = false;
    QString error;
    (void)syncDirectoryOf(m_targetPath, &error); // in place either way; only durability is weaker
    return true;
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

bool AtomicFile::reportUnremovedFiles(const char* program)
{
    const int count = unremovedCount.load();
    for (int slot = 0; slot < std::min(count, unremovedSlots); ++slot) {
        const char* const parts[] = {program, ": could not remove the temporary file ",  unremovedFiles[slot].path,
                                     ": ",    std::strerror(unremovedFiles[slot].error), "; remove it by hand\n"};
        for (const char* text : parts)
            writeDirectly(text);
    }
    if (count > unremovedSlots) {
        writeDirectly(program);
        writeDirectly(": more temporary files could not be removed\n");
    }
    return count > 0;
}

void AtomicFile::removeTemporaryFilesOnSignals()
{
    struct sigaction action
    {
    };
    action.sa_handler = removeTemporaryFilesAndDie;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const int signal : cleanupSignals)
        sigaddset(&action.sa_mask, signal);
    for (const int signal : cleanupSignals) {
        struct sigaction previous
        {
        };
        // A signal ignored at start-up (nohup, a background job) is meant to stay ignored.
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            (void)::sigaction(signal, &action, nullptr);
    }
    struct sigaction ignore
    {
    };
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    (void)::sigaction(SIGXFSZ, &ignore, nullptr);
}

namespace {

// What an output names: its directory entry (a link is not followed) and the file behind it.
struct Inspection
{
    std::optional<OutputFile::Placement> placement;
    struct stat node
    {
    };
    QString error;
};

bool isStandardStream(const struct stat& node)
{
    for (const int descriptor : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        struct stat stream
        {
        };
        if (::fstat(descriptor, &stream) == 0 && stream.st_dev == node.st_dev && stream.st_ino == node.st_ino)
            return true;
    }
    return false;
}

// An entry that someone else put where the caller writes (as the kernel's protected_fifos and protected_symlinks
// guard sticky directories): it belongs to neither the caller nor root, in a directory that not only the caller
// may write to.
bool placedByAnotherUser(const QString& path, uid_t entryOwner)
{
    const uid_t caller = ::geteuid();
    if (entryOwner == caller || entryOwner == 0)
        return false;
    struct stat directory
    {
    };
    if (::stat(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &directory) != 0)
        return true;
    return directory.st_uid != caller || (directory.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

Inspection inspect(const QString& path)
{
    Inspection found;
    if (!path.isValidUtf16()) {
        found.error = QStringLiteral("file name is not valid UTF-8: %1").arg(path);
        return found;
    }
    const QByteArray name = QFile::encodeName(path);
    struct stat entry
    {
    };
    // A name that cannot be inspected is left to the replacement, which reports why it cannot be written. A link
    // that leads nowhere, cannot be followed, or that another user put there is replaced, never followed.
    if (::lstat(name.constData(), &entry) != 0
        || (S_ISLNK(entry.st_mode)
            && (placedByAnotherUser(path, entry.st_uid) || ::stat(name.constData(), &found.node) != 0))) {
        found.placement = OutputFile::Placement::Replaced;
        return found;
    }
    if (!S_ISLNK(entry.st_mode))
        found.node = entry;
    const mode_t kind = found.node.st_mode & S_IFMT;
    if (kind == S_IFREG) {
        if (S_ISLNK(entry.st_mode) && isStandardStream(found.node))
            found.error = QStringLiteral("cannot replace %1: it is a link to a standard stream").arg(path);
        else
            found.placement = OutputFile::Placement::Replaced;
    } else if (kind == S_IFCHR || kind == S_IFIFO) {
        if (placedByAnotherUser(path, entry.st_uid))
            found.error = QStringLiteral("cannot write %1: a FIFO or device another user put there").arg(path);
        else
            found.placement = OutputFile::Placement::InPlace;
    } else if (kind == S_IFDIR) {
        found.error = describe("cannot rename to", path, EISDIR);
    } else {
        found.error = QStringLiteral("cannot write %1: not a regular file, character device or FIFO").arg(path);
    }
    return found;
}

std::optional<QString> inputMatching(const struct stat& output, const QStringList& inputs)
{
    for (const QString& input : inputs) {
        struct stat info
        {
        };
        if (::stat(QFile::encodeName(input).constData(), &info) == 0 && info.st_dev == output.st_dev
            && info.st_ino == output.st_ino)
            return input;
    }
    return std::nullopt;
}

} // namespace

OutputFile::OutputFile(QString targetPath)
    : m_targetPath(std::move(targetPath))
    , m_replacement(m_targetPath)
{
}

OutputFile::~OutputFile()
{
    discard();
}

bool OutputFile::fail(const QString& error)
{
    m_errorString = error;
    return false;
}

std::optional<OutputFile::Placement> OutputFile::placementOf(const QString& targetPath, QString* errorString)
{
    const Inspection found = inspect(targetPath);
    if (!found.placement && errorString)
        *errorString = found.error;
    return found.placement;
}

bool OutputFile::open(AtomicFile::Permissions permissions)
{
    discard();
    const Inspection found = inspect(m_targetPath);
    if (!found.placement)
        return fail(found.error);
    m_placement = *found.placement;
    if (m_placement == Placement::Replaced)
        return m_replacement.open(permissions) || fail(m_replacement.errorString());

    int fd = -1;
    do
        fd = ::open(QFile::encodeName(m_targetPath).constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return fail(describe("cannot open", m_targetPath, errno));
    // The file opened must be the one inspected: a name switched in between could put a regular file there.
    struct stat opened
    {
    };
    if (::fstat(fd, &opened) != 0 || opened.st_dev != found.node.st_dev || opened.st_ino != found.node.st_ino) {
        closeDescriptor(fd);
        return fail(QStringLiteral("cannot write %1: it was replaced while it was opened").arg(m_targetPath));
    }
    m_fd = fd;
    return true;
}

bool OutputFile::write(const QByteArray& data)
{
    return write(data.constData(), static_cast<std::size_t>(data.size()));
}

bool OutputFile::write(const char* data, std::size_t size)
{
    if (m_placement == Placement::Replaced)
        return m_replacement.write(data, size) || fail(m_replacement.errorString());
    if (m_fd < 0)
        return fail(describe("cannot write", m_targetPath, EBADF));
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return fail(describe("cannot write", m_targetPath, errno));
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool OutputFile::commit(AtomicFile::Durability durability)
{
    if (m_placement == Placement::Replaced)
        return m_replacement.commit(durability) || fail(m_replacement.errorString());
    // A terminal, a pipe or a device has nothing to sync.
    if (m_fd < 0)
        return fail(describe("cannot commit", m_targetPath, EBADF));
    if (closeDescriptor(std::exchange(m_fd, -1)) != 0)
        return fail(describe("cannot close", m_targetPath, errno));
    return true;
}

void OutputFile::discard()
{
    m_replacement.discard();
    if (m_fd >= 0)
        closeDescriptor(std::exchange(m_fd, -1));
}

std::optional<QString> OutputFile::inputAmong(const QString& outputPath, const QStringList& inputs)
{
    struct stat output
    {
    };
    if (::stat(QFile::encodeName(outputPath).constData(), &output) == 0)
        return inputMatching(output, inputs);
    // An input that is missing may yet be moved into place from its companion by the read: the same name in the
    // same directory is that input too.
    const QFileInfo outputInfo(outputPath);
    struct stat outputDirectory
    {
    };
    if (::stat(QFile::encodeName(outputInfo.absolutePath()).constData(), &outputDirectory) != 0)
        return std::nullopt;
    for (const QString& input : inputs) {
        const QFileInfo inputInfo(input);
        struct stat inputDirectory
        {
        };
        if (inputInfo.fileName() == outputInfo.fileName()
            && ::stat(QFile::encodeName(inputInfo.absolutePath()).constData(), &inputDirectory) == 0
            && inputDirectory.st_dev == outputDirectory.st_dev && inputDirectory.st_ino == outputDirectory.st_ino)
            return input;
    }
    return std::nullopt;
}

std::optional<QString> OutputFile::inputAmong(int descriptor, const QStringList& inputs)
{
    struct stat output
    {
    };
    if (::fstat(descriptor, &output) != 0)
        return std::nullopt;
    return inputMatching(output, inputs);
}

DirectoryLock::DirectoryLock(const QString& directory)
{
    const QString path = directory.isEmpty() ? QStringLiteral(".") : directory;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        m_errorString = describe("cannot open directory", path, errno);
        return;
    }
    int result = 0;
    do
        result = ::flock(fd, LOCK_EX);
    while (result != 0 && errno == EINTR);
    if (result != 0) {
        m_errorString = describe("cannot lock directory", path, errno);
        closeDescriptor(fd);
        return;
    }
    m_fd = fd;
}

DirectoryLock::~DirectoryLock()
{
    if (m_fd >= 0)
        closeDescriptor(m_fd); // closing the last descriptor releases the lock
}

} // namespace Reveriz::Internal
