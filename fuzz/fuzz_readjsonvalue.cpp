// Arbitrary file content into FileUtilities::readJsonValue. The first input byte chooses whether the content lies
// in the file itself or only in the companion an interrupted replacement leaves, which the read must move into
// place first. The read agrees with the permissive parser on the same bytes and fails only with code 4006.

#include "common/exceptions/reverizexception.h"
#include "common/fileutilities.h"
#include "common/internal/jsontext.h"
#include "fuzzsupport.h"

#include <QFile>

#include <cstdlib>

using namespace Reveriz::Internal;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const bool onlyCompanion = data[0] & 1;
    const QByteArray content = FuzzSupport::bytes(data + 1, size - 1);
    const QString path = FuzzSupport::scratchDirectory() + QStringLiteral("/input.json");
    const QString companion = path + QStringLiteral(".tempreplace");
    QFile::remove(path);
    QFile::remove(companion);
    {
        QFile file(onlyCompanion ? companion : path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            std::abort();
    }

    Json::Value expected;
    const bool parses = JsonText::parsePermissive(content, expected);
    Json::Value value;
    try {
        FileUtilities::readJsonValue(path, value, true);
    } catch (const ReverizException& e) {
        if (parses || e.errorCode() != 4006)
            std::abort();
    }
    if (parses && !(value == expected))
        std::abort();
    // Recovered or not, the content is now the file's, and no companion is left.
    QByteArray stored;
    FileUtilities::readByteArray(path, stored, false);
    if (stored != content || QFile::exists(companion))
        std::abort();
    return 0;
}
