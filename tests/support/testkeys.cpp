#include "testkeys.h"

#include "common/encryption/internal/rsakeys.h"
#include "common/encryption/reverizkey.h"
#include "common/internal/jsontext.h"

#include <QFile>

#include <gtest/gtest.h>
#include <openssl/core_names.h>
#include <openssl/decoder.h>
#include <openssl/param_build.h>

#include <ostream>
#include <stdexcept>

using namespace Reveriz::Internal;
using Reveriz::OsslPtr;

namespace TestKeys {

namespace {

std::shared_ptr<ReverizRSA> load(const QString& name)
{
    Json::Value json;
    if (!JsonText::parseStrict(read(name), json))
        throw std::runtime_error("fixture key file is not JSON: " + name.toStdString());
    return ReverizRSA::fromJson(json);
}

} // namespace

QString path(const QString& name)
{
    return QStringLiteral(TEST_DATA_DIR "/keys/") + name;
}

QByteArray read(const QString& name)
{
    QFile file(path(name));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read fixture " + path(name).toStdString());
    return file.readAll();
}

const ReverizRSA& protocolPair()
{
    static const std::shared_ptr<ReverizRSA> pair = load(QStringLiteral("protocol-private.key"));
    return *pair;
}

const ReverizRSA& userPair()
{
    static const std::shared_ptr<ReverizRSA> pair = load(QStringLiteral("user-private.key"));
    return *pair;
}

std::shared_ptr<ReverizRSA> materialFor(const ReverizActor& owner, const ReverizRSA& fixture)
{
    return std::make_shared<ReverizRSA>(owner, fixture.publicKey(), fixture.privateKey(), false);
}

Json::Value logDocument(const ReverizRSA& pair, const Json::Value& plainKey, const QByteArray& stored)
{
    Json::Value document(Json::objectValue);
    document["key"] = pair.encrypt(plainKey);
    document["logData"] = stored.toBase64().toStdString();
    return document;
}

Json::Value encryptedLog(const ReverizRSA& pair, const QByteArray& plain)
{
    const auto key = ReverizKey::createLogfileKey(QStringLiteral("aes-128-cbc"), 16, false);
    return logDocument(pair, key->toJson(), key->encryptData(plain));
}

QByteArray compact(const Json::Value& document)
{
    return QByteArray::fromStdString(JsonText::compact(document));
}

OsslPtr<EVP_PKEY> decodePem(const QByteArray& pem)
{
    EVP_PKEY* key = nullptr;
    const OsslPtr<OSSL_DECODER_CTX> decoder(OSSL_DECODER_CTX_new_for_pkey(&key, "PEM", "type-specific", "RSA",
                                                                          /*selection=*/0, /*libctx=*/nullptr,
                                                                          /*propquery=*/nullptr));
    if (!decoder)
        return nullptr;
    const auto* data = reinterpret_cast<const unsigned char*>(pem.constData());
    auto size = static_cast<size_t>(pem.size());
    const bool decoded = OSSL_DECODER_from_data(decoder.get(), &data, &size) == 1;
    OsslPtr<EVP_PKEY> owned(key);
    if (!decoded)
        return nullptr;
    return owned;
}

QByteArray publicKeyPemWith(const EVP_PKEY& key, const char* exponentHex)
{
    BIGNUM* n = nullptr;
    BIGNUM* e = nullptr;
    EXPECT_EQ(EVP_PKEY_get_bn_param(&key, OSSL_PKEY_PARAM_RSA_N, &n), 1);
    const OsslPtr<BIGNUM> modulus(n);
    EXPECT_NE(BN_hex2bn(&e, exponentHex), 0);
    const OsslPtr<BIGNUM> exponent(e);
    const OsslPtr<OSSL_PARAM_BLD> builder(OSSL_PARAM_BLD_new());
    EXPECT_EQ(OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_N, modulus.get()), 1);
    EXPECT_EQ(OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_E, exponent.get()), 1);
    const OsslPtr<OSSL_PARAM> parameters(OSSL_PARAM_BLD_to_param(builder.get()));
    const OsslPtr<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    EVP_PKEY* made = nullptr;
    EXPECT_EQ(EVP_PKEY_fromdata_init(context.get()), 1);
    EXPECT_EQ(EVP_PKEY_fromdata(context.get(), &made, EVP_PKEY_PUBLIC_KEY, parameters.get()), 1);
    const OsslPtr<EVP_PKEY> madeKey(made);
    return RsaKeys::publicKeyPem(*madeKey);
}

unsigned long publicExponent(const EVP_PKEY& key)
{
    BIGNUM* raw = nullptr;
    if (EVP_PKEY_get_bn_param(&key, OSSL_PKEY_PARAM_RSA_E, &raw) != 1)
        return 0;
    const OsslPtr<BIGNUM> exponent(raw);
    const BN_ULONG word = BN_get_word(exponent.get());
    return word == static_cast<BN_ULONG>(-1) ? 0 : word;
}

} // namespace TestKeys

void PrintTo(const ReverizActor& actor, std::ostream* os)
{
    *os << JsonText::compact(actor.toJson());
}
