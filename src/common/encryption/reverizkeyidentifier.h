#ifndef REVERIZ_COMMON_ENCRYPTION_REVERIZKEYIDENTIFIER_H
#define REVERIZ_COMMON_ENCRYPTION_REVERIZKEYIDENTIFIER_H

/**
 * @file
 * ReverizKeyIdentifier, the name of a symmetric key.
 */

#include "common/reverizexport.h"

#include <QString>

#include <json/value.h>

#include <optional>
#include <string>

/**
 * Names a symmetric key: its kind and, for package keys, the package (and folder) it belongs to. The factories
 * and fromJson guarantee lower-case 8-4-4-4-12 UUIDs and the ids each kind needs; the constructor checks nothing.
 */
class REVERIZ_EXPORT ReverizKeyIdentifier
{
public:
    /** The kinds of key. The numbers are part of the stored format; the names are the JSON texts. */
    enum KeyType : int {
        KeyTypePackageKeyWithoutFolderInformation = 0, ///< package id only
        KeyTypePackageKey = 1, ///< folder id and package id
        KeyTypeSessionKey = 2,
        KeyTypePassPhraseKey = 3,
        KeyTypeLogfileKey = 4,
    };

    /** Stores the values unchanged, with no check. */
    ReverizKeyIdentifier(KeyType keyType, const std::optional<QString>& folderId,
                         const std::optional<QString>& packageId);

    /** The kind of key. */
    KeyType keyType() const { return m_keyType; }
    /** The folder id, if any: package keys with folder information have one. */
    std::optional<QString> folderId() const { return m_folderId; }
    /** The package id, if any: package keys have one. */
    std::optional<QString> packageId() const { return m_packageId; }

    /** {"keyType": name, "folderId" and "packageId" when set}; writes whatever the identifier holds. */
    Json::Value toJson() const;

    /** The JSON name of keyType; "KeyTypeSessionKey" for a value outside the enumeration. */
    static std::string keyTypeToString(KeyType keyType);
    /** The type named exactly (case-sensitively) by name; KeyTypeSessionKey for any other text. */
    static KeyType keyTypeFromString(const std::string& name);

    /**
     * Reads the JSON form; throws InvalidJsonInputException on a missing or unknown "keyType", or on a missing or
     * non-UUID id that the type needs. Ids the type does not need are ignored.
     */
    static ReverizKeyIdentifier fromJson(const Json::Value& json);

    /** Both ids must be UUIDs, the folder id is checked first; throws InvalidUUIDException. */
    static ReverizKeyIdentifier createPackageKeyIdentifier(QString folderId, QString packageId);
    /** The package id must be a UUID; throws InvalidUUIDException. */
    static ReverizKeyIdentifier createPackageKeyWithoutFolderInformationIdentifier(QString packageId);
    /** A session key's identifier: no ids. */
    static ReverizKeyIdentifier createSessionKeyIdentifier();
    /** A pass-phrase key's identifier: no ids. */
    static ReverizKeyIdentifier createPassPhraseKeyIdentifier();
    /** A log file key's identifier: no ids. */
    static ReverizKeyIdentifier createLogfileKeyIdentifier();

    /** Same key type and the same ids. */
    friend bool operator==(const ReverizKeyIdentifier& a, const ReverizKeyIdentifier& b)
    {
        return a.m_keyType == b.m_keyType && a.m_folderId == b.m_folderId && a.m_packageId == b.m_packageId;
    }
    /** Not operator==. */
    friend bool operator!=(const ReverizKeyIdentifier& a, const ReverizKeyIdentifier& b) { return !(a == b); }

private:
    KeyType m_keyType;
    std::optional<QString> m_folderId;
    std::optional<QString> m_packageId;
};

#endif
