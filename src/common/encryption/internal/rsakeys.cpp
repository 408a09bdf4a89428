#include "rsakeys.h"

#include "common/encryption/cryptoinit.h"
#include "common/exceptions/reverizexception.h"
#include "common/securebytes.h"
#include "common/typechecks.h"
#include "encryptionnames.h"

#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/params.h>

namespace Reveriz::Internal::RsaKeys {

namespace {

[[noreturn]] void fail(const QString& sourceFile, int sourceLine)
{
    // Also clears OpenSSL's errors, so that a later operation does not report this one's.
    Reveriz::Crypto::throwIfOutOfMemory();
    throw BIOFailureException(Context::reverizRsa, sourceFile, sourceLine);
}

QByteArray encode(const EVP_PKEY& key, int selection, const char* format, const char* structure)
{
    const OsslPtr<OSSL_ENCODER_CTX> encoder(
        OSSL_ENCODER_CTX_new_for_pkey(&key, selection, format, structure, /*propquery=*/nullptr));
    if (!encoder || OSSL_ENCODER_CTX_get_num_encoders(encoder.get()) == 0)
        fail(REVERIZ_HERE);
    const OsslPtr<BIO> bio(BIO_new(BIO_s_mem()));
    if (!bio || OSSL_ENCODER_to_bio(encoder.get(), bio.get()) != 1)
        fail(REVERIZ_HERE);

    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, size > 0 ? static_cast<qsizetype>(size) : 0);
}

// "type-specific" is the PKCS #1 structure: RSAPrivateKey for a key pair, RSAPublicKey for the public half.
QByteArray encodePem(const EVP_PKEY& key, int selection, const char* label)
{
    QByteArray pem = encode(key, selection, "PEM", "type-specific");
    // Another OpenSSL could pick another structure for "type-specific"; key files hold PKCS #1 only.
    QString text = QString::fromLatin1(pem);
    const Reveriz::WipeGuard wipeText(text);
    if (!TypeChecks::isPEM(label, text)) {
        Reveriz::wipe(pem);
        fail(REVERIZ_HERE);
    }
    return pem;
}

// Encrypted PEM never reaches here (the stored form is checked first), but should it, the decoder must fail
// rather than ask a terminal for a pass phrase.
int refusePassPhrase(char* /*buffer*/, int /*size*/, int /*rwflag*/, void* /*userdata*/)
{
    return 0;
}

OsslPtr<EVP_PKEY> decodePem(QByteArrayView pem, int selection)
{
    EVP_PKEY* decoded = nullptr;
    const OsslPtr<OSSL_DECODER_CTX> decoder(OSSL_DECODER_CTX_new_for_pkey(
        &decoded, "PEM", "type-specific", "RSA", selection, /*libctx=*/nullptr, /*propquery=*/nullptr));
    if (!decoder || OSSL_DECODER_CTX_set_pem_password_cb(decoder.get(), refusePassPhrase, nullptr) != 1) {
        Reveriz::Crypto::throwIfOutOfMemory();
        return nullptr;
    }
    const auto* data = reinterpret_cast<const unsigned char*>(pem.data());
    auto length = static_cast<size_t>(pem.size());
    const bool decodedAll = OSSL_DECODER_from_data(decoder.get(), &data, &length) == 1;
    OsslPtr<EVP_PKEY> key(decoded); // owned before anything else can happen to it
    Reveriz::Crypto::throwIfOutOfMemory(); // a text that fails for want of memory is no bad key
    if (!decodedAll)
        key.reset();
    return key;
}

} // namespace

OsslPtr<EVP_PKEY> generate(size_t bits, unsigned int publicExponent)
{
    const OsslPtr<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new_from_name(/*libctx=*/nullptr, "RSA", /*propquery=*/nullptr));
    if (!context || EVP_PKEY_keygen_init(context.get()) <= 0)
        fail(REVERIZ_HERE);
    const OSSL_PARAM parameters[] = {
        OSSL_PARAM_construct_size_t(OSSL_PKEY_PARAM_RSA_BITS, &bits),
        OSSL_PARAM_construct_uint(OSSL_PKEY_PARAM_RSA_E, &publicExponent),
        OSSL_PARAM_construct_end(),
    };
    if (EVP_PKEY_CTX_set_params(context.get(), parameters) <= 0)
        fail(REVERIZ_HERE);
    EVP_PKEY* generated = nullptr;
    if (EVP_PKEY_generate(context.get(), &generated) <= 0)
        fail(REVERIZ_HERE);
    OsslPtr<EVP_PKEY> key(generated);
    if (!key)
        fail(REVERIZ_HERE);
    return key;
}

QByteArray privateKeyPem(const EVP_PKEY& key)
{
    return encodePem(key, OSSL_KEYMGMT_SELECT_KEYPAIR, PemLabel::rsaPrivateKey);
}

QByteArray publicKeyPem(const EVP_PKEY& key)
{
    return encodePem(key, OSSL_KEYMGMT_SELECT_PUBLIC_KEY, PemLabel::rsaPublicKey);
}

OsslPtr<EVP_PKEY> decodePrivateKeyPem(QByteArrayView pem)
{
    return decodePem(pem, OSSL_KEYMGMT_SELECT_KEYPAIR);
}

OsslPtr<EVP_PKEY> decodePublicKeyPem(QByteArrayView pem)
{
    return decodePem(pem, OSSL_KEYMGMT_SELECT_PUBLIC_KEY);
}

QByteArray subjectPublicKeyInfo(const EVP_PKEY& key)
{
    return encode(key, OSSL_KEYMGMT_SELECT_PUBLIC_KEY, "DER", "SubjectPublicKeyInfo");
}

QByteArray publicExponent(const EVP_PKEY& key)
{
    BIGNUM* exponent = nullptr;
    if (EVP_PKEY_get_bn_param(&key, OSSL_PKEY_PARAM_RSA_E, &exponent) != 1)
        fail(REVERIZ_HERE);
    const OsslPtr<BIGNUM> owned(exponent);
    QByteArray bytes(BN_num_bytes(owned.get()), Qt::Uninitialized);
    if (BN_bn2bin(owned.get(), reinterpret_cast<unsigned char*>(bytes.data())) != bytes.size())
        fail(REVERIZ_HERE);
    return bytes;
}

} // namespace Reveriz::Internal::RsaKeys
