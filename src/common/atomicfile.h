#ifndef REVERIZ_COMMON_ATOMICFILE_H
#define REVERIZ_COMMON_ATOMICFILE_H

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <optional>
#include <sys/types.h>

/**
 * Replaces a file in one step: the content goes to a new temporary file beside the target, is synced, and is
 * renamed over the target; then the directory is synced. Readers see the old or the new content, never a mix,
 * an empty file or nothing. A writer that is destroyed before commit() removes its temporary file.
 *
 * Like QFile, failures are reported by result and errorString(); callers turn them into their own errors.
 */
class AtomicFile
{
public:
    explicit AtomicFile(QString targetPath);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    /**
     * Creates the temporary file. With a mode, the file gets exactly that mode whatever the umask; without, it
     * keeps the mode of the file it replaces, or gets the mode of a newly created file (0666 less the umask).
     */
    [[nodiscard]] bool open(std::optional<mode_t> mode = std::nullopt);
    /** Appends all of data, or fails. */
    [[nodiscard]] bool write(const QByteArray& data);
    [[nodiscard]] bool write(const char* data, std::size_t size);

    /**
     * Whether commit forces the content to stable storage. Unsynced suits output that can be made again: the
     * replacement is still whole for every reader and survives the writer being killed, but not a system crash.
     */
    enum class Durability { Synced, Unsynced };
    /** Syncs (when Synced) and closes the temporary file, renames it over the target and syncs the directory. */
    [[nodiscard]] bool commit(Durability durability = Durability::Synced);
    /** Closes and removes the temporary file, if any. */
    void discard();

    QString targetPath() const { return m_targetPath; }
    QString temporaryPath() const { return m_temporaryPath; }
    /** What failed last, with the path concerned and the system's error text. */
    QString errorString() const { return m_errorString; }

    /** rename(2): from replaces to in one step. */
    [[nodiscard]] static bool renameOver(const QString& from, const QString& to, QString* errorString);
    /** Forces the directory entries of path's directory to stable storage. */
    [[nodiscard]] static bool syncDirectoryOf(const QString& path, QString* errorString);

private:
    bool fail(const char* operation, const QString& path, int error);

    QString m_targetPath;
    QString m_temporaryPath;
    QString m_errorString;
    int m_fd = -1;
};

#endif
