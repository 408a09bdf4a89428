#ifndef REVERIZ_COMMON_ENCRYPTION_CRYPTOINIT_H
#define REVERIZ_COMMON_ENCRYPTION_CRYPTOINIT_H

/**
 * @file
 * Reveriz::Crypto::initialize, the library's start-up, and checks of OpenSSL's state.
 */

#include "common/reverizexport.h"

#include <string>

/** The library's start-up. */
namespace Reveriz::Crypto {

/**
 * Makes OpenSSL's default and legacy providers available ("bf-cbc" lives in the legacy one). Call once at
 * start-up, before any other use of the library; later calls do nothing. Throws std::runtime_error when a
 * provider cannot be loaded.
 */
REVERIZ_EXPORT void initialize();

/**
 * Throws std::bad_alloc when OpenSSL's error queue says that memory ran out, or (in a program that called
 * protectProcessSecrets) one of OpenSSL's allocations on this thread failed since the last call, so that an
 * operation that failed for want of memory is not reported as bad data. Empties the queue either way.
 */
REVERIZ_EXPORT void throwIfOutOfMemory();

/**
 * Whether OpenSSL's random source works: draws from it once. Without entropy (getrandom failing) every key, vector
 * and RSA blinding fails, and the failure is to be named as that. On failure, reason (when given) gets OpenSSL's
 * reason text.
 */
[[nodiscard]] REVERIZ_EXPORT bool randomSourceWorks(std::string* reason = nullptr);

} // namespace Reveriz::Crypto

#endif
