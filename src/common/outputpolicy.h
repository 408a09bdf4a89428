#ifndef REVERIZ_COMMON_OUTPUTPOLICY_H
#define REVERIZ_COMMON_OUTPUTPOLICY_H

/**
 * @file
 * Reveriz::OutputPolicy, how the tools write their outputs and clean up after them.
 */

#include "common/reverizexport.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

/**
 * The output policy of the tools, for programs that write files as they do. A regular file, or a name that names
 * nothing yet (a dangling symbolic link included), is replaced in one step through a temporary file beside it:
 * readers see the old or the new content, never a mix, an empty file or nothing. A character device or a FIFO is
 * written in place, never replaced, its mode untouched. Anything else is refused: a directory, a block device, a
 * socket, a device or FIFO of another user in a directory that not only the caller may write to, and a symbolic
 * link to a regular file that is one of the process's standard streams. No output carries the set-user-ID,
 * set-group-ID or sticky bit. An output that is one of the command's inputs is for the caller to refuse, with
 * inputAmong, before it reads.
 */
namespace Reveriz::OutputPolicy {

/**
 * Writes data as the whole content of outputPath through the policy, synced to stable storage; a file created or
 * replaced gets mode 0666 less the umask, for outputs that hold no secret. False when the output is refused or a
 * step fails: then *errorString (when given) says what, naming the target, and no temporary file is left behind.
 */
[[nodiscard]] REVERIZ_EXPORT bool writePublicFile(const QString& outputPath, const QByteArray& data,
                                                  QString* errorString);

/**
 * The first of inputs that is the file outputPath names: the same device and inode, symbolic links followed, so
 * that other paths and hard and symbolic links count. When outputPath names no file yet, an input of the same name
 * in the same directory, which a read may yet restore from its companion; else nothing.
 */
REVERIZ_EXPORT std::optional<QString> inputAmong(const QString& outputPath, const QStringList& inputs);

/** The first of inputs that is the file open as descriptor, such as standard output; else nothing. */
REVERIZ_EXPORT std::optional<QString> inputAmong(int descriptor, const QStringList& inputs);

/**
 * For programs (not libraries), once at their start: on SIGINT, SIGTERM, SIGHUP or SIGQUIT, every temporary file
 * of an output being written is removed and the process ends as the signal ends it. Signals the process ignores
 * stay ignored. Also ignores SIGXFSZ, so that a file-size limit fails a write instead of killing the process.
 */
REVERIZ_EXPORT void removeTemporaryFilesOnSignals();

/**
 * For programs, at their end: names on standard error, after "PROGRAM: ", each temporary file whose removal
 * failed, so that the operator can remove it; true if there was any. Writes without allocating.
 */
REVERIZ_EXPORT bool reportUnremovedFiles(const char* program);

} // namespace Reveriz::OutputPolicy

#endif
