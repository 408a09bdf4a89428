#ifndef REVERIZ_COMMON_ENCRYPTION_PROCESSPROTECTION_H
#define REVERIZ_COMMON_ENCRYPTION_PROCESSPROTECTION_H

/**
 * @file
 * Reveriz::Crypto::protectProcessSecrets, the process-wide settings of a program that handles private keys.
 */

#include "common/reverizexport.h"

namespace Reveriz::Crypto {

/**
 * Makes the whole process careful with secrets; for a program's main, before any secret is read and before
 * OpenSSL is used (the library itself never calls it, and changes no process-wide setting). The process dumps
 * no core and cannot be attached to by unprivileged debuggers (PR_SET_DUMPABLE 0, RLIMIT_CORE 0); OpenSSL's
 * secure heap holds private key numbers on locked, guarded pages; every block OpenSSL frees or moves is wiped
 * first; and OpenSSL's failed allocations are noted for throwIfOutOfMemory. Each step is best effort: what the system
 * refuses is skipped silently, and the program works as before.
 */
REVERIZ_EXPORT void protectProcessSecrets() noexcept;

} // namespace Reveriz::Crypto

#endif
