#ifndef REVERIZ_COMMON_QKARNJSONTRAIT_H
#define REVERIZ_COMMON_QKARNJSONTRAIT_H

/**
 * @file
 * The JSON forms of Qt and integer values.
 */

#include "common/reverizexport.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include <json/value.h>

/**
 * The JSON form of a Qt or integer value. Callers pick the member; the trait writes or reads its value.
 *
 * toJson replaces the whole target. fromJson never fails for texts, byte arrays, dates, booleans and 64-bit
 * integers (a wrong JSON type reads as empty, null, false or 0); only the int and unsigned int readers let the
 * JSON library's exception through. 64-bit integers travel as strings of decimal digits; byte arrays are stored
 * as they are, cut at the first zero byte.
 */
template<typename T> struct QkarnJsonTrait;

/** Declares the trait of one type; undefined again at the end of this header. */
// NOLINTBEGIN(bugprone-macro-parentheses): the argument is a type
#define REVERIZ_DECLARE_JSON_TRAIT(Type)                                                                               \
    /** The JSON form of Type. */                                                                                      \
    template<> struct REVERIZ_EXPORT QkarnJsonTrait<Type>                                                              \
    {                                                                                                                  \
        /** Replaces target with the JSON form of value. */                                                            \
        static void toJson(Json::Value& target, const Type& value);                                                    \
        /** Replaces value with what source holds, as the trait reads it. */                                           \
        static void fromJson(const Json::Value& source, Type& value);                                                  \
    };
// NOLINTEND(bugprone-macro-parentheses)

REVERIZ_DECLARE_JSON_TRAIT(unsigned int)
REVERIZ_DECLARE_JSON_TRAIT(int)
REVERIZ_DECLARE_JSON_TRAIT(bool)
REVERIZ_DECLARE_JSON_TRAIT(QString)
REVERIZ_DECLARE_JSON_TRAIT(QByteArray)
REVERIZ_DECLARE_JSON_TRAIT(QDate)
REVERIZ_DECLARE_JSON_TRAIT(QTime)
REVERIZ_DECLARE_JSON_TRAIT(QDateTime)
REVERIZ_DECLARE_JSON_TRAIT(long long)
REVERIZ_DECLARE_JSON_TRAIT(unsigned long long)

#undef REVERIZ_DECLARE_JSON_TRAIT

#endif
