#ifndef REVERIZ_TESTS_SUPPORT_KEYPRINTERS_H
#define REVERIZ_TESTS_SUPPORT_KEYPRINTERS_H

#include "common/encryption/reverizkeyidentifier.h"
#include "common/jsontext.h"

#include <ostream>

// GoogleTest printers for key identifiers: their compact JSON form.
inline void PrintTo(const ReverizKeyIdentifier& identifier, std::ostream* os)
{
    *os << JsonText::compact(identifier.toJson());
}

#endif
