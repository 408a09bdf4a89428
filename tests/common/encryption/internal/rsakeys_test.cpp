#include "common/encryption/internal/rsakeys.h"
#include "support/exceptionmatchers.h"
#include "support/testkeys.h"

#include <gtest/gtest.h>
#include <openssl/err.h>

using namespace Reveriz::Internal;
using Reveriz::OsslPtr;

namespace {

TEST(RsaKeys, EncodesPkcs1PemExactlyAsTheOpensslTool)
{
    for (const QString actor : {"protocol", "user"}) {
        SCOPED_TRACE(actor.toStdString());
        const QByteArray privatePem = TestKeys::read(actor + "-private.pem");
        const QByteArray publicPem = TestKeys::read(actor + "-public.pem");
        const OsslPtr<EVP_PKEY> pair = TestKeys::decodePem(privatePem);
        const OsslPtr<EVP_PKEY> publicOnly = TestKeys::decodePem(publicPem);
        ASSERT_TRUE(pair && publicOnly);
        EXPECT_EQ(RsaKeys::privateKeyPem(*pair), privatePem);
        EXPECT_EQ(RsaKeys::publicKeyPem(*pair), publicPem);
        EXPECT_EQ(RsaKeys::publicKeyPem(*publicOnly), publicPem);
    }
}

TEST(RsaKeys, OpensslFailuresBecomeBIOFailureWithAClearedErrorQueue)
{
    const ExceptionFields bioFailure {"BIOFailure", 4004, "", "ReverizRSA", "", ""};
    const OsslPtr<EVP_PKEY> publicOnly = TestKeys::decodePem(TestKeys::read("protocol-public.pem"));
    const OsslPtr<EVP_PKEY> ellipticCurve(EVP_PKEY_Q_keygen(/*libctx=*/nullptr, /*propq=*/nullptr, "EC", "P-256"));
    ASSERT_TRUE(publicOnly && ellipticCurve);

    EXPECT_REVERIZ_THROW(RsaKeys::generate(256, 65537), BIOFailureException, {bioFailure});
    EXPECT_EQ(ERR_peek_error(), 0u);
    EXPECT_REVERIZ_THROW(RsaKeys::privateKeyPem(*publicOnly), BIOFailureException, {bioFailure});
    EXPECT_EQ(ERR_peek_error(), 0u);
    // Another key type has no PKCS #1 form, whatever OpenSSL writes for it.
    EXPECT_REVERIZ_THROW(RsaKeys::publicKeyPem(*ellipticCurve), BIOFailureException, {bioFailure});
}

} // namespace
