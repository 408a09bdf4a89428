#include "reverizrsa.h"

#include "common/encryption/cryptoinit.h"
#include "common/encryption/internal/encryptionnames.h"
#include "common/encryption/internal/rsakeys.h"
#include "common/encryption/internal/untrustedjson.h"
#include "common/encryption/reverizkey.h"
#include "common/exceptions/reverizexception.h"
#include "common/internal/base64.h"
#include "common/internal/jsontext.h"
#include "common/qkarnjsontrait.h"
#include "common/typechecks.h"

#include <QCryptographicHash>
#include <QDebug>

#include <openssl/err.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <ostream>
#include <stdexcept>
#include <utility>

using namespace Reveriz::Internal;
using Reveriz::OsslPtr;

namespace {

constexpr size_t modulusBits = ReverizRSA::GeneratedKeyBits;
constexpr unsigned int generatedPublicExponent = 65537;

// The protected form of a private key: its PEM text in the encrypted data format under a key derived from the
// pass phrase, in Base64.
constexpr char passPhraseCipher[] = "aes-128-cbc";
constexpr unsigned int passPhraseKeyLength = 16;

// The largest input RSAES-OAEP with SHA-1 takes is the modulus size less twice the digest size less two.
constexpr int oaepOverhead = 2 * 20 + 2;

QByteArray readBytes(const Json::Value& json, const char* name)
{
    QByteArray bytes;
    QkarnJsonTrait<QByteArray>::fromJson(json[name], bytes);
    return bytes;
}

// The bytes behind a Base64 member; anything but a string stands for no bytes.
QByteArray base64Member(const Json::Value& json, const char* name)
{
    const Json::Value& value = memberOf(json, name);
    return value.isString() ? QByteArray::fromBase64(QByteArray::fromStdString(value.asString())) : QByteArray();
}

// The text of a value that may hold a secret (a key's plain form): no copy of it outlives its use.
Reveriz::SecureBytes compactText(const Json::Value& value)
{
    std::string text = JsonText::compact(value);
    return Reveriz::SecureBytes::takeFrom(text);
}

Json::Value parseStrict(QByteArrayView text)
{
    Json::Value value;
    if (!JsonText::parseStrict(text.data(), text.data() + text.size(), value))
        throw JsonParseError(Context::reverizRsa, REVERIZ_HERE);
    return value;
}

std::shared_ptr<ReverizKey> passPhraseKey(const QString& passPhrase)
{
    return ReverizKey::createPassPhraseBasedKey(passPhrase, passPhraseCipher, passPhraseKeyLength, false);
}

[[noreturn]] void failEncryption(const char* details, const QString& sourceFile, int sourceLine)
{
    Reveriz::Crypto::throwIfOutOfMemory(); // and clears OpenSSL's errors
    throw EncryptionFailedException(Context::reverizRsa, QString::fromLatin1(details), sourceFile, sourceLine);
}

[[noreturn]] void failDecryption(const char* details, const QString& sourceFile, int sourceLine)
{
    Reveriz::Crypto::throwIfOutOfMemory(); // and clears OpenSSL's errors
    throw DecryptionFailedException(Context::reverizRsa, QString::fromLatin1(details), sourceFile, sourceLine);
}

// A context for RSAES-OAEP with SHA-1, MGF1 with SHA-1 and an empty label, ready to encrypt or decrypt.
OsslPtr<EVP_PKEY_CTX> oaepContext(EVP_PKEY& key, bool encrypt)
{
    OsslPtr<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new_from_pkey(/*libctx=*/nullptr, &key, /*propquery=*/nullptr));
    if (!context)
        return nullptr;
    const int initialised = encrypt ? EVP_PKEY_encrypt_init(context.get()) : EVP_PKEY_decrypt_init(context.get());
    if (initialised <= 0 || EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_OAEP_PADDING) <= 0
        || EVP_PKEY_CTX_set_rsa_oaep_md_name(context.get(), "SHA1", /*mdprops=*/nullptr) <= 0
        || EVP_PKEY_CTX_set_rsa_mgf1_md_name(context.get(), "SHA1", /*mdprops=*/nullptr) <= 0)
        return nullptr;
    return context;
}

bool samePair(const EVP_PKEY& keyPair, const EVP_PKEY& publicKey)
{
    const bool same = EVP_PKEY_eq(&keyPair, &publicKey) == 1;
    Reveriz::Crypto::throwIfOutOfMemory(); // and clears OpenSSL's errors
    return same;
}

unsigned char* bytes(QByteArray& array)
{
    return reinterpret_cast<unsigned char*>(array.data());
}

const unsigned char* bytes(const char* data)
{
    return reinterpret_cast<const unsigned char*>(data);
}

} // namespace

ReverizRSA& ReverizRSA::operator=(const ReverizRSA& other)
{
    // A copy shares the key material, and the move wipes what this pair held.
    if (this != &other)
        *this = ReverizRSA(other);
    return *this;
}

ReverizRSA& ReverizRSA::operator=(ReverizRSA&& other) noexcept
{
    if (this != &other) {
        wipeSecrets();
        m_publicKey = std::move(other.m_publicKey);
        m_privateKey = std::move(other.m_privateKey);
        m_requiresPassPhrase = other.m_requiresPassPhrase;
        m_passPhraseSupplied = other.m_passPhraseSupplied;
        m_passPhrase = std::move(other.m_passPhrase);
        m_owner = std::move(other.m_owner);
    }
    return *this;
}

ReverizRSA::~ReverizRSA()
{
    wipeSecrets();
}

void ReverizRSA::wipeSecrets() noexcept
{
    Reveriz::wipe(m_privateKey);
    Reveriz::wipe(m_passPhrase);
}

ReverizRSA::ReverizRSA(ReverizActor owner)
    : m_owner(std::move(owner))
{
    const OsslPtr<EVP_PKEY> key = RsaKeys::generate(modulusBits, generatedPublicExponent);
    m_privateKey = RsaKeys::privateKeyPem(*key);
    m_publicKey = RsaKeys::publicKeyPem(*key);
}

ReverizRSA::ReverizRSA(ReverizActor owner, QByteArray publicKey, QByteArray privateKey, bool requiresPassPhrase)
    : m_publicKey(std::move(publicKey))
    , m_privateKey(std::move(privateKey))
    , m_requiresPassPhrase(requiresPassPhrase)
    , m_owner(std::move(owner))
{
}

std::shared_ptr<ReverizRSA> ReverizRSA::create(const ReverizActor& owner)
{
    return std::make_shared<ReverizRSA>(owner);
}

Json::Value ReverizRSA::toJson(bool includePrivateKey) const
{
    Json::Value json(Json::objectValue);
    json[Member::keyOwner] = m_owner.toJson();
    if (includePrivateKey && !m_privateKey.isEmpty()) {
        QkarnJsonTrait<bool>::toJson(json[Member::requiresPassPhrase], m_requiresPassPhrase);
        // Straight into the value: no temporary copy of the private key.
        json[Member::privateKey] = Json::Value(
            m_privateKey.constData(),
            m_privateKey.constData() + qstrnlen(m_privateKey.constData(), static_cast<size_t>(m_privateKey.size())));
    }
    QkarnJsonTrait<QByteArray>::toJson(json[Member::publicKey], m_publicKey);
    return json;
}

std::shared_ptr<ReverizRSA> ReverizRSA::fromJson(const Json::Value& json)
{
    if (!hasMember(json, Member::keyOwner))
        throw JsonMemberMissingException(Context::reverizRsa, Member::keyOwner, REVERIZ_HERE);
    if (!hasMember(json, Member::publicKey))
        throw JsonMemberMissingException(Context::reverizRsa, Member::publicKey, REVERIZ_HERE);

    QByteArray publicKey = readBytes(json, Member::publicKey);
    if (!TypeChecks::isPEM(PemLabel::rsaPublicKey, QString::fromUtf8(publicKey))) {
        throw JsonMemberInvalidException(Context::reverizRsa, Member::publicKey, Details::noPem, REVERIZ_HERE);
    }

    QByteArray privateKey;
    bool requiresPassPhrase = false;
    if (hasMember(json, Member::privateKey)) {
        QkarnJsonTrait<bool>::fromJson(json[Member::requiresPassPhrase], requiresPassPhrase);
        privateKey = readBytes(json, Member::privateKey);
        QString text = QString::fromUtf8(privateKey);
        const Reveriz::WipeGuard wipeText(text);
        if (requiresPassPhrase && !TypeChecks::isBase64(text)) {
            throw JsonMemberInvalidException(Context::reverizRsa, Member::privateKey, QStringLiteral("not base64"),
                                             REVERIZ_HERE);
        }
        if (!requiresPassPhrase && !TypeChecks::isPEM(PemLabel::rsaPrivateKey, text)) {
            throw JsonMemberInvalidException(Context::reverizRsa, Member::privateKey, Details::noPem, REVERIZ_HERE);
        }
    }

    // The owner is checked after the key material, so its errors come last.
    ReverizActor owner = ReverizActor::fromJson(json[Member::keyOwner]);
    return std::make_shared<ReverizRSA>(std::move(owner), std::move(publicKey), std::move(privateKey),
                                        requiresPassPhrase);
}

void ReverizRSA::checkPublicKey(int minimumBits) const
{
    const OsslPtr<EVP_PKEY> key = makeRSA(false);
    const int bits = EVP_PKEY_get_bits(key.get());
    if (bits < minimumBits) {
        throw InputRefusedException(
            Context::reverizRsa,
            QStringLiteral("public key too short: %1 bits, at least %2").arg(bits).arg(minimumBits), REVERIZ_HERE);
    }
    const OsslPtr<EVP_PKEY_CTX> context(
        EVP_PKEY_CTX_new_from_pkey(/*libctx=*/nullptr, key.get(), /*propquery=*/nullptr));
    const bool passed = context && EVP_PKEY_public_check(context.get()) == 1;
    Reveriz::Crypto::throwIfOutOfMemory(); // and clears OpenSSL's errors
    if (!passed)
        throw InputRefusedException(Context::reverizRsa, QStringLiteral("public key fails the key check"),
                                    REVERIZ_HERE);
}

QString ReverizRSA::publicKeyFingerPrint() const
{
    if (m_publicKey.isEmpty())
        return QString();
    return QString::fromLatin1(QCryptographicHash::hash(m_publicKey, QCryptographicHash::Sha1).toHex().left(8));
}

bool ReverizRSA::isKeyFile(const Json::Value& json)
{
    return hasMember(json, Member::keyOwner);
}

int ReverizRSA::publicKeyBits() const
{
    return EVP_PKEY_get_bits(makeRSA(false).get());
}

QString ReverizRSA::publicExponent() const
{
    const QByteArray exponent = RsaKeys::publicExponent(*makeRSA(false));
    if (exponent.size() > 8)
        return QLatin1String("0x") + QString::fromLatin1(exponent.toHex());
    quint64 value = 0;
    for (const char byte : exponent)
        value = value << 8 | static_cast<unsigned char>(byte);
    return QString::number(value);
}

QString ReverizRSA::subjectPublicKeyInfoSha256() const
{
    const QByteArray der = RsaKeys::subjectPublicKeyInfo(*makeRSA(false));
    return QString::fromLatin1(QCryptographicHash::hash(der, QCryptographicHash::Sha256).toHex());
}

bool ReverizRSA::halvesMatch() const
{
    const OsslPtr<EVP_PKEY> publicKey = makeRSA(false);
    return samePair(*privateHalf(), *publicKey);
}

std::ostream& operator<<(std::ostream& stream, const ReverizRSA& pair)
{
    return stream << JsonText::styled(pair.toJson(true));
}

QByteArray ReverizRSA::maybeDecryptPrivateKey(const QString& passPhrase) const
{
    if (!m_requiresPassPhrase)
        return m_privateKey;
    return privateKeyPem(passPhrase).toByteArray();
}

Reveriz::SecureBytes ReverizRSA::privateKeyPem(const QString& passPhrase) const
{
    if (!m_requiresPassPhrase)
        return Reveriz::SecureBytes(QByteArrayView(m_privateKey));
    QByteArray pem = passPhraseKey(passPhrase)->decryptData(QByteArray::fromBase64(m_privateKey));
    return Reveriz::SecureBytes::takeFrom(pem);
}

void ReverizRSA::supplyPassphrase(const QString& passPhrase)
{
    if (!m_requiresPassPhrase || m_privateKey.isEmpty())
        throw TriedToSupplyPassPhraseWhereNoneIsRequiredException(REVERIZ_HERE);
    try {
        (void)privateKeyPem(passPhrase);
    } catch (const DecryptionFailedException&) {
        throw SuppliedWrongPassPhraseException(REVERIZ_HERE);
    }
    m_passPhraseSupplied = true;
    m_passPhrase = passPhrase;
}

void ReverizRSA::setPassphrase(const QString& passPhrase)
{
    if (m_requiresPassPhrase && !m_passPhraseSupplied)
        throw TriedToReSetPassPhraseWithoutKnownOldPassPhraseException(REVERIZ_HERE);
    // Step by step, as the stored form says: should the new encryption fail, the key stays stored unprotected.
    const Reveriz::SecureBytes pem = privateKeyPem(m_passPhrase);
    Reveriz::wipe(m_privateKey);
    m_privateKey = pem.toByteArray();
    m_requiresPassPhrase = false;
    if (passPhrase.isEmpty())
        return;
    const QByteArray stored = passPhraseKey(passPhrase)->encryptData(m_privateKey).toBase64();
    Reveriz::wipe(m_privateKey);
    m_privateKey = stored;
    m_requiresPassPhrase = true;
    m_passPhraseSupplied = true;
    m_passPhrase = passPhrase;
}

bool ReverizRSA::isPassPhraseCorrect(const QString& passPhrase) const
{
    if (!m_requiresPassPhrase)
        return true;
    try {
        (void)privateKeyPem(passPhrase);
        return true;
    } catch (const DecryptionFailedException&) {
        qDebug() << "ReverizRSA: catched DecryptionFailedException exception";
    } catch (...) {
        qDebug() << "ReverizRSA: catched unknown exception";
    }
    return false;
}

OsslPtr<EVP_PKEY> ReverizRSA::privateHalf() const
{
    if (m_privateKey.isEmpty())
        throw TriedToUseUnavailablePrivateKeyException(REVERIZ_HERE);
    if (m_requiresPassPhrase && !m_passPhraseSupplied)
        throw TriedToUsePrivateKeyWithoutSupplyingPassPhraseException(REVERIZ_HERE);
    OsslPtr<EVP_PKEY> keyPair = RsaKeys::decodePrivateKeyPem(privateKeyPem(m_passPhrase).view());
    if (!keyPair)
        throw JsonMemberInvalidException(Context::reverizRsa, Member::privateKey, Details::noPem, REVERIZ_HERE);
    return keyPair;
}

OsslPtr<EVP_PKEY> ReverizRSA::makeRSA(bool includePrivateKey) const
{
    OsslPtr<EVP_PKEY> publicKey = RsaKeys::decodePublicKeyPem(m_publicKey);
    if (!includePrivateKey) {
        if (!publicKey)
            throw JsonMemberInvalidException(Context::reverizRsa, Member::publicKey, Details::noPem, REVERIZ_HERE);
        return publicKey;
    }

    OsslPtr<EVP_PKEY> keyPair = privateHalf();
    if (!publicKey)
        throw JsonMemberInvalidException(Context::reverizRsa, Member::publicKey, Details::noPem, REVERIZ_HERE);
    // The public key is part of the private one; a stored public key of another pair would otherwise make every
    // operation silently wrong.
    if (!samePair(*keyPair, *publicKey))
        throw JsonMemberInvalidException(Context::reverizRsa, Member::publicKey,
                                         QStringLiteral("does not match privatekey"), REVERIZ_HERE);
    return keyPair;
}

Json::Value ReverizRSA::encrypt(const Json::Value& value) const
{
    Json::Value envelope(Json::objectValue);
    envelope[Member::encryptedFor] = m_owner.toJson();

    const OsslPtr<EVP_PKEY> key = makeRSA(false);
    const int blockSize = EVP_PKEY_get_size(key.get());
    const OsslPtr<EVP_PKEY_CTX> context = oaepContext(*key, true);
    if (!context || blockSize <= oaepOverhead)
        failEncryption("rsa encrypt init failed", REVERIZ_HERE);

    const Reveriz::SecureBytes secureText = compactText(value);
    const QByteArrayView text = secureText.view();
    const qsizetype chunkSize = blockSize - oaepOverhead;
    QByteArray ciphertext;
    ciphertext.reserve((text.size() + chunkSize - 1) / chunkSize * blockSize);
    for (qsizetype offset = 0; offset < text.size(); offset += chunkSize) {
        const qsizetype length = std::min(chunkSize, text.size() - offset);
        QByteArray block(blockSize, Qt::Uninitialized);
        auto written = static_cast<size_t>(blockSize);
        if (EVP_PKEY_encrypt(context.get(), bytes(block), &written, bytes(text.constData() + offset),
                             static_cast<size_t>(length))
                <= 0
            || written != static_cast<size_t>(blockSize))
            failEncryption("rsa encrypt failed", REVERIZ_HERE);
        ciphertext += block;
    }
    envelope[Member::data] = ciphertext.toBase64().toStdString();
    return envelope;
}

ReverizActor ReverizRSA::envelopeRecipient(const Json::Value& envelope)
{
    if (!hasMember(envelope, Member::encryptedFor))
        throw JsonMemberMissingException(Context::reverizRsa, Member::encryptedFor, REVERIZ_HERE);
    return ReverizActor::fromJson(envelope[Member::encryptedFor]);
}

qint64 ReverizRSA::envelopeCiphertextSize(const Json::Value& envelope)
{
    // As many bytes as base64Member gives.
    const Json::Value& value = memberOf(envelope, Member::data);
    if (!value.isString())
        return 0;
    const char* begin = nullptr;
    const char* end = nullptr;
    value.getString(&begin, &end);
    return static_cast<qint64>(Base64::decodedSize(begin, static_cast<std::size_t>(end - begin)));
}

qint64 ReverizRSA::envelopeBlocks(const Json::Value& envelope, int keyBits)
{
    if (keyBits <= 0)
        throw std::invalid_argument("ReverizRSA::envelopeBlocks: no key size");
    const qint64 blockSize = (qint64(keyBits) + 7) / 8;
    return (envelopeCiphertextSize(envelope) + blockSize - 1) / blockSize;
}

Json::Value ReverizRSA::decrypt(const Json::Value& envelope, qint64 maximumCiphertextSize) const
{
    // The recipient comes first: an envelope for another actor is refused before any key is touched.
    if (!(envelopeRecipient(envelope) == m_owner))
        throw DecryptWithWrongKeyException(REVERIZ_HERE);
    if (!envelope.isMember(Member::data))
        throw JsonMemberMissingException(Context::reverizRsa, Member::data, REVERIZ_HERE);
    // Each block costs a private-key operation, so the ciphertext is measured before the key is even read.
    const qint64 size = envelopeCiphertextSize(envelope);
    if (size > maximumCiphertextSize) {
        throw InputRefusedException(Context::reverizRsa,
                                    QStringLiteral("envelope too large: %1 bytes of RSA ciphertext, at most %2")
                                        .arg(size)
                                        .arg(maximumCiphertextSize),
                                    REVERIZ_HERE);
    }

    const OsslPtr<EVP_PKEY> key = makeRSA(true);
    const int blockSize = EVP_PKEY_get_size(key.get());
    const OsslPtr<EVP_PKEY_CTX> context = oaepContext(*key, false);
    if (!context || blockSize <= 0)
        failDecryption("rsa decrypt init failed", REVERIZ_HERE);
    const QByteArray ciphertext = base64Member(envelope, Member::data);

    // The plain text is a key's plain form: it lives in secret bytes only.
    Reveriz::SecureBytes plaintext;
    plaintext.reserve(static_cast<std::size_t>(ciphertext.size()));
    Reveriz::SecureBytes block(static_cast<std::size_t>(blockSize));
    for (qsizetype offset = 0; offset < ciphertext.size(); offset += blockSize) {
        // A short last block is damaged data; OpenSSL refuses it like any other bad block.
        const qsizetype length = std::min<qsizetype>(blockSize, ciphertext.size() - offset);
        auto written = static_cast<size_t>(blockSize);
        if (EVP_PKEY_decrypt(context.get(), reinterpret_cast<unsigned char*>(block.data()), &written,
                             bytes(ciphertext.constData() + offset), static_cast<size_t>(length))
            <= 0)
            failDecryption("rsa decrypt failed", REVERIZ_HERE);
        plaintext.append(block.data(), written);
    }
    return parseStrict(plaintext.view());
}

QByteArray ReverizRSA::sign(const QByteArray& data) const
{
    const OsslPtr<EVP_PKEY> key = makeRSA(true);
    const OsslPtr<EVP_MD_CTX> context(EVP_MD_CTX_new());
    size_t length = 0;
    if (!context
        || EVP_DigestSignInit_ex(context.get(), /*pctx=*/nullptr, "SHA1", /*libctx=*/nullptr, /*props=*/nullptr,
                                 key.get(), /*params=*/nullptr)
            != 1
        || EVP_DigestSign(context.get(), nullptr, &length, bytes(data.constData()), static_cast<size_t>(data.size()))
            != 1)
        failEncryption(Details::signFailed, REVERIZ_HERE);
    QByteArray signature(static_cast<qsizetype>(length), Qt::Uninitialized);
    if (EVP_DigestSign(context.get(), bytes(signature), &length, bytes(data.constData()),
                       static_cast<size_t>(data.size()))
        != 1)
        failEncryption(Details::signFailed, REVERIZ_HERE);
    signature.truncate(static_cast<qsizetype>(length));
    return signature;
}

Json::Value ReverizRSA::sign(const Json::Value& value) const
{
    // The signature covers the Base64 text exactly as stored in "data".
    const QByteArray data = compactText(value).view().toByteArray().toBase64();
    Json::Value signedObject(Json::objectValue);
    signedObject[Member::data] = data.toStdString();
    signedObject[Member::signature] = sign(data).toBase64().toStdString();
    signedObject[Member::signedBy] = m_owner.toJson();
    return signedObject;
}

void ReverizRSA::verify(const QByteArray& data, const QByteArray& signature) const
{
    const OsslPtr<EVP_PKEY> key = makeRSA(false);
    const OsslPtr<EVP_MD_CTX> context(EVP_MD_CTX_new());
    int result = -1;
    if (context
        && EVP_DigestVerifyInit_ex(context.get(), /*pctx=*/nullptr, "SHA1", /*libctx=*/nullptr, /*props=*/nullptr,
                                   key.get(), /*params=*/nullptr)
            == 1) {
        result = EVP_DigestVerify(context.get(), bytes(signature.constData()), static_cast<size_t>(signature.size()),
                                  bytes(data.constData()), static_cast<size_t>(data.size()));
    }
    ERR_clear_error();
    if (result == 0)
        throw SignatureVerificationFailedException(REVERIZ_HERE);
    if (result != 1)
        throw SignatureVerificationFailedWithErrorException(REVERIZ_HERE);
}

Json::Value ReverizRSA::verify(const Json::Value& signedObject) const
{
    // A missing "signedby" reads as null and fails inside the actor reader; the signer is checked first.
    if (!(ReverizActor::fromJson(memberOf(signedObject, Member::signedBy)) == m_owner))
        throw SignatureVerificationWithWrongKeyException(REVERIZ_HERE);
    if (!signedObject.isMember(Member::data))
        throw JsonMemberMissingException(Context::reverizRsa, Member::data, REVERIZ_HERE);
    if (!signedObject.isMember(Member::signature))
        throw JsonMemberMissingException(Context::reverizRsa, Member::signature, REVERIZ_HERE);

    // A "data" that is no text cannot carry a valid signature; it is verified as empty text.
    const Json::Value& dataValue = signedObject[Member::data];
    const QByteArray data =
        QByteArray::fromStdString(dataValue.isConvertibleTo(Json::stringValue) ? dataValue.asString() : std::string());
    verify(data, base64Member(signedObject, Member::signature));
    return parseStrict(QByteArray::fromBase64(data));
}

bool ReverizRSA::isSigned(const Json::Value& value)
{
    return hasMember(value, Member::signedBy) && value.isMember(Member::signature) && value.isMember(Member::data);
}
