#ifndef REVERIZ_TESTS_SUPPORT_QTPRINTERS_H
#define REVERIZ_TESTS_SUPPORT_QTPRINTERS_H

#include <QByteArray>
#include <QString>

#include <iosfwd>

// GoogleTest printers, found by argument-dependent lookup: texts as quoted UTF-8, bytes as hexadecimal.
void PrintTo(const QString& text, std::ostream* os);
void PrintTo(const QByteArray& bytes, std::ostream* os);

#endif
