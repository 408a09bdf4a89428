#ifndef REVERIZ_COMMON_TYPECHECKS_H
#define REVERIZ_COMMON_TYPECHECKS_H

/**
 * @file
 * TypeChecks, the format checks of texts.
 */

#include "common/reverizexport.h"

#include <QString>

/** Whole-text, case-sensitive format checks. None of them throws. */
namespace TypeChecks {

/** True for exactly 40 lower-case hexadecimal digits. */
REVERIZ_EXPORT bool isSHA1(QString text);

/** True for exactly the 8-4-4-4-12 UUID form with lower-case hexadecimal digits. */
REVERIZ_EXPORT bool isUUID(QString text);

/** True for a run of letters, digits, "/" and "+" followed by any number of "=" (the empty text too). */
REVERIZ_EXPORT bool isBase64(QString text);

/**
 * True when text is exactly one PEM block labelled type: line feeds only, no headers, a final line feed.
 * The type is inserted into the pattern unescaped.
 */
REVERIZ_EXPORT bool isPEM(QString type, QString text);

} // namespace TypeChecks

#endif
