#include "reverizkey.h"

#include "common/encryption/internal/compressedformat.h"
#include "common/encryption/internal/encryptionnames.h"
#include "common/encryption/internal/symmetriccipher.h"
#include "common/encryption/internal/untrustedjson.h"
#include "common/encryption/reverizrsa.h"
#include "common/exceptions/reverizexception.h"
#include "common/qkarnjsontrait.h"
#include "common/securebytes.h"
#include "common/stringconversion.h"
#include "common/typechecks.h"

#include <QByteArrayView>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
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
    // Peers derive the same bytes: no salt, no count, and the chain is not cut to the key length. Each digest is
    // written into the key's own buffer, so that the derivation leaves no copy of the key or the phrase behind.
    constexpr qsizetype digestSize = 20;
    QByteArray latin1 = passPhrase.toLatin1();
    const Reveriz::WipeGuard wipeLatin1(latin1);
    const qsizetype digests = std::max<qsizetype>(1, (static_cast<qsizetype>(keyLength) + digestSize - 1) / digestSize);
    QByteArray key(digests * digestSize, Qt::Uninitialized);
    auto* out = reinterpret_cast<unsigned char*>(key.data());
    for (qsizetype i = 0; i < digests; ++i) {
        const bool first = i == 0;
        const void* input = first ? static_cast<const void*>(latin1.constData()) : key.constData();
        const std::size_t inputSize =
            first ? static_cast<std::size_t>(latin1.size()) : static_cast<std::size_t>(i * digestSize);
        if (EVP_Digest(input, inputSize, out + i * digestSize, /*size=*/nullptr, EVP_sha1(), /*impl=*/nullptr) != 1) {
            ERR_clear_error();
            Reveriz::wipe(key);
            throw KeyGenerationFailedException(REVERIZ_HERE);
        }
    }
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

ReverizKey& ReverizKey::operator=(const ReverizKey& other)
{
    // A copy shares the key bytes, and the move wipes the ones this key held.
    if (this != &other)
        *this = ReverizKey(other);
    return *this;
}

ReverizKey& ReverizKey::operator=(ReverizKey&& other) noexcept
{
    if (this != &other) {
        Reveriz::wipe(m_key);
        m_identifier = std::move(other.m_identifier);
        m_key = std::move(other.m_key);
        m_cipherName = std::move(other.m_cipherName);
        m_keyLengthInBytes = other.m_keyLengthInBytes;
        m_fixedIvec = other.m_fixedIvec;
    }
    return *this;
}

ReverizKey::~ReverizKey()
{
    Reveriz::wipe(m_key);
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
    // Straight into the value: the Base64 text of the key leaves no other copy.
    QByteArray base64 = m_key.toBase64();
    const Reveriz::WipeGuard wipeBase64(base64);
    json[Member::key] = Json::Value(base64.constData(), base64.constData() + base64.size());
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
    std::string keyString = hasText ? keyValue.asString() : std::string();
    const Reveriz::WipeGuard wipeKeyString(keyString);
    QString keyText = StringConversion::fromStdString(keyString);
    const Reveriz::WipeGuard wipeKeyText(keyText);
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
    QByteArray keyLatin1 = keyValue.isString() ? keyText.toLatin1() : QByteArray();
    const Reveriz::WipeGuard wipeKeyLatin1(keyLatin1);
    QByteArray key = QByteArray::fromBase64(keyLatin1);
    const Reveriz::WipeGuard wipeKey(key);
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
    Json::Value plain = toJson();
    const Reveriz::WipeGuard wipePlain(plain);
    Json::Value wrapped = pair->encrypt(plain);
    // The clear package id lets key files be filed without decrypting anything.
    if (const std::optional<QString> packageId = m_identifier.packageId())
        QkarnJsonTrait<QString>::toJson(wrapped[Member::packageId], *packageId);
    return wrapped;
}

std::shared_ptr<ReverizKey> ReverizKey::fromJson(const std::shared_ptr<ReverizRSA>& pair, const Json::Value& wrapped)
{
    if (!pair)
        throw std::invalid_argument("ReverizKey::fromJson: no key pair");
    Json::Value plain = pair->decrypt(wrapped);
    const Reveriz::WipeGuard wipePlain(plain);
    return fromJson(plain);
}

QByteArray ReverizKey::encryptData(const QByteArray& data) const
{
    if (data.isEmpty())
        return data;
    const QByteArray ivec = SymmetricCipher::newStoredIvec(*this);
    QByteArray compressed = CompressedFormat::compress(data);
    const Reveriz::WipeGuard wipeCompressed(compressed);
    return SymmetricCipher::seal(*this, ivec, compressed);
}

QByteArray ReverizKey::decryptData(const QByteArray& data) const
{
    if (data.isEmpty())
        return data;
    const SymmetricCipher::StoredData stored = SymmetricCipher::split(*this, data);
    // The plain data may be a secret (the protected form of a private key holds its PEM text).
    QByteArray compressed;
    const Reveriz::WipeGuard wipeCompressed(compressed);
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
