#include "stringconversion.h"

#include <QStringDecoder>

#include <cstring>

namespace {

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The length of the valid UTF-8 sequence at text[i], or 0 when there is none (RFC 3629: no overlong forms, no
// surrogates, nothing above U+10FFFF).
int sequenceLength(const unsigned char* text, std::size_t size, std::size_t i)
{
    const unsigned char lead = text[i];
    const std::size_t left = size - i;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return left >= 2 && isContinuation(text[i + 1]) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (left < 3 || !isContinuation(text[i + 1]) || !isContinuation(text[i + 2]))
            return 0;
        const unsigned char second = text[i + 1];
        return (lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ? 0 : 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (left < 4 || !isContinuation(text[i + 1]) || !isContinuation(text[i + 2]) || !isContinuation(text[i + 3]))
            return 0;
        const unsigned char second = text[i + 1];
        return (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F) ? 0 : 4;
    }
    return 0;
}

} // namespace

namespace StringConversion {

QString fromStdString(const std::string& s)
{
    return QString::fromUtf8(s.c_str(), static_cast<qsizetype>(std::strlen(s.c_str())));
}

std::string toStdString(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    return std::string(utf8.constData(), std::strlen(utf8.constData()));
}

QString fromCommandLine(const char* argument)
{
    const std::size_t size = std::strlen(argument);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(QByteArrayView(argument, static_cast<qsizetype>(size)));
    if (!decoder.hasError())
        return text;
    const auto* bytes = reinterpret_cast<const unsigned char*>(argument);
    text.clear();
    for (std::size_t i = 0; i < size;) {
        const int length = sequenceLength(bytes, size, i);
        if (length == 0) {
            text += QChar(static_cast<char16_t>(0xDC00 + bytes[i]));
            ++i;
        } else {
            text += QString::fromUtf8(argument + i, length);
            i += static_cast<std::size_t>(length);
        }
    }
    return text;
}

} // namespace StringConversion
