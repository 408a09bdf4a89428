#ifndef REVERIZ_COMMON_ENCRYPTION_OPENSSLPTR_H
#define REVERIZ_COMMON_ENCRYPTION_OPENSSLPTR_H

/**
 * @file
 * Reveriz::OsslPtr, owning handles for OpenSSL objects.
 */

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/decoder.h>
#include <openssl/encoder.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/params.h>
#include <openssl/provider.h>

#include <memory>

namespace Reveriz {

/**
 * Owning handles for OpenSSL objects: OsslPtr<EVP_PKEY> frees its key on every path out of scope.
 * This is the only place that calls OpenSSL's free functions.
 */
struct OsslFree
{
    ///@{
    /** Frees p with OpenSSL's function for its type. */
    void operator()(BIGNUM* p) const noexcept { BN_free(p); }
    void operator()(BIO* p) const noexcept { BIO_free_all(p); }
    void operator()(EVP_CIPHER* p) const noexcept { EVP_CIPHER_free(p); }
    void operator()(EVP_CIPHER_CTX* p) const noexcept { EVP_CIPHER_CTX_free(p); }
    void operator()(EVP_MD* p) const noexcept { EVP_MD_free(p); }
    void operator()(EVP_MD_CTX* p) const noexcept { EVP_MD_CTX_free(p); }
    void operator()(EVP_PKEY* p) const noexcept { EVP_PKEY_free(p); }
    void operator()(EVP_PKEY_CTX* p) const noexcept { EVP_PKEY_CTX_free(p); }
    void operator()(OSSL_DECODER_CTX* p) const noexcept { OSSL_DECODER_CTX_free(p); }
    void operator()(OSSL_ENCODER_CTX* p) const noexcept { OSSL_ENCODER_CTX_free(p); }
    void operator()(OSSL_PARAM* p) const noexcept { OSSL_PARAM_free(p); }
    void operator()(OSSL_PARAM_BLD* p) const noexcept { OSSL_PARAM_BLD_free(p); }
    void operator()(OSSL_PROVIDER* p) const noexcept { OSSL_PROVIDER_unload(p); }
    ///@}
};

/** The owner of one OpenSSL object of type T, which OsslFree knows how to free. */
template<typename T> using OsslPtr = std::unique_ptr<T, OsslFree>;

} // namespace Reveriz

#endif
