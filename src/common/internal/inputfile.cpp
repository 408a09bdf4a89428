#include "inputfile.h"

#include "common/internal/atomicfile.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Reveriz::Internal {

namespace {

// Peers and files already on disk know the companion by this name, so it carries no unique part.
const QLatin1String companionSuffix(".tempreplace");
const QString noDescription;

[[noreturn]] void refuse(const QString& message, const QString& sourceFile, int sourceLine)
{
    throw InputRefusedException(QStringLiteral("FileUtilities"), message, sourceFile, sourceLine);
}

bool isSpecial(mode_t mode)
{
    return S_ISFIFO(mode) || S_ISSOCK(mode) || S_ISCHR(mode) || S_ISBLK(mode);
}

} // namespace

QString companionOf(const QString& path)
{
    return path + companionSuffix;
}

ReverizException fileFailure(ErrorCodes::Code code, const char* key, const QString& name, const QString& description,
                             const QString& sourceFile, int sourceLine)
{
    QString details = ErrorCodes::filled("FileUtilities", key, name);
    if (!description.isEmpty())
        details += QLatin1Char(' ') + description;
    return ReverizException(QStringLiteral("FileUtilities"), code, details, QString(), name, QString(), sourceFile,
                            sourceLine);
}

InputFile::InputFile(const QString& path, bool recoverTempReplace, qint64 maximumSize)
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
        throw fileFailure(ErrorCodes::FileMissing, "LRC2040", path, QString::fromLocal8Bit(std::strerror(error)),
                          REVERIZ_HERE);
    }
    if (::fstat(m_fd, &info) != 0) {
        refuse(QStringLiteral("cannot examine %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))),
               REVERIZ_HERE);
    }
    if (S_ISDIR(info.st_mode)) {
        // In the words QFile has for it.
        throw fileFailure(ErrorCodes::FileMissing, "LRC2040", path,
                          QCoreApplication::translate("QIODevice", "file to open is a directory"), REVERIZ_HERE);
    }
    if (!S_ISREG(info.st_mode))
        refuseSpecial();
    m_size = static_cast<qint64>(info.st_size);
    if (m_size > maximumSize)
        refuseTooLarge();
}

void InputFile::readAll(char* into)
{
    qint64 total = readUpTo(into, m_size);
    if (total == m_size)
        total = countRest(total);
    if (total < 0)
        throw fileFailure(ErrorCodes::FileReadFailed, "LRC2140", m_path, QString::fromLocal8Bit(std::strerror(errno)),
                          REVERIZ_HERE);
    if (total != m_size) {
        throw fileFailure(ErrorCodes::FileReadFailed, "LRC2140", m_path,
                          QStringLiteral("read %1 bytes, size %2").arg(total).arg(m_size), REVERIZ_HERE);
    }
}

int InputFile::openFile() const
{
    return ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

// A writer that removed its target before renaming the companion was interrupted in between.
void InputFile::recoverCompanion(bool recoverTempReplace) const
{
    QFile companion(companionOf(m_path));
    if (!recoverTempReplace || !companion.exists())
        throw fileFailure(ErrorCodes::FileMissing, "LRC1112039", companion.fileName(), noDescription, REVERIZ_HERE);
    // QFile's rename never replaces an existing file, so a target that appeared meanwhile is not overwritten.
    if (!companion.rename(m_path))
        throw fileFailure(ErrorCodes::FileRenameFailed, "LRC2037", m_path, companion.errorString(), REVERIZ_HERE);
    // The content is in place and readable; a failed directory sync only weakens durability.
    (void)AtomicFile::syncDirectoryOf(m_path, nullptr);
}

void InputFile::refuseSpecial() const
{
    refuse(QStringLiteral("not a regular file: %1").arg(m_path), REVERIZ_HERE);
}

void InputFile::refuseTooLarge() const
{
    refuse(QStringLiteral("file too large: %1 (more than %2 bytes)").arg(m_path).arg(m_maximumSize), REVERIZ_HERE);
}

// The bytes after the first total, counted, not kept: the file is refused whatever they are. -1 on an error.
qint64 InputFile::countRest(qint64 total)
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

qint64 InputFile::readUpTo(char* into, qint64 wanted)
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

InputFile::Descriptor::~Descriptor()
{
    if (fd >= 0)
        ::close(fd);
}

} // namespace Reveriz::Internal
