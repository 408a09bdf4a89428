#include "reverizkeyidentifier.h"

#include "common/encryption/internal/encryptionnames.h"
#include "common/encryption/internal/untrustedjson.h"
#include "common/exceptions/reverizexception.h"
#include "common/qkarnjsontrait.h"
#include "common/typechecks.h"

#include <iterator>
#include <utility>

using namespace Reveriz::Internal;

namespace {

// Indexed by KeyType.
constexpr const char* keyTypeNames[] = {
    "KeyTypePackageKeyWithoutFolderInformation",
    "KeyTypePackageKey",
    "KeyTypeSessionKey",
    "KeyTypePassPhraseKey",
    "KeyTypeLogfileKey",
};

std::optional<ReverizKeyIdentifier::KeyType> knownKeyType(const std::string& name)
{
    for (int type = 0; type < static_cast<int>(std::size(keyTypeNames)); ++type) {
        if (name == keyTypeNames[type])
            return static_cast<ReverizKeyIdentifier::KeyType>(type);
    }
    return std::nullopt;
}

QString readUuidMember(const Json::Value& json, const char* member)
{
    if (!json.isMember(member))
        throw InvalidJsonInputException(REVERIZ_HERE);
    QString id;
    QkarnJsonTrait<QString>::fromJson(json[member], id);
    if (!TypeChecks::isUUID(id))
        throw InvalidJsonInputException(REVERIZ_HERE);
    return id;
}

} // namespace

ReverizKeyIdentifier::ReverizKeyIdentifier(KeyType keyType, const std::optional<QString>& folderId,
                                           const std::optional<QString>& packageId)
    : m_keyType(keyType)
    , m_folderId(folderId)
    , m_packageId(packageId)
{
}

Json::Value ReverizKeyIdentifier::toJson() const
{
    Json::Value json(Json::objectValue);
    json[Member::keyType] = keyTypeToString(m_keyType);
    if (m_folderId)
        QkarnJsonTrait<QString>::toJson(json[Member::folderId], *m_folderId);
    if (m_packageId)
        QkarnJsonTrait<QString>::toJson(json[Member::packageId], *m_packageId);
    return json;
}

std::string ReverizKeyIdentifier::keyTypeToString(KeyType keyType)
{
    const int index = static_cast<int>(keyType);
    if (index < 0 || index >= static_cast<int>(std::size(keyTypeNames)))
        return keyTypeNames[KeyTypeSessionKey];
    return keyTypeNames[index];
}

ReverizKeyIdentifier::KeyType ReverizKeyIdentifier::keyTypeFromString(const std::string& name)
{
    return knownKeyType(name).value_or(KeyTypeSessionKey);
}

ReverizKeyIdentifier ReverizKeyIdentifier::fromJson(const Json::Value& json)
{
    // The checks run in a fixed order: the type first, then the folder id, then the package id.
    if (!hasMember(json, Member::keyType))
        throw InvalidJsonInputException(REVERIZ_HERE);
    const Json::Value& typeValue = json[Member::keyType];
    const std::optional<KeyType> keyType = typeValue.isString() ? knownKeyType(typeValue.asString()) : std::nullopt;
    if (!keyType)
        throw InvalidJsonInputException(REVERIZ_HERE);

    std::optional<QString> folderId;
    std::optional<QString> packageId;
    if (*keyType == KeyTypePackageKey)
        folderId = readUuidMember(json, Member::folderId);
    if (*keyType == KeyTypePackageKey || *keyType == KeyTypePackageKeyWithoutFolderInformation)
        packageId = readUuidMember(json, Member::packageId);
    return ReverizKeyIdentifier(*keyType, folderId, packageId);
}

ReverizKeyIdentifier ReverizKeyIdentifier::createPackageKeyIdentifier(QString folderId, QString packageId)
{
    if (!TypeChecks::isUUID(folderId))
        throw InvalidUUIDException(REVERIZ_HERE);
    if (!TypeChecks::isUUID(packageId))
        throw InvalidUUIDException(REVERIZ_HERE);
    return ReverizKeyIdentifier(KeyTypePackageKey, std::move(folderId), std::move(packageId));
}

ReverizKeyIdentifier ReverizKeyIdentifier::createPackageKeyWithoutFolderInformationIdentifier(QString packageId)
{
    if (!TypeChecks::isUUID(packageId))
        throw InvalidUUIDException(REVERIZ_HERE);
    return ReverizKeyIdentifier(KeyTypePackageKeyWithoutFolderInformation, std::nullopt, std::move(packageId));
}

ReverizKeyIdentifier ReverizKeyIdentifier::createSessionKeyIdentifier()
{
    return ReverizKeyIdentifier(KeyTypeSessionKey, std::nullopt, std::nullopt);
}

ReverizKeyIdentifier ReverizKeyIdentifier::createPassPhraseKeyIdentifier()
{
    return ReverizKeyIdentifier(KeyTypePassPhraseKey, std::nullopt, std::nullopt);
}

ReverizKeyIdentifier ReverizKeyIdentifier::createLogfileKeyIdentifier()
{
    return ReverizKeyIdentifier(KeyTypeLogfileKey, std::nullopt, std::nullopt);
}
