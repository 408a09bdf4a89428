#include "common/encryption/internal/encryptionnames.h"
#include "common/encryption/internal/untrustedjson.h"
#include "common/exceptions/reverizexception.h"
#include "common/fileutilities.h"
#include "common/internal/jsontext.h"
#include "common/uuidtools.h"
#include "reverizkey.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Reveriz::Internal;

namespace {

constexpr char keyFileSuffix[] = ".reverizencryptedkey";

// The ids become a directory and a file name under the caller's base directory. UUID-shaped text can be neither
// empty nor contain "." or "/", so it never leaves that directory.
bool isPathComponent(const QString& id)
{
    return !id.isEmpty() && UuidTools::validateUuid(id);
}

QString keyFilePath(const QString& baseDirectory, const QString& userUUID, const QString& packageId)
{
    return PathTools::combinePath({baseDirectory, userUUID, packageId}) + keyFileSuffix;
}

// The text of a member, or none when it cannot be a path component.
QString idText(const Json::Value& json, const char* name)
{
    const QString id = readText(json, name);
    return isPathComponent(id) ? id : QString();
}

} // namespace

void ReverizKey::writeEncryptedKeyToFile(const QString& baseDirectory, const Json::Value& wrappedKey)
{
    const QString package = packageId(wrappedKey);
    const QString user = encryptedForUserUUID(wrappedKey);
    const QString path = keyFilePath(baseDirectory, user, package);
    (void)QDir().mkpath(QFileInfo(path).path()); // a failure shows when the file is opened

    // Unbuffered, so that the write's result is the file's: a buffered write only fails later, on close.
    const QByteArray text = QByteArray::fromStdString(JsonText::styled(wrappedKey));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)
        || file.write(text) != text.size())
        throw FileWriteFailedException(Context::reverizKey, file.errorString(), IdType::packageFile, path,
                                       REVERIZ_HERE);
}

Json::Value ReverizKey::readEncryptedKeyFromFile(const QString& baseDirectory, const QString& packageId,
                                                 const QString& userUUID)
{
    const QString path = keyFilePath(baseDirectory, userUUID, packageId);
    if (!isPathComponent(packageId) || !isPathComponent(userUUID) || !QFile::exists(path))
        throw PackageKeyFileDoesNotExistException(packageId, REVERIZ_HERE);
    QFile file(path);
    // A file that cannot be opened reads as no content, which fails as JSON below.
    (void)file.open(QIODevice::ReadOnly);
    Json::Value wrappedKey;
    if (!JsonText::parseStrict(file.readAll(), wrappedKey))
        throw JsonParseError(Context::reverizKey, REVERIZ_HERE);
    return wrappedKey;
}

void ReverizKey::deleteKeyFile(const QString& baseDirectory, const QString& packageId, const QString& userUUID)
{
    if (isPathComponent(packageId) && isPathComponent(userUUID))
        (void)QFile::remove(keyFilePath(baseDirectory, userUUID, packageId));
}

QString ReverizKey::encryptedForUserUUID(const Json::Value& wrappedKey)
{
    QString userUUID = idText(memberOf(wrappedKey, Member::encryptedFor), Member::userUUID);
    if (userUUID.isEmpty())
        throw CouldNotDetermineUserUUIDOfEncryptedPackageException(REVERIZ_HERE);
    return userUUID;
}

QString ReverizKey::packageId(const Json::Value& wrappedKey)
{
    QString id = idText(wrappedKey, Member::packageId);
    if (id.isEmpty())
        throw CouldNotDeterminePackageUUIDOfEncryptedPackageException(REVERIZ_HERE);
    return id;
}
