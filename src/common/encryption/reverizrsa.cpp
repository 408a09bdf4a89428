#include "reverizrsa.h"

#include "common/exceptions/reverizexception.h"
#include "common/jsontext.h"
#include "common/qkarnjsontrait.h"
#include "common/typechecks.h"
#include "keyfileformat.h"
#include "rsakeys.h"

#include <QCryptographicHash>

#include <ostream>
#include <utility>

namespace {

const QString Context = QStringLiteral("ReverizRSA");
const QString PrivateKeyLabel = QStringLiteral("RSA PRIVATE KEY");
const QString PublicKeyLabel = QStringLiteral("RSA PUBLIC KEY");

constexpr size_t ModulusBits = 4096;
constexpr unsigned int PublicExponent = 65537;

// isMember throws on arrays and scalars; key files are input, so those read as objects without members.
bool hasMember(const Json::Value& json, const char* name)
{
    return json.isObject() && json.isMember(name);
}

QByteArray readBytes(const Json::Value& json, const char* name)
{
    QByteArray bytes;
    QkarnJsonTrait<QByteArray>::fromJson(json[name], bytes);
    return bytes;
}

} // namespace

ReverizRSA::ReverizRSA(ReverizActor owner)
    : m_owner(std::move(owner))
{
    const OsslPtr<EVP_PKEY> key = RsaKeys::generate(ModulusBits, PublicExponent);
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
    json[KeyFileFormat::KeyOwner] = m_owner.toJson();
    if (includePrivateKey && !m_privateKey.isEmpty()) {
        QkarnJsonTrait<bool>::toJson(json[KeyFileFormat::RequiresPassPhrase], m_requiresPassPhrase);
        QkarnJsonTrait<QByteArray>::toJson(json[KeyFileFormat::PrivateKey], m_privateKey);
    }
    QkarnJsonTrait<QByteArray>::toJson(json[KeyFileFormat::PublicKey], m_publicKey);
    return json;
}

std::shared_ptr<ReverizRSA> ReverizRSA::fromJson(const Json::Value& json)
{
    if (!hasMember(json, KeyFileFormat::KeyOwner))
        throw JsonMemberMissingException(Context, QLatin1String(KeyFileFormat::KeyOwner), REVERIZ_HERE);
    if (!hasMember(json, KeyFileFormat::PublicKey))
        throw JsonMemberMissingException(Context, QLatin1String(KeyFileFormat::PublicKey), REVERIZ_HERE);

    QByteArray publicKey = readBytes(json, KeyFileFormat::PublicKey);
    if (!TypeChecks::isPEM(PublicKeyLabel, QString::fromUtf8(publicKey))) {
        throw JsonMemberInvalidException(Context, QLatin1String(KeyFileFormat::PublicKey), QStringLiteral("no pem"),
                                         REVERIZ_HERE);
    }

    QByteArray privateKey;
    bool requiresPassPhrase = false;
    if (hasMember(json, KeyFileFormat::PrivateKey)) {
        QkarnJsonTrait<bool>::fromJson(json[KeyFileFormat::RequiresPassPhrase], requiresPassPhrase);
        privateKey = readBytes(json, KeyFileFormat::PrivateKey);
        const QString text = QString::fromUtf8(privateKey);
        if (requiresPassPhrase && !TypeChecks::isBase64(text)) {
            throw JsonMemberInvalidException(Context, QLatin1String(KeyFileFormat::PrivateKey),
                                             QStringLiteral("not base64"), REVERIZ_HERE);
        }
        if (!requiresPassPhrase && !TypeChecks::isPEM(PrivateKeyLabel, text)) {
            throw JsonMemberInvalidException(Context, QLatin1String(KeyFileFormat::PrivateKey),
                                             QStringLiteral("no pem"), REVERIZ_HERE);
        }
    }

    // The owner is checked after the key material, so its errors come last.
    ReverizActor owner = ReverizActor::fromJson(json[KeyFileFormat::KeyOwner]);
    return std::make_shared<ReverizRSA>(std::move(owner), std::move(publicKey), std::move(privateKey),
                                        requiresPassPhrase);
}

QString ReverizRSA::publicKeyFingerPrint() const
{
    if (m_publicKey.isEmpty())
        return QString();
    return QString::fromLatin1(QCryptographicHash::hash(m_publicKey, QCryptographicHash::Sha1).toHex().left(8));
}

std::ostream& operator<<(std::ostream& stream, const ReverizRSA& pair)
{
    return stream << JsonText::styled(pair.toJson(true));
}
