#ifndef REVERIZ_TESTS_CRASH_CRASHCONTENT_H
#define REVERIZ_TESTS_CRASH_CRASHCONTENT_H

#include <QByteArray>

// The two contents the replacing writer alternates between: a few MiB each, of different lengths, and different
// in every 4 KiB page, so that any mix of the two, any cut and any empty file differs from both.
namespace CrashContent {

inline QByteArray content(int which)
{
    const qsizetype size = which == 0 ? (3 << 20) : (2 << 20) + 4099;
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = which == 0 ? 0x9e3779b9u : 0x7f4a7c15u;
    for (qsizetype i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<char>(state >> 24);
    }
    return bytes;
}

} // namespace CrashContent

#endif
