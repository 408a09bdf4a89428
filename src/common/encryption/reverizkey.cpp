#include "reverizkey.h"

#include "common/encryption/compressedformat.h"
#include "common/encryption/encryptionnames.h"
#include "common/encryption/reverizrsa.h"
#include "common/encryption/symmetriccipher.h"
#include "common/encryption/untrustedjson.h"
#include "common/exceptions/reverizexception.h"
#include "common/qkarnjsontrait.h"
#include "common/stringconversion.h"
#include "common/typechecks.h"

#include <QByteArrayView>
#include <QCryptographicHash>

#include <openssl/err.h>
#include <openssl/rand.h>

#include <stdexcept>
#include <utility>

using namespace Reveriz::Internal;

namespace {

// Defaults of keys written before the members existed.
constexpr char defaultCipherName[] = "bf-cbc";
constexpr bool defaultFixedIvec = true;
constexpr int defaultKeyLength = 1024;

// The announced size decryptData accepts; larger is taken for a forged or garbled header.
constexpr quint64 decryptDataLimitMiB = 128;

QByteArray randomKeyBytes(unsigned int length)
{
    QByteArray bytes(static_cast<qsizetype>(length), '\0');
    auto* data = reinterpret_cast<unsigned char*>(bytes.data());
    if (length > 0 && RAND_bytes_ex(/*libctx=*/nullptr, data, length, /*strength=*/0) != 1) {
        ERR_clear_error();
        throw KeyGenerationFailedException(REVERIZ_HERE);
    }
    return bytes;
}

QByteArray passPhraseKeyBytes(const QString& passPhrase, unsigned int keyLength)
{
    // Peers derive the same bytes: no salt, no count, and the chain is not cut to the key length.
    QByteArray key = QCryptographicHash::hash(passPhrase.toLatin1(), QCryptographicHash::Sha1);
    while (static_cast<quint64>(key.size()) < keyLength)
        key += QCryptographicHash::hash(key, QCryptographicHash::Sha1);
    return key;
}

// The tail of a Base64 text that must be its "=" fill: one or two "=" and nothing else.
bool isPadding(const QString& tail)
{
    return (tail.size() == 1 || tail.size() == 2) && tail.count(QLatin1Char('=')) == tail.size();
}

// Keys written before identifiers existed were package keys and named their package only.
ReverizKeyIdentifier identifierFromPackageId(const Json::Value& json)
{
    if (!json.isMember(Member::packageId))
        throw JsonMemberMissingException(Context::reverizKey, Member::identifier, REVERIZ_HERE);
    QString packageId;
    QkarnJsonTrait<QString>::fromJson(json[Member::packageId], packageId);
    if (!TypeChecks::isUUID(packageId))
        throw JsonMemberInvalidException(Context::reverizKey, Member::packageId, QStringLiteral("not a valid UUID"),
                                         REVERIZ_HERE);
    return ReverizKeyIdentifier::createPackageKeyWithoutFolderInformationIdentifier(packageId);
}

} // namespace

ReverizKey::ReverizKey(const ReverizKeyIdentifier& identifier, const QByteArray& key, const QString& cipherName,
                       unsigned int keyLengthInBytes, bool fixedIvec)
    : m_identifier(identifier)
    , m_key(key)
    , m_cipherName(cipherName)
    , m_keyLengthInBytes(keyLengthInBytes)
    , m_fixedIvec(fixedIvec)
{
}

ReverizKey::ReverizKey(const ReverizKeyIdentifier& identifier, const QString& cipherName, unsigned int keyLengthInBytes,
                       bool fixedIvec)
    : ReverizKey(identifier, randomKeyBytes(keyLengthInBytes), cipherName, keyLengthInBytes, fixedIvec)
{
}

std::shared_ptr<ReverizKey> ReverizKey::createSessionKey(const QString& cipherName, unsigned int keyLengthInBytes,
                                                         bool fixedIvec)
{
    return std::make_shared<ReverizKey>(ReverizKeyIdentifier::createSessionKeyIdentifier(), cipherName,
                                        keyLengthInBytes, fixedIvec);
}

std::shared_ptr<ReverizKey> ReverizKey::createLogfileKey(const QString& cipherName, unsigned int keyLengthInBytes,
                                                         bool fixedIvec)
{
    return std::make_shared<ReverizKey>(ReverizKeyIdentifier::createLogfileKeyIdentifier(), cipherName,
                                        keyLengthInBytes, fixedIvec);
}

std::shared_ptr<ReverizKey> ReverizKey::createPackageKey(const QString& folderId, const QString& packageId,
                                                         const QString& cipherName, unsigned int keyLengthInBytes,
                                                         bool fixedIvec)
{
    return std::make_shared<ReverizKey>(ReverizKeyIdentifier::createPackageKeyIdentifier(folderId, packageId),
                                        cipherName, keyLengthInBytes, fixedIvec);
}

std::shared_ptr<ReverizKey> ReverizKey::createPassPhraseBasedKey(const QString& passPhrase, const QString& cipherName,
                                                                 unsigned int keyLengthInBytes, bool fixedIvec)
{
    return std::make_shared<ReverizKey>(ReverizKeyIdentifier::createPassPhraseKeyIdentifier(),
                                        passPhraseKeyBytes(passPhrase, keyLengthInBytes), cipherName, keyLengthInBytes,
                                        fixedIvec);
}

void ReverizKey::addFolderId(QString folderId)
{
    const std::optional<QString> packageId = m_identifier.packageId();
    if (!packageId)
        throw InvalidUUIDException(REVERIZ_HERE);
    m_identifier = ReverizKeyIdentifier::createPackageKeyIdentifier(std::move(folderId), *packageId);
}

Json::Value ReverizKey::toJson() const
{
    Json::Value json(Json::objectValue);
    json[Member::key] = m_key.toBase64().toStdString();
    QkarnJsonTrait<QString>::toJson(json[Member::cipherName], m_cipherName);
    QkarnJsonTrait<unsigned int>::toJson(json[Member::keyLengthInBytes], m_keyLengthInBytes);
    QkarnJsonTrait<bool>::toJson(json[Member::fixedIvec], m_fixedIvec);
    json[Member::identifier] = m_identifier.toJson();
    if (const std::optional<QString> packageId = m_identifier.packageId())
        QkarnJsonTrait<QString>::toJson(json[Member::packageId], *packageId);
    return json;
}

std::shared_ptr<ReverizKey> ReverizKey::fromJson(const Json::Value& json)
{
    // The checks run in a fixed order, and the first failure is the one reported.
    if (!hasMember(json, Member::key))
        throw JsonMemberMissingException(Context::reverizKey, Member::key, REVERIZ_HERE);
    // The JSON library's string conversion makes "" of null and text of numbers and booleans; arrays and objects
    // have none.
    const Json::Value& keyValue = json[Member::key];
    const bool hasText = keyValue.isConvertibleTo(Json::stringValue);
    const QString keyText = hasText ? StringConversion::fromStdString(keyValue.asString()) : QString();
    if (!hasText || !TypeChecks::isBase64(keyText))
        throw JsonMemberInvalidException(Context::reverizKey, Member::key, QStringLiteral("not valid base64"),
                                         REVERIZ_HERE);

    QString cipherName = defaultCipherName;
    if (json.isMember(Member::cipherName))
        QkarnJsonTrait<QString>::fromJson(json[Member::cipherName], cipherName);
    bool fixedIvec = defaultFixedIvec;
    if (json.isMember(Member::fixedIvec))
        QkarnJsonTrait<bool>::fromJson(json[Member::fixedIvec], fixedIvec);
    int keyLength = defaultKeyLength;
    if (json.isMember(Member::keyLengthInBytes))
        QkarnJsonTrait<int>::fromJson(json[Member::keyLengthInBytes], keyLength);

    // The "=" fill is checked against the length before any bytes are counted: 3n+1 bytes end in "==", 3n+2 in
    // "=". A negative length never has a fitting fill unless it is a multiple of 3.
    const int remainder = keyLength % 3;
    if (remainder != 0 && !isPadding(keyText.right(3 - remainder)))
        throw InvalidJsonInputException(REVERIZ_HERE);
    const QByteArray key = keyValue.isString() ? QByteArray::fromBase64(keyText.toLatin1()) : QByteArray();
    if (key.size() != static_cast<qsizetype>(keyLength))
        throw JsonMemberInvalidException(Context::reverizKey, Member::key, QStringLiteral("keylength wrong"),
                                         REVERIZ_HERE);

    const ReverizKeyIdentifier identifier = json.isMember(Member::identifier)
        ? ReverizKeyIdentifier::fromJson(json[Member::identifier])
        : identifierFromPackageId(json);
    return std::make_shared<ReverizKey>(identifier, key, cipherName, static_cast<unsigned int>(keyLength), fixedIvec);
}

Json::Value ReverizKey::toJson(const std::shared_ptr<ReverizRSA>& pair) const
{
    if (!pair)
        throw std::invalid_argument("ReverizKey::toJson: no key pair");
    Json::Value wrapped = pair->encrypt(toJson());
    // The clear package id lets key files be filed without decrypting anything.
    if (const std::optional<QString> packageId = m_identifier.packageId())
        QkarnJsonTrait<QString>::toJson(wrapped[Member::packageId], *packageId);
    return wrapped;
}

std::shared_ptr<ReverizKey> ReverizKey::fromJson(const std::shared_ptr<ReverizRSA>& pair, const Json::Value& wrapped)
{
    if (!pair)
        throw std::invalid_argument("ReverizKey::fromJson: no key pair");
    return fromJson(pair->decrypt(wrapped));
}

QByteArray ReverizKey::encryptData(const QByteArray& data) const
{
    if (data.isEmpty())
        return data;
    const QByteArray ivec = SymmetricCipher::newStoredIvec(*this);
    return SymmetricCipher::seal(*this, ivec, CompressedFormat::compress(data));
}

QByteArray ReverizKey::decryptData(const QByteArray& data) const
{
    if (data.isEmpty())
        return data;
    const SymmetricCipher::StoredData stored = SymmetricCipher::split(*this, data);
    QByteArray compressed;
    const qsizetype written = SymmetricCipher::run(SymmetricCipher::Direction::Decrypt, m_cipherName, m_key,
                                                   stored.ivec, stored.ciphertext, compressed, 0);
    compressed.truncate(written);
    CompressedFormat::dataUncompressSanityCheck(compressed, decryptDataLimitMiB);
    return CompressedFormat::uncompress(compressed, decryptDataLimitMiB);
}

bool ReverizKey::decryptDataInPlace(char* data, qsizetype size, const Reveriz::Sink& sink,
                                    Reveriz::StreamCheck check) const
{
    if (size == 0)
        return true;
    const SymmetricCipher::StoredData stored = SymmetricCipher::split(*this, QByteArrayView(data, size));
    // The plain bytes overwrite the ciphertext from its start; a stored vector in front of it stays as it is.
    char* ciphertext = data + (size - stored.ciphertext.size());
    const qsizetype written =
        SymmetricCipher::decryptInPlace(m_cipherName, m_key, stored.ivec, ciphertext, stored.ciphertext.size());
    const QByteArrayView compressed(ciphertext, written);
    CompressedFormat::dataUncompressSanityCheck(compressed, decryptDataLimitMiB);
    return CompressedFormat::uncompressTo(compressed, decryptDataLimitMiB, sink, check);
}

quint64 ReverizKey::minimumBytesForDecryption() const
{
    return static_cast<quint64>(m_keyLengthInBytes) + 1;
}
