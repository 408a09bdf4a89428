#ifndef REVERIZ_COMMON_ENCRYPTION_CRYPTOINIT_H
#define REVERIZ_COMMON_ENCRYPTION_CRYPTOINIT_H

/**
 * @file
 * Reveriz::Crypto::initialize, the library's start-up.
 */

/** The library's start-up. */
namespace Reveriz::Crypto {

/**
 * Makes OpenSSL's default and legacy providers available ("bf-cbc" lives in the legacy one). Call once at
 * start-up, before any other use of the library; later calls do nothing. Throws std::runtime_error when a
 * provider cannot be loaded.
 */
void initialize();

} // namespace Reveriz::Crypto

#endif
