#include "common/encryption/rsakeys.h"
#include "support/exceptionmatchers.h"
#include "support/testkeys.h"

#include <gtest/gtest.h>
#include <openssl/err.h>

namespace {

const ExceptionFields bioFailure {QStringLiteral("BIOFailure"), 4004,      QString(),
                                  QStringLiteral("ReverizRSA"), QString(), QString()};

TEST(RsaKeys, EncodesPkcs1PemExactlyAsTheOpensslTool)
{
    for (const char* actor : {"protocol", "user"}) {
        SCOPED_TRACE(actor);
        const QByteArray privatePem = TestKeys::read(QLatin1String(actor) + QLatin1String("-private.pem"));
        const QByteArray publicPem = TestKeys::read(QLatin1String(actor) + QLatin1String("-public.pem"));
        const OsslPtr<EVP_PKEY> pair = TestKeys::decodePem(privatePem);
        const OsslPtr<EVP_PKEY> publicOnly = TestKeys::decodePem(publicPem);
        ASSERT_TRUE(pair && publicOnly);

        EXPECT_EQ(RsaKeys::privateKeyPem(*pair), privatePem);
        EXPECT_EQ(RsaKeys::publicKeyPem(*pair), publicPem);
        EXPECT_EQ(RsaKeys::publicKeyPem(*publicOnly), publicPem);
    }
}

TEST(RsaKeys, GeneratesWithTheRequestedSizeAndExponent)
{
    // 1024 bits keeps the test fast; the 4096-bit default is checked once in the ReverizRSA tests.
    const OsslPtr<EVP_PKEY> key = RsaKeys::generate(1024, 3);
    ASSERT_TRUE(key);
    EXPECT_EQ(EVP_PKEY_get_bits(key.get()), 1024);
    EXPECT_EQ(TestKeys::publicExponent(*key), 3u);
    EXPECT_TRUE(TestKeys::decodePem(RsaKeys::privateKeyPem(*key)));
}

TEST(RsaKeys, OpensslFailuresBecomeBIOFailureWithAClearedErrorQueue)
{
    const OsslPtr<EVP_PKEY> publicOnly = TestKeys::decodePem(TestKeys::read(QStringLiteral("protocol-public.pem")));
    ASSERT_TRUE(publicOnly);
    const OsslPtr<EVP_PKEY> ellipticCurve(EVP_PKEY_Q_keygen(/*libctx=*/nullptr, /*propq=*/nullptr, "EC", "P-256"));
    ASSERT_TRUE(ellipticCurve);

    EXPECT_REVERIZ_THROW(RsaKeys::generate(256, 65537), BIOFailureException, {bioFailure});
    EXPECT_EQ(ERR_peek_error(), 0u);
    EXPECT_REVERIZ_THROW(RsaKeys::generate(2048, 2), BIOFailureException, {bioFailure});
    EXPECT_REVERIZ_THROW(RsaKeys::privateKeyPem(*publicOnly), BIOFailureException, {bioFailure});
    EXPECT_EQ(ERR_peek_error(), 0u);
    // Another key type has no PKCS #1 form, whatever OpenSSL writes for it.
    EXPECT_REVERIZ_THROW(RsaKeys::publicKeyPem(*ellipticCurve), BIOFailureException, {bioFailure});
    EXPECT_REVERIZ_THROW(RsaKeys::privateKeyPem(*ellipticCurve), BIOFailureException, {bioFailure});
}

} // namespace
