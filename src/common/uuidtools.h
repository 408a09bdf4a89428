#ifndef REVERIZ_COMMON_UUIDTOOLS_H
#define REVERIZ_COMMON_UUIDTOOLS_H

/**
 * @file
 * UuidTools, making and checking UUIDs.
 */

#include "common/reverizexport.h"

#include <QString>

/** New UUIDs and the check of actor identifiers. */
namespace UuidTools {

/** A new random UUID: 36 lower-case characters in the 8-4-4-4-12 form, without braces. */
REVERIZ_EXPORT QString createUuid();

/**
 * True for five runs of lower-case hexadecimal digits of any length (empty too) separated by four "-".
 * This is the loose form actor identifiers must have.
 */
REVERIZ_EXPORT bool validateUuid(const QString& uuid);

} // namespace UuidTools

#endif
