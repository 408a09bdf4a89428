#ifndef REVERIZ_COMMON_FILEUTILITIES_H
#define REVERIZ_COMMON_FILEUTILITIES_H

/**
 * @file
 * FileUtilities, whole-file reads and writes, and PathTools, paths and file names.
 */

#include "common/reverizexport.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <json/value.h>

#include <limits>
#include <string>

class ReverizException;

/**
 * Whole-file reads and writes of byte arrays and JSON documents. Every failure throws a ReverizException named
 * "FileUtilities" whose details are the catalogue text (context "FileUtilities") of the failure's key with its
 * "%1" filled in, and whose id is the file concerned.
 *
 * A safe replacement writes the new content to the companion file path + ".tempreplace" and renames it over the
 * target. A companion left behind without its target can be moved into place by a read.
 */
namespace FileUtilities {

/**
 * Writes data as the whole content of path, creating missing directories. With safeReplace, an existing file is
 * replaced in one step through its companion; without, it is truncated and overwritten in place.
 */
REVERIZ_EXPORT void writeByteArray(const QString& path, const QByteArray& data, bool safeReplace);

/** Writes the compact JSON text of value (one line and a line feed) like writeByteArray. */
REVERIZ_EXPORT void writeJsonValue(const QString& path, const Json::Value& value, bool safeReplace);

/** No limit on the size of a file read. */
inline constexpr qint64 AnySize = std::numeric_limits<qint64>::max();

/**
 * Replaces data with the whole content of path. With recoverTempReplace, a missing file whose companion exists
 * is first restored from the companion. Throws code 4001 naming the companion when neither is used, 4001 naming
 * path when it cannot be opened (a directory among them), and 4005 when it yields another number of bytes than
 * its size (such as the files under /proc, whose size reads 0). Only a regular file of at most maximumSize bytes
 * is read: a FIFO, a socket or a device, a larger file and a name that is not valid UTF-8 throw
 * InputRefusedException before anything is read, and so does a file that yields more than maximumSize bytes,
 * before it is read further.
 */
REVERIZ_EXPORT void readByteArray(const QString& path, QByteArray& data, bool recoverTempReplace,
                                  qint64 maximumSize = AnySize);

/** Reads path like readByteArray and parses it permissively (comments, any root value); 4006 if not JSON. */
REVERIZ_EXPORT void readJsonValue(const QString& path, Json::Value& value, bool recoverTempReplace,
                                  qint64 maximumSize = AnySize);

/** What readJsonValue throws for a file at path that is not JSON (code 4006), for readers that parse it otherwise. */
REVERIZ_EXPORT ReverizException jsonParseFailure(const QString& path, const QString& sourceFile, int sourceLine);

} // namespace FileUtilities

namespace Reveriz {

/** The styled JSON text of value: three-space indentation, one member per line and a final line feed; what key
 *  files hold. */
REVERIZ_EXPORT std::string styledJsonText(const Json::Value& value);

} // namespace Reveriz

/** Paths and file names. Nothing here throws. */
namespace PathTools {

/**
 * Creates path if it is missing and sets its length to size (cutting it, or extending it with zero bytes).
 * Returns true when the file now has that length; false, for example, when its directory does not exist.
 */
REVERIZ_EXPORT bool createEmptyFile(const QString& path, qint64 size);

/**
 * Whether a and b both exist and are one file: the same device and inode, with symbolic links followed, so that
 * hard and symbolic links to a file count as that file.
 */
REVERIZ_EXPORT bool isSameFile(const QString& a, const QString& b);

/** Keeps only the ASCII digits and letters and the space of text, in order. */
REVERIZ_EXPORT QString eraseDangerousCharacters(const QString& text);

/**
 * Joins the non-empty parts with "/", adding one only where neither side of the join has one. Nothing else is
 * normalised: "a/" and "/b" give "a//b".
 */
REVERIZ_EXPORT QString combinePath(const QStringList& parts);

} // namespace PathTools

#endif
