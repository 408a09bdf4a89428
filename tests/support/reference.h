#ifndef REVERIZ_TESTS_SUPPORT_REFERENCE_H
#define REVERIZ_TESTS_SUPPORT_REFERENCE_H

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>

// What the tests, fuzz targets and benchmarks hold the library to: zlib itself, and the stored-data format written
// and read straight with OpenSSL's EVP interface, as a peer that knows only the format would. None of the library's
// code runs here, only its OpenSSL handles. Failures of OpenSSL or zlib to set up throw std::runtime_error.
namespace Reference {

/** The vector of keys that store none with their data, spelled out from the format rather than taken from the code. */
QByteArray fixedIvec();

/**
 * Stored data of plain: storedIvec, then the CBC ciphertext with PKCS#7 padding under cipherName, keyed with the
 * leading key bytes the cipher takes and the leading bytes of storedIvec it reads, or the fixed vector when
 * storedIvec is empty.
 */
QByteArray encrypt(const QString& cipherName, const QByteArray& key, const QByteArray& storedIvec,
                   QByteArrayView plain);

/**
 * Reverses encrypt for stored data with ivecLength bytes of vector in front (0: the fixed vector). Nothing when the
 * data is shorter than its vector or its padding is wrong.
 */
std::optional<QByteArray> decrypt(const QString& cipherName, const QByteArray& key, qsizetype ivecLength,
                                  QByteArrayView stored);

/** What zlib makes of a zlib stream. */
struct Inflation
{
    /** The stream ended properly, within the limit. */
    bool finished = false;
    /** Reading stopped once the output grew beyond the limit. */
    bool beyondLimit = false;
    /** All of the output when finished, else what came out before zlib stopped. */
    QByteArray output;

    std::optional<QByteArray> result() const { return finished ? std::optional<QByteArray>(output) : std::nullopt; }
};

/** zlib's own reading of a zlib stream, which stops once the output grows beyond limit bytes. */
Inflation zlibInflate(QByteArrayView stream, std::size_t limit = SIZE_MAX);

/**
 * qCompress's layout (4-byte big-endian length, then a zlib stream) read as a peer reads it: nothing for 4 bytes or
 * fewer, an announced length beyond limit bytes, or a stream zlibInflate refuses within limit.
 */
std::optional<QByteArray> uncompress(QByteArrayView compressed, std::size_t limit);

} // namespace Reference

#endif
