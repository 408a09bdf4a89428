// The fast reader of encrypted log files against the permissive reader: wherever the fast one reads a text,
// the reference reads it too and yields the same key and log data.

#include "common/encryption/internal/logfilereader.h"
#include "common/internal/jsontext.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace Reveriz::Internal;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string copy = text + '\0';
    const std::optional<LogFileReader::Parts> fast = LogFileReader::scanInPlace(copy.data(), text.size());
    if (!fast)
        return 0;

    Json::Value document;
    if (!JsonText::parsePermissive(text.data(), text.data() + text.size(), document))
        std::abort(); // read a text the reference refuses
    QByteArray storage;
    const LogFileReader::Parts reference = LogFileReader::fromDocument(document, storage);
    if (!(fast->key == reference.key) || fast->key.type() != reference.key.type())
        std::abort();
    const bool fastHasData = fast->logData != nullptr;
    const bool referenceHasData = reference.logData != nullptr;
    if (fastHasData != referenceHasData
        || (fastHasData
            && std::string(fast->logData, fast->logDataSize) != std::string(reference.logData, reference.logDataSize)))
        std::abort();
    return 0;
}
