#ifndef REVERIZ_COMMON_INTERNAL_INPUTFILE_H
#define REVERIZ_COMMON_INTERNAL_INPUTFILE_H

#include "common/exceptions/errorcodes.h"
#include "common/exceptions/reverizexception.h"

#include <QString>

namespace Reveriz::Internal {

/** The companion a safe replacement writes before renaming it over path: path + ".tempreplace". */
QString companionOf(const QString& path);

/** A failure of the file readers and writers (context "FileUtilities"), its details filled from key with name. */
ReverizException fileFailure(ErrorCodes::Code code, const char* key, const QString& name, const QString& description,
                             const QString& sourceFile, int sourceLine);

/**
 * A file opened to read all of it. Only a regular file is read, and only up to maximumSize bytes: the open does
 * not block (a FIFO would wait for a writer for ever), and kind and size are checked before a byte is read or any
 * memory is reserved for it. A directory fails as a file that cannot be opened, as it always has. With
 * recoverTempReplace, a missing file whose companion exists is first put back from it.
 */
class InputFile
{
public:
    InputFile(const QString& path, bool recoverTempReplace, qint64 maximumSize);

    /** The size the file system reports; 0 for files that make their content as they are read (/proc). */
    qint64 size() const { return m_size; }

    /**
     * Reads size() bytes to into and makes sure the file ends there: one that yields fewer or more bytes throws
     * code 4005 once it is read to its end, and one that yields more than the maximum size is refused without
     * reading further.
     */
    void readAll(char* into);

private:
    int openFile() const;
    void recoverCompanion(bool recoverTempReplace) const;
    [[noreturn]] void refuseSpecial() const;
    [[noreturn]] void refuseTooLarge() const;
    qint64 countRest(qint64 total);
    qint64 readUpTo(char* into, qint64 wanted);

    // Closes the file also when the constructor refuses it.
    struct Descriptor
    {
        int fd = -1;
        Descriptor() = default;
        ~Descriptor();
        Descriptor(const Descriptor&) = delete;
        Descriptor& operator=(const Descriptor&) = delete;
        operator int() const { return fd; } // NOLINT(google-explicit-constructor): used as the descriptor it is
    };

    QString m_path;
    qint64 m_maximumSize;
    qint64 m_size = 0;
    Descriptor m_fd;
};

} // namespace Reveriz::Internal

#endif
