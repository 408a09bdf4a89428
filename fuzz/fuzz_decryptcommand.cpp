// Whole encrypted log files through the decrypt command, in-process with the fixture protocol key: status 0 leaves
// exactly the plain bytes that the library's own reading of the file gives (JSON, unwrapped key, decryptData), status
// 1 leaves no output and names the failure; nothing else is left in the directory. The reference keeps the keys it
// unwrapped, so an input costs one private-key operation when only its log data changes.

#include "common/exceptions/reverizexception.h"
#include "fuzzsupport.h"
#include "keyutilitycommands.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

#include <cstdlib>
#include <optional>
#include <stdexcept>

namespace {

// What the file decrypts to, read the library's reference way; nothing when it refuses it.
std::optional<QByteArray> reference(const QByteArray& text)
{
    try {
        return FuzzSupport::referencePlainLog(text, QStringLiteral("log.json"));
    } catch (const ReverizException&) {
    } catch (const std::runtime_error&) {
    }
    return std::nullopt;
}

QString setUp()
{
    QString directory = FuzzSupport::scratchDirectory();
    QFile keyFile(directory + QStringLiteral("/protocol-private.key"));
    const QByteArray keyText = FuzzSupport::fixture(QStringLiteral("protocol-private.key"));
    if (!keyFile.open(QIODevice::WriteOnly) || keyFile.write(keyText) != keyText.size())
        std::abort();
    return directory;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString directory = setUp();
    const QByteArray text = FuzzSupport::bytes(data, size);
    const QString input = directory + QStringLiteral("/log.json");
    const QString output = input + QStringLiteral(".decrypted");
    QFile::remove(output);
    {
        QFile file(input);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
            std::abort();
    }

    QString message;
    QTextStream err(&message);
    const int status = KeyUtility::decryptLog(directory + QStringLiteral("/protocol-private.key"), input, err);
    const std::optional<QByteArray> expected = reference(text);
    QFile result(output);
    if (status == 0) {
        if (!expected || !message.isEmpty() || !result.open(QIODevice::ReadOnly) || result.readAll() != *expected)
            std::abort();
    } else if (status != 1 || expected || result.exists()
               || !message.startsWith(QStringLiteral("Could not decrypt file: "))
               || !message.endsWith(QLatin1Char('\n'))) {
        std::abort();
    }
    const QStringList files = QDir(directory).entryList(QDir::Files | QDir::Hidden);
    if (files.size() != (status == 0 ? 3 : 2))
        std::abort();
    return 0;
}
