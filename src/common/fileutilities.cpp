#include "fileutilities.h"

#include "common/exceptions/errorcodes.h"
#include "common/exceptions/reverizexception.h"
#include "common/internal/atomicfile.h"
#include "common/internal/inputfile.h"
#include "common/internal/jsontext.h"
#include "common/securebytes.h"

#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

using namespace Reveriz::Internal;

namespace {

const QString noDescription;

void createDirectoryOf(const QString& path)
{
    const QString directory = QFileInfo(path).absolutePath();
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(directory).toStdString(), error);
    if (error) {
        throw fileFailure(ErrorCodes::FileWriteFailed, "LRC2137", directory, QString::fromStdString(error.message()),
                          REVERIZ_HERE);
    }
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
        throw fileFailure(ErrorCodes::FileOpenFailed, "LRC2137", file.fileName(), file.errorString(), REVERIZ_HERE);
    if (file.write(data) != data.size())
        throw fileFailure(ErrorCodes::FileWriteFailed, "LRC2138", file.fileName(), file.errorString(), REVERIZ_HERE);
    if (!file.flush())
        throw fileFailure(ErrorCodes::FileFlushFailed, "LRC2138", file.fileName(), file.errorString(), REVERIZ_HERE);
    if (::fsync(file.handle()) != 0)
        throw fileFailure(ErrorCodes::FileSyncFailed, "LRC2138", file.fileName(), noDescription, REVERIZ_HERE);
    file.close();
    if (!replacing)
        return;

    // rename(2) replaces the target in one step, so readers find the old or the new file and never none.
    QString error;
    if (!AtomicFile::renameOver(file.fileName(), path, &error))
        throw fileFailure(ErrorCodes::FileRenameFailed, "LRC2037", path, error, REVERIZ_HERE);
    if (!AtomicFile::syncDirectoryOf(path, &error))
        throw fileFailure(ErrorCodes::FileSyncFailed, "LRC2138", path, error, REVERIZ_HERE);
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
    return fileFailure(ErrorCodes::JsonFileParseFailed, "LRC3110", path, noDescription, sourceFile, sourceLine);
}

} // namespace FileUtilities

namespace Reveriz {

std::string styledJsonText(const Json::Value& value)
{
    return JsonText::styled(value);
}

} // namespace Reveriz

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
