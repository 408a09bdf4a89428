#include "fileutilities.h"

#include "common/atomicfile.h"
#include "common/exceptions/errorcodes.h"
#include "common/exceptions/reverizexception.h"
#include "common/jsontext.h"
#include "common/largebuffer.h"
#include "common/securebytes.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

using namespace Reveriz::Internal;

namespace {

// Peers and files already on disk know the companion by this name, so it carries no unique part.
const QLatin1String companionSuffix(".tempreplace");
const QString noDescription;

QString companionOf(const QString& path)
{
    return path + companionSuffix;
}

ReverizException failure(ErrorCodes::Code code, const char* key, const QString& name, const QString& description,
                         const QString& sourceFile, int sourceLine)
{
    QString details = ErrorCodes::filled("FileUtilities", key, name);
    if (!description.isEmpty())
        details += QLatin1Char(' ') + description;
    return ReverizException(QStringLiteral("FileUtilities"), code, details, QString(), name, QString(), sourceFile,
                            sourceLine);
}

void createDirectoryOf(const QString& path)
{
    const QString directory = QFileInfo(path).absolutePath();
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(directory).toStdString(), error);
    if (error) {
        throw failure(ErrorCodes::FileWriteFailed, "LRC2137", directory, QString::fromStdString(error.message()),
                      REVERIZ_HERE);
    }
}

[[noreturn]] void refuse(const QString& message, const QString& sourceFile, int sourceLine)
{
    throw InputRefusedException(QStringLiteral("FileUtilities"), message, sourceFile, sourceLine);
}

// A file opened to read all of it. Only a regular file is read, and only up to maximumSize bytes: the open does
// not block (a FIFO would wait for a writer for ever), and kind and size are checked before a byte is read or any
// memory is reserved for it. A directory fails as a file that cannot be opened, as it always has.
class InputFile
{
public:
    InputFile(const QString& path, bool recoverTempReplace, qint64 maximumSize)
        : m_path(path)
        , m_maximumSize(maximumSize)
    {
        if (!path.isValidUtf16())
            refuse(QStringLiteral("file name is not valid UTF-8: %1").arg(path), REVERIZ_HERE);
        m_fd.fd = openFile();
        if (m_fd < 0 && errno == ENOENT) {
            recoverCompanion(recoverTempReplace);
            m_fd.fd = openFile();
        }
        struct stat info
        {
        };
        if (m_fd < 0) {
            const int error = errno;
            // A socket cannot be opened at all (ENXIO), a FIFO or device only without permission to.
            if (::stat(QFile::encodeName(path).constData(), &info) == 0 && isSpecial(info.st_mode))
                refuseSpecial();
            throw failure(ErrorCodes::FileMissing, "LRC2040", path, QString::fromLocal8Bit(std::strerror(error)),
                          REVERIZ_HERE);
        }
        if (::fstat(m_fd, &info) != 0) {
            refuse(QStringLiteral("cannot examine %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))),
                   REVERIZ_HERE);
        }
        if (S_ISDIR(info.st_mode)) {
            // In the words QFile has for it.
            throw failure(ErrorCodes::FileMissing, "LRC2040", path,
                          QCoreApplication::translate("QIODevice", "file to open is a directory"), REVERIZ_HERE);
        }
        if (!S_ISREG(info.st_mode))
            refuseSpecial();
        m_size = static_cast<qint64>(info.st_size);
        if (m_size > maximumSize)
            refuseTooLarge();
    }

    /** The size the file system reports; 0 for files that make their content as they are read (/proc). */
    qint64 size() const { return m_size; }

    /**
     * Reads size() bytes to into and makes sure the file ends there: one that yields fewer or more bytes throws
     * code 4005 once it is read to its end, and one that yields more than the maximum size is refused without
     * reading further.
     */
    void readAll(char* into)
    {
        qint64 total = readUpTo(into, m_size);
        if (total == m_size)
            total = countRest(total);
        if (total < 0)
            throw failure(ErrorCodes::FileReadFailed, "LRC2140", m_path, QString::fromLocal8Bit(std::strerror(errno)),
                          REVERIZ_HERE);
        if (total != m_size) {
            throw failure(ErrorCodes::FileReadFailed, "LRC2140", m_path,
                          QStringLiteral("read %1 bytes, size %2").arg(total).arg(m_size), REVERIZ_HERE);
        }
    }

private:
    int openFile() const
    {
        return ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    }

    // A writer that removed its target before renaming the companion was interrupted in between.
    void recoverCompanion(bool recoverTempReplace) const
    {
        QFile companion(companionOf(m_path));
        if (!recoverTempReplace || !companion.exists())
            throw failure(ErrorCodes::FileMissing, "LRC1112039", companion.fileName(), noDescription, REVERIZ_HERE);
        // QFile's rename never replaces an existing file, so a target that appeared meanwhile is not overwritten.
        if (!companion.rename(m_path))
            throw failure(ErrorCodes::FileRenameFailed, "LRC2037", m_path, companion.errorString(), REVERIZ_HERE);
        // The content is in place and readable; a failed directory sync only weakens durability.
        (void)AtomicFile::syncDirectoryOf(m_path, nullptr);
    }

    static bool isSpecial(mode_t mode) { return S_ISFIFO(mode) || S_ISSOCK(mode) || S_ISCHR(mode) || S_ISBLK(mode); }

    [[noreturn]] void refuseSpecial() const
    {
        refuse(QStringLiteral("not a regular file: %1").arg(m_path), REVERIZ_HERE);
    }

    [[noreturn]] void refuseTooLarge() const
    {
        refuse(QStringLiteral("file too large: %1 (more than %2 bytes)").arg(m_path).arg(m_maximumSize), REVERIZ_HERE);
    }

    // The bytes after the first total, counted, not kept: the file is refused whatever they are. -1 on an error.
    qint64 countRest(qint64 total)
    {
        char rest[4096];
        for (;;) {
            const qint64 room = m_maximumSize - total; // reading one byte more than the room tells a larger file
            const qint64 read = readUpTo(rest, room < qint64(sizeof rest) ? room + 1 : qint64(sizeof rest));
            if (read <= 0)
                return read < 0 ? read : total;
            total += read;
            if (total > m_maximumSize)
                refuseTooLarge();
        }
    }

    qint64 readUpTo(char* into, qint64 wanted)
    {
        qint64 done = 0;
        while (done < wanted) {
            const ssize_t read = ::read(m_fd, into + done, static_cast<std::size_t>(wanted - done));
            if (read < 0 && errno == EINTR)
                continue;
            if (read < 0)
                return -1;
            if (read == 0)
                break;
            done += read;
        }
        return done;
    }

    // Closes the file also when the constructor refuses it.
    struct Descriptor
    {
        int fd = -1;
        Descriptor() = default;
        ~Descriptor()
        {
            if (fd >= 0)
                ::close(fd);
        }
        Descriptor(const Descriptor&) = delete;
        Descriptor& operator=(const Descriptor&) = delete;
        operator int() const { return fd; } // NOLINT(google-explicit-constructor): used as the descriptor it is
    };

    QString m_path;
    qint64 m_maximumSize;
    qint64 m_size = 0;
    Descriptor m_fd;
};

} // namespace

namespace FileUtilities {

void writeByteArray(const QString& path, const QByteArray& data, bool safeReplace)
{
    const bool exists = QFile::exists(path);
    const bool replacing = exists && safeReplace;
    if (!exists)
        createDirectoryOf(path);

    // A companion left behind by an earlier failed replacement is simply truncated.
    QFile file(replacing ? companionOf(path) : path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw failure(ErrorCodes::FileOpenFailed, "LRC2137", file.fileName(), file.errorString(), REVERIZ_HERE);
    if (file.write(data) != data.size())
        throw failure(ErrorCodes::FileWriteFailed, "LRC2138", file.fileName(), file.errorString(), REVERIZ_HERE);
    if (!file.flush())
        throw failure(ErrorCodes::FileFlushFailed, "LRC2138", file.fileName(), file.errorString(), REVERIZ_HERE);
    if (::fsync(file.handle()) != 0)
        throw failure(ErrorCodes::FileSyncFailed, "LRC2138", file.fileName(), noDescription, REVERIZ_HERE);
    file.close();
    if (!replacing)
        return;

    // rename(2) replaces the target in one step, so readers find the old or the new file and never none.
    QString error;
    if (!AtomicFile::renameOver(file.fileName(), path, &error))
        throw failure(ErrorCodes::FileRenameFailed, "LRC2037", path, error, REVERIZ_HERE);
    if (!AtomicFile::syncDirectoryOf(path, &error))
        throw failure(ErrorCodes::FileSyncFailed, "LRC2138", path, error, REVERIZ_HERE);
}

void writeJsonValue(const QString& path, const Json::Value& value, bool safeReplace)
{
    writeByteArray(path, QByteArray::fromStdString(JsonText::compact(value)), safeReplace);
}

void readByteArray(const QString& path, QByteArray& data, bool recoverTempReplace, qint64 maximumSize)
{
    InputFile file(path, recoverTempReplace, maximumSize);
    QByteArray read(static_cast<qsizetype>(file.size()), Qt::Uninitialized);
    file.readAll(read.data());
    data = std::move(read);
}

void readJsonValue(const QString& path, Json::Value& value, bool recoverTempReplace, qint64 maximumSize)
{
    QByteArray text;
    const Reveriz::WipeGuard wipeText(text); // a key file's text holds its private key
    readByteArray(path, text, recoverTempReplace, maximumSize);
    if (!JsonText::parsePermissive(text, value))
        throw jsonParseFailure(path, REVERIZ_HERE);
}

ReverizException jsonParseFailure(const QString& path, const QString& sourceFile, int sourceLine)
{
    return failure(ErrorCodes::JsonFileParseFailed, "LRC3110", path, noDescription, sourceFile, sourceLine);
}

} // namespace FileUtilities

// Internal, for the log files' fast reader; it shares the checks of the readers above.
namespace Reveriz::Internal {

LargeBuffer readLargeFile(const QString& path, bool recoverTempReplace, qint64 maximumSize)
{
    InputFile file(path, recoverTempReplace, maximumSize);
    LargeBuffer buffer(static_cast<std::size_t>(file.size()) + 1);
    file.readAll(buffer.data());
    return buffer;
}

} // namespace Reveriz::Internal

namespace PathTools {

bool createEmptyFile(const QString& path, qint64 size)
{
    {
        QFile file(path);
        (void)file.open(QIODevice::ReadWrite); // a failure shows in truncate's result
    }
    return ::truncate(QFile::encodeName(path).constData(), static_cast<off_t>(size)) == 0;
}

bool isSameFile(const QString& a, const QString& b)
{
    // stat, not lstat: a symbolic link to a file stands for that file here.
    struct stat first
    {
    };
    struct stat second
    {
    };
    return ::stat(QFile::encodeName(a).constData(), &first) == 0
        && ::stat(QFile::encodeName(b).constData(), &second) == 0 && first.st_dev == second.st_dev
        && first.st_ino == second.st_ino;
}

QString eraseDangerousCharacters(const QString& text)
{
    static const QString allowed = QStringLiteral("1234567890 ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        if (allowed.contains(c))
            result += c;
    }
    return result;
}

QString combinePath(const QStringList& parts)
{
    const QLatin1Char separator('/');
    QString result;
    for (const QString& part : parts) {
        if (part.isEmpty())
            continue;
        if (!result.isEmpty() && !part.startsWith(separator) && !result.endsWith(separator))
            result += separator;
        result += part;
    }
    return result;
}

} // namespace PathTools
