// The format checks and string conversions on arbitrary bytes: never crash, and agree with each other.

#include "common/stringconversion.h"
#include "common/typechecks.h"
#include "common/uuidtools.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const QString text = StringConversion::fromStdString(bytes);

    if (TypeChecks::isUUID(text) && !UuidTools::validateUuid(text))
        std::abort(); // the strict form is a case of the loose one
    if (TypeChecks::isSHA1(text) && !TypeChecks::isBase64(text))
        std::abort();
    TypeChecks::isPEM(QStringLiteral("RSA PUBLIC KEY"), text);

    // The first line as the PEM label exercises labels with pattern syntax in them.
    const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
    if (lineEnd > 0)
        TypeChecks::isPEM(text.left(lineEnd), text.mid(lineEnd + 1));

    // Text without U+0000 survives a round trip through UTF-8.
    if (StringConversion::fromStdString(StringConversion::toStdString(text)) != text)
        std::abort();
    return 0;
}
