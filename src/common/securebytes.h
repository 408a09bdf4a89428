#ifndef REVERIZ_COMMON_SECUREBYTES_H
#define REVERIZ_COMMON_SECUREBYTES_H

/**
 * @file
 * Reveriz::SecureBytes, the one type that holds secrets (key bytes, PEM texts, pass phrases), and the wipes of
 * the copies that Qt and JsonCpp types hold at its boundary.
 */

#include "common/reverizexport.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <json/value.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>

namespace Reveriz {

/** Overwrites size bytes at data with zeros, in a way the compiler does not drop (OPENSSL_cleanse). */
REVERIZ_EXPORT void wipe(void* data, std::size_t size) noexcept;

/**
 * Empties array, wiping all of its capacity first when it alone holds its bytes (the wiped buffer stays with the
 * array until it goes); bytes it shares with another array, or does not own (QByteArray::fromRawData), are left
 * to their owner. Detach an array before it takes a secret that must be wiped.
 */
REVERIZ_EXPORT void wipe(QByteArray& array) noexcept;

/** Empties text as wipe(QByteArray&) does, wiping it first when it alone holds its characters. */
REVERIZ_EXPORT void wipe(QString& text) noexcept;

/** Wipes all of text's capacity and empties it (the wiped buffer stays with text until it goes). */
REVERIZ_EXPORT void wipe(std::string& text) noexcept;

/**
 * Overwrites every string value inside value, at any depth, with zero bytes, where it stands; the value keeps its
 * shape, and member names stay as they are. Only for values the code built or parsed itself (a string made from a
 * Json::StaticString points into constant text).
 */
REVERIZ_EXPORT void wipe(Json::Value& value) noexcept;

/**
 * The storage of SecureBytes: whole pages of their own, locked in memory so that they are not swapped out (best
 * effort: a failure, such as the small lock limit of unprivileged users, is silent) and left out of core images.
 */
struct REVERIZ_EXPORT LockedPages
{
    /** At least size bytes (size > 0) on pages of their own; throws std::bad_alloc. */
    static void* allocate(std::size_t size);
    /** Gives back what allocate returned for size; the caller has wiped it. */
    static void release(void* data, std::size_t size) noexcept;
};

/**
 * An owning, move-only byte buffer for secrets: its bytes are wiped when it is destroyed, when it is assigned
 * over, when it grows into a larger buffer and when it is cut. It never copies implicitly: copy() is the one way
 * to a second secret, and the conversions to Qt and standard types are named. Storage gives and takes its
 * buffers (LockedPages; tests observe releases with a storage of their own).
 */
template<class Storage> class BasicSecureBytes
{
public:
    /** No bytes. */
    BasicSecureBytes() noexcept = default;
    /** size zero bytes. */
    explicit BasicSecureBytes(std::size_t size) { resize(size); }
    /** A copy of the size bytes at data. */
    BasicSecureBytes(const char* data, std::size_t size) { append(data, size); }
    /** A copy of bytes. */
    explicit BasicSecureBytes(QByteArrayView bytes) { append(bytes.data(), static_cast<std::size_t>(bytes.size())); }
    /** Takes other's buffer; other is left empty, holding none. */
    BasicSecureBytes(BasicSecureBytes&& other) noexcept
        : m_data(std::exchange(other.m_data, nullptr))
        , m_size(std::exchange(other.m_size, 0))
        , m_capacity(std::exchange(other.m_capacity, 0))
    {
    }
    /** Wipes the bytes held so far, then takes other's buffer; other is left empty. */
    BasicSecureBytes& operator=(BasicSecureBytes&& other) noexcept
    {
        if (this != &other) {
            release();
            m_data = std::exchange(other.m_data, nullptr);
            m_size = std::exchange(other.m_size, 0);
            m_capacity = std::exchange(other.m_capacity, 0);
        }
        return *this;
    }
    BasicSecureBytes(const BasicSecureBytes&) = delete;
    BasicSecureBytes& operator=(const BasicSecureBytes&) = delete;
    /** Wipes the bytes. */
    ~BasicSecureBytes() { release(); }

    /** A second secret with the same bytes. */
    [[nodiscard]] BasicSecureBytes copy() const { return BasicSecureBytes(m_data, m_size); }
    /** The bytes of array, which is wiped (when it alone holds them, see wipe(QByteArray&)). */
    [[nodiscard]] static BasicSecureBytes takeFrom(QByteArray& array)
    {
        BasicSecureBytes taken(QByteArrayView(array.constData(), array.size()));
        wipe(array);
        return taken;
    }
    /** The bytes of text, which is wiped. */
    [[nodiscard]] static BasicSecureBytes takeFrom(std::string& text)
    {
        BasicSecureBytes taken(text.data(), text.size());
        wipe(text);
        return taken;
    }

    /** The bytes; null when there are none. */
    char* data() noexcept { return m_data; }
    /** The bytes; null when there are none. */
    const char* data() const noexcept { return m_data; }
    /** The number of bytes. */
    std::size_t size() const noexcept { return m_size; }
    /** True without bytes. */
    bool isEmpty() const noexcept { return m_size == 0; }
    /** The bytes, valid while this holds them unchanged. */
    QByteArrayView view() const noexcept { return QByteArrayView(m_data, static_cast<qsizetype>(m_size)); }

    /** Appends size bytes from data; a buffer outgrown is wiped. */
    void append(const char* data, std::size_t size)
    {
        reserve(m_size + size);
        if (size > 0)
            std::copy(data, data + size, m_data + m_size);
        m_size += size;
    }
    /** Appends one byte. */
    void append(char byte) { append(&byte, 1); }
    /** Cuts to size bytes (wiping the rest) or extends with zero bytes. */
    void resize(std::size_t size)
    {
        if (size < m_size) {
            wipe(m_data + size, m_size - size);
        } else {
            reserve(size);
            std::fill(m_data + m_size, m_data + size, '\0');
        }
        m_size = size;
    }
    /** Makes room for capacity bytes in all, moving the bytes to a new buffer and wiping the old one. */
    void reserve(std::size_t capacity)
    {
        if (capacity <= m_capacity)
            return;
        const std::size_t grown = std::max({capacity, m_capacity * 2, std::size_t(64)});
        BasicSecureBytes larger;
        larger.m_data = static_cast<char*>(Storage::allocate(grown));
        larger.m_capacity = grown;
        larger.m_size = m_size;
        std::copy(m_data, m_data + m_size, larger.m_data);
        *this = std::move(larger);
    }
    /** Wipes the bytes and gives back the buffer. */
    void clear() noexcept { release(); }

    /** A QByteArray copy of the bytes, for an interface that takes one; wipe it once it has been used. */
    [[nodiscard]] QByteArray toByteArray() const { return QByteArray(m_data, static_cast<qsizetype>(m_size)); }
    /** A std::string copy of the bytes (for JsonCpp); wipe it once it has been used. */
    [[nodiscard]] std::string toStdString() const { return m_size == 0 ? std::string() : std::string(m_data, m_size); }

private:
    void release() noexcept
    {
        if (m_data) {
            wipe(m_data, m_capacity);
            Storage::release(m_data, m_capacity);
        }
        m_data = nullptr;
        m_size = 0;
        m_capacity = 0;
    }

    char* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

/**
 * Wipes the object it watches (anything wipe() takes) when it goes out of scope, on every path, exceptions
 * included.
 */
template<class T> class WipeGuard
{
public:
    /** Watches watched, which must outlive the guard. */
    explicit WipeGuard(T& watched) noexcept
        : m_watched(watched)
    {
    }
    WipeGuard(const WipeGuard&) = delete;
    WipeGuard& operator=(const WipeGuard&) = delete;
    /** Wipes the watched object. */
    ~WipeGuard() { wipe(m_watched); }

private:
    T& m_watched;
};

/** The library's secret bytes, on locked pages. */
using SecureBytes = BasicSecureBytes<LockedPages>;

} // namespace Reveriz

#endif
