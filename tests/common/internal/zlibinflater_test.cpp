#include "common/internal/zlibinflater.h"
#include "support/qtprinters.h"
#include "support/reference.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <optional>
#include <zlib.h>

using namespace Reveriz::Internal;

namespace {

std::optional<QByteArray> inflaterRead(const QByteArray& stream, std::size_t pieceSize)
{
    ZlibInflater inflater(stream.constData(), static_cast<std::size_t>(stream.size()));
    QByteArray output;
    QByteArray piece(static_cast<qsizetype>(pieceSize), '\0');
    while (inflater.state() == ZlibInflater::State::Running)
        output.append(piece.constData(), static_cast<qsizetype>(inflater.read(piece.data(), pieceSize)));
    return inflater.state() == ZlibInflater::State::Finished ? std::optional<QByteArray>(output) : std::nullopt;
}

// The whole-buffer inflation, given ever more room until the output fits.
std::optional<QByteArray> wholeRead(const QByteArray& stream)
{
    for (std::size_t room = 1;; room *= 2) {
        QByteArray out(static_cast<qsizetype>(room), '\0');
        const WholeInflation inflation =
            inflateWhole(stream.constData(), static_cast<std::size_t>(stream.size()), out.data(), room);
        if (inflation.result == WholeInflation::Result::Corrupt)
            return std::nullopt;
        if (inflation.result == WholeInflation::Result::Finished)
            return out.left(static_cast<qsizetype>(inflation.size));
    }
}

QByteArray compressed(const QByteArray& data, int level)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    QByteArray stream(static_cast<qsizetype>(size), '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(stream.data()), &size,
                        reinterpret_cast<const Bytef*>(data.constData()), static_cast<uLong>(data.size()), level),
              Z_OK);
    stream.truncate(static_cast<qsizetype>(size));
    return stream;
}

void expectSameAsZlib(const QByteArray& stream)
{
    SCOPED_TRACE(stream.left(16).toHex().toStdString());
    const std::optional<QByteArray> expected = Reference::zlibInflate(stream).result();
    for (const std::size_t pieceSize : {std::size_t(1), std::size_t(7), std::size_t(65536)})
        ASSERT_EQ(inflaterRead(stream, pieceSize), expected) << "pieces of " << pieceSize;
    ASSERT_EQ(wholeRead(stream), expected) << "whole";
}

QByteArray logText(int lines)
{
    QByteArray text;
    for (int i = 0; i < lines; ++i)
        text += "2026-12-08 10:00:" + QByteArray::number(i % 60) + " INFO block " + QByteArray::number(i * 7919) + "\n";
    return text;
}

TEST(ZlibInflater, ReadsWhatZlibWritesAtEveryLevel)
{
    QRandomGenerator random(7);
    QByteArray noise(70000, '\0');
    random.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    for (const QByteArray& data : {QByteArray(), QByteArray("a"), logText(20000), noise}) {
        for (const int level : {0, 1, 6, 9})
            expectSameAsZlib(compressed(data, level));
    }
}

TEST(ZlibInflater, RefusesWhatZlibRefuses)
{
    const QByteArray good = compressed(logText(200), 1);
    QByteArray wrongCheck = good;
    wrongCheck[1] = static_cast<char>(wrongCheck[1] ^ 1);
    QByteArray wideWindow = good;
    wideWindow[0] = static_cast<char>(0x88); // a 64 KiB window, beyond what zlib allows
    wideWindow[1] = static_cast<char>(0x1c);
    QByteArray dictionary = good;
    dictionary[1] = static_cast<char>(0x3d); // FDICT set, header check still right
    QByteArray wrongAdler = good;
    wrongAdler[wrongAdler.size() - 1] = static_cast<char>(wrongAdler.back() ^ 1);
    QByteArray otherMethod = good;
    otherMethod[0] = static_cast<char>(0x77);

    for (const QByteArray& stream : {wrongCheck, wideWindow, dictionary, wrongAdler, otherMethod, good.chopped(1),
                                     good.left(2), QByteArray(), good + "trailing bytes"})
        expectSameAsZlib(stream);
}

TEST(ZlibInflater, AgreesWithZlibOnDamagedStreams)
{
    QRandomGenerator random(20261208);
    const QByteArray good = compressed(logText(300), 6);
    for (int round = 0; round < 300; ++round) {
        QByteArray damaged = good;
        const int flips = 1 + static_cast<int>(random.bounded(3));
        for (int i = 0; i < flips; ++i) {
            const auto at = static_cast<qsizetype>(random.bounded(damaged.size()));
            damaged[at] = static_cast<char>(damaged.at(at) ^ (1 << random.bounded(8)));
        }
        expectSameAsZlib(damaged);
    }
}

} // namespace
