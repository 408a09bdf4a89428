#ifndef REVERIZ_COMMON_INTERNAL_ATOMICFILE_H
#define REVERIZ_COMMON_INTERNAL_ATOMICFILE_H

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <csignal>
#include <cstddef>
#include <optional>
#include <sys/types.h>

namespace Reveriz::Internal {

/**
 * Replaces a file in one step: the content goes to a new temporary file beside the target (mode 0600 until the
 * end), is synced, gets its final mode and is renamed over the target; then the directory is synced. Readers see
 * the old or the new content, never a mix, an empty file or nothing. A writer that is destroyed before commit()
 * removes its temporary file, and so does removeTemporaryFilesOnSignals() when the process is interrupted.
 *
 * QSaveFile is not used: it always syncs, cannot keep a file at 0600 whatever the umask, and does not sync the
 * directory after the rename.
 *
 * Like QFile, failures are reported by result and errorString(); callers turn them into their own errors.
 */
class AtomicFile
{
public:
    /** The mode the file gets. None ever carries the set-user-ID, set-group-ID or sticky bit. */
    enum class Permissions {
        /** 0600 whatever the umask: secrets such as private keys. */
        OwnerOnly,
        /** 0666 less the umask: files that hold no secret, such as public keys and encrypted logs. */
        Public,
        /**
         * 0600, or the permission bits of the file replaced when that is a regular file of the caller's own
         * (not a symbolic link): plain text, whose reader may have widened or narrowed it on purpose.
         */
        PlainText,
    };

    explicit AtomicFile(QString targetPath);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    /** Creates the temporary file; its name fits the file system's limit however long the target's name is. */
    [[nodiscard]] bool open(Permissions permissions);
    /** Appends all of data, or fails. */
    [[nodiscard]] bool write(const QByteArray& data);
    [[nodiscard]] bool write(const char* data, std::size_t size);

    /**
     * Whether commit forces the content to stable storage. Unsynced suits output that can be made again: the
     * replacement is still whole for every reader and survives the writer being killed, but not a system crash.
     */
    enum class Durability { Synced, Unsynced };
    /**
     * The first part of commit: syncs (when Synced), sets the mode and closes the temporary file, which stays
     * under its temporary name. A writer of several files finishes them all before it commits any.
     */
    [[nodiscard]] bool finish(Durability durability = Durability::Synced);
    /** Finishes the file (unless finish did), renames it over the target and syncs the directory (when Synced). */
    [[nodiscard]] bool commit(Durability durability = Durability::Synced);

    /**
     * For a writer that replaces several files together: before commit, keeps the file that commit replaces, as
     * a hard link under a temporary name that signals and discard() remove, so that restoreEarlier() can put it
     * back. A target that does not exist is kept as absent; a directory is not kept (commit fails on it).
     */
    [[nodiscard]] bool keepEarlier();
    /**
     * After commit: puts the kept earlier file back over the target, or removes the target when there was none.
     * On failure the earlier file stays under the name that errorString() gives.
     */
    [[nodiscard]] bool restoreEarlier();
    /** Closes and removes the temporary file, if any, and the kept earlier file's link. */
    void discard();

    QString targetPath() const { return m_targetPath; }
    QString temporaryPath() const { return m_temporaryPath; }
    /** What failed last, with the path concerned and the system's error text. */
    QString errorString() const { return m_errorString; }

    /** rename(2): from replaces to in one step. */
    [[nodiscard]] static bool renameOver(const QString& from, const QString& to, QString* errorString);
    /** Forces the directory entries of path's directory to stable storage. */
    [[nodiscard]] static bool syncDirectoryOf(const QString& path, QString* errorString);

    /**
     * For programs, at their end: names on standard error, after "PROGRAM: ", each temporary file whose removal
     * failed, so that the operator can remove it; true if there was any. Writes without allocating.
     */
    static bool reportUnremovedFiles(const char* program);

    /**
     * For programs (not libraries): on SIGINT, SIGTERM, SIGHUP or SIGQUIT, every temporary file of every open
     * AtomicFile is removed and the process ends as the signal ends it. Signals the process ignores stay ignored.
     * Also ignores SIGXFSZ, so that a file-size limit fails a write instead of killing the process.
     */
    static void removeTemporaryFilesOnSignals();

private:
    bool fail(const char* operation, const QString& path, int error);
    mode_t finalMode() const;

    QString m_targetPath;
    QString m_temporaryPath;
    QByteArray m_encodedTemporaryPath;
    QByteArray m_keptPath;
    QString m_errorString;
    Permissions m_permissions = Permissions::OwnerOnly;
    int m_fd = -1;
    int m_registration = -1;
    int m_keptRegistration = -1;
    bool m_keeping = false;
};

/**
 * Holds back, on the calling thread, the signals that remove temporary files, while the object lives: for steps
 * that must not be cut in two, such as the renames of files replaced together. They arrive once it is destroyed.
 */
class DeferredCleanupSignals
{
public:
    DeferredCleanupSignals();
    ~DeferredCleanupSignals();
    DeferredCleanupSignals(const DeferredCleanupSignals&) = delete;
    DeferredCleanupSignals& operator=(const DeferredCleanupSignals&) = delete;

private:
    sigset_t m_previous {};
};

/**
 * The one output policy of the tools: every file they write goes through it. A regular file, or a name that names
 * nothing yet (a dangling symbolic link included), is replaced atomically through an AtomicFile. A character device
 * or a FIFO, also behind a symbolic link, is opened as it is (neither created nor truncated, its mode untouched) and
 * written in place; it is never renamed over. Anything else is refused: a directory, a block device, a socket; a
 * device or FIFO of another user (neither the caller nor root) in a directory that not only the caller may write
 * to, which may be a trap for the caller's output (such a user's symbolic link is replaced, never followed); and a
 * symbolic link to a regular file that is one of the process's standard streams (such as /dev/stdout), which would
 * be replaced instead of written.
 *
 * An output that is one of the command's inputs is for the caller to refuse, with inputAmong, before it reads.
 */
class OutputFile
{
public:
    enum class Placement { Replaced, InPlace };

    explicit OutputFile(QString targetPath);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    /** How targetPath would be written, or nothing (and *errorString, when given, says why) if it is refused. */
    [[nodiscard]] static std::optional<Placement> placementOf(const QString& targetPath, QString* errorString);

    /** Decides as placementOf does and opens the target: a temporary file with permissions, or the device itself. */
    [[nodiscard]] bool open(AtomicFile::Permissions permissions);
    /** Appends all of data, or fails. What is written in place cannot be taken back. */
    [[nodiscard]] bool write(const QByteArray& data);
    [[nodiscard]] bool write(const char* data, std::size_t size);
    /** Replaces the target as AtomicFile::commit does, or closes the device written in place. */
    [[nodiscard]] bool commit(AtomicFile::Durability durability = AtomicFile::Durability::Synced);
    /** Removes the temporary file, or closes the device. */
    void discard();

    /** Valid once open succeeded. */
    Placement placement() const { return m_placement; }
    QString targetPath() const { return m_targetPath; }
    /** What failed or was refused last, naming the target. */
    QString errorString() const { return m_errorString; }

    /**
     * The first of inputs that is the file outputPath names: the same device and inode, symbolic links followed, so
     * that other paths and hard and symbolic links count. When outputPath names no file yet, an input of the same
     * name in the same directory, which a read may yet restore from its companion; else nothing.
     */
    static std::optional<QString> inputAmong(const QString& outputPath, const QStringList& inputs);
    /** The same for the file open as descriptor, such as standard output. */
    static std::optional<QString> inputAmong(int descriptor, const QStringList& inputs);

private:
    bool fail(const QString& error);

    QString m_targetPath;
    AtomicFile m_replacement;
    Placement m_placement = Placement::Replaced;
    QString m_errorString;
    int m_fd = -1;
};

/**
 * An exclusive advisory lock (flock) on a directory, held while the object lives: writers that replace several
 * files of one directory together take it so that their replacements do not interleave.
 */
class DirectoryLock
{
public:
    /** Waits for the lock on directory; locked() tells whether it was taken. */
    explicit DirectoryLock(const QString& directory);
    ~DirectoryLock();
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;

    bool locked() const { return m_fd >= 0; }
    QString errorString() const { return m_errorString; }

private:
    int m_fd = -1;
    QString m_errorString;
};

} // namespace Reveriz::Internal

#endif
