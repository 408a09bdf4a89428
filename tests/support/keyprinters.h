#ifndef REVERIZ_TESTS_SUPPORT_KEYPRINTERS_H
#define REVERIZ_TESTS_SUPPORT_KEYPRINTERS_H

#include "common/encryption/reverizkey.h"
#include "common/encryption/reverizkeyidentifier.h"
#include "common/internal/jsontext.h"

#include <ostream>

// GoogleTest printers for symmetric keys and their identifiers: their compact JSON form.
inline void PrintTo(const ReverizKeyIdentifier& identifier, std::ostream* os)
{
    *os << Reveriz::Internal::JsonText::compact(identifier.toJson());
}

inline void PrintTo(const ReverizKey& key, std::ostream* os)
{
    *os << Reveriz::Internal::JsonText::compact(key.toJson());
}

#endif
