#include "fileutilities.h"

#include "common/atomicfile.h"
#include "common/exceptions/errorcodes.h"
#include "common/exceptions/reverizexception.h"
#include "common/jsontext.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>
#include <unistd.h>

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

// Opens file (named by the path to read) read-only, first moving a companion into place when the target is
// missing and recoverTempReplace allows.
void openForReading(QFile& file, bool recoverTempReplace)
{
    const QString path = file.fileName();
    if (!QFile::exists(path)) {
        QFile companion(companionOf(path));
        if (!recoverTempReplace || !companion.exists())
            throw failure(ErrorCodes::FileMissing, "LRC1112039", companion.fileName(), noDescription, REVERIZ_HERE);
        // A writer that removed its target before renaming the companion was interrupted in between. QFile's
        // rename never replaces an existing file, so a target that appeared meanwhile is not overwritten.
        if (!companion.rename(path))
            throw failure(ErrorCodes::FileRenameFailed, "LRC2037", path, companion.errorString(), REVERIZ_HERE);
        // The content is in place and readable; a failed directory sync only weakens durability.
        (void)AtomicFile::syncDirectoryOf(path, nullptr);
    }
    if (!file.open(QIODevice::ReadOnly))
        throw failure(ErrorCodes::FileMissing, "LRC2040", path, file.errorString(), REVERIZ_HERE);
}

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

void readByteArray(const QString& path, QByteArray& data, bool recoverTempReplace)
{
    QFile file(path);
    openForReading(file, recoverTempReplace);
    data = file.readAll();
    if (data.size() != file.size())
        throw failure(ErrorCodes::FileReadFailed, "LRC2140", path, file.errorString(), REVERIZ_HERE);
}

LargeBuffer readLargeFile(const QString& path, bool recoverTempReplace)
{
    QFile file(path);
    openForReading(file, recoverTempReplace);
    const qint64 size = file.size();
    LargeBuffer buffer(static_cast<std::size_t>(size) + 1);
    // Like readAll, the whole file: fewer bytes than its size, or more, is a failed read.
    char extra = 0;
    if (file.read(buffer.data(), size) != size || file.read(&extra, 1) != 0)
        throw failure(ErrorCodes::FileReadFailed, "LRC2140", path, file.errorString(), REVERIZ_HERE);
    return buffer;
}

void readJsonValue(const QString& path, Json::Value& value, bool recoverTempReplace)
{
    QByteArray text;
    readByteArray(path, text, recoverTempReplace);
    if (!JsonText::parsePermissive(text, value))
        throw failure(ErrorCodes::JsonFileParseFailed, "LRC3110", path, noDescription, REVERIZ_HERE);
}

} // namespace FileUtilities

namespace PathTools {

bool createEmptyFile(const QString& path, qint64 size)
{
    {
        QFile file(path);
        (void)file.open(QIODevice::ReadWrite); // a failure shows in truncate's result
    }
    return ::truncate(QFile::encodeName(path).constData(), static_cast<off_t>(size)) == 0;
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
