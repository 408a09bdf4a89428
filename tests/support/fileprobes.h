#ifndef REVERIZ_TESTS_SUPPORT_FILEPROBES_H
#define REVERIZ_TESTS_SUPPORT_FILEPROBES_H

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <sys/stat.h>

// Small probes of the file system for tests of code that writes files.
namespace FileProbes {

/** The whole content of path, or "<unreadable>". */
inline QByteArray content(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

/** Writes data as the whole content of path, making its directory first; false if that fails. */
[[nodiscard]] inline bool put(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

/** Every entry of directory, hidden ones included, sorted by name. */
inline QStringList entries(const QString& directory)
{
    return QDir(directory).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

/** The permission bits of path (following links); 0 if it cannot be read. */
inline mode_t mode(const QString& path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

} // namespace FileProbes

#endif
