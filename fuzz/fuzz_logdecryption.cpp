// Whole encrypted log files through the decrypt command's path (the fast reader, Base64 in place, streaming
// decryption) against the reference path (the permissive reader, QByteArray::fromBase64, decryptData): the same
// plain bytes, or the same failure.

#include "common/encryption/encryptedlogfile.h"
#include "common/exceptions/reverizexception.h"
#include "fuzzsupport.h"

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <typeinfo>

namespace {

// What a path gave: the plain bytes, or the kind and text of what it threw.
std::string outcomeOf(const std::function<std::string()>& decrypt)
{
    try {
        return "plain:" + decrypt();
    } catch (const ReverizException& e) {
        return "failed:" + std::string(typeid(e).name()) + ":"
            + e.errorMessage(ReverizException::FormatWithName).toStdString();
    } catch (const std::exception& e) {
        return std::string("library error:") + e.what();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text = FuzzSupport::bytes(data, size);
    const QString name = QStringLiteral("log.json");
    const std::string reference = outcomeOf([&] { return FuzzSupport::referencePlainLog(text, name).toStdString(); });

    const std::string fast = outcomeOf([&] {
        Reveriz::EncryptedLogFile::LogFile file = Reveriz::EncryptedLogFile::LogFile::read(text, name);
        const std::shared_ptr<ReverizKey> key = FuzzSupport::unwrapLogKey(file.wrappedKey());
        std::string plain;
        const bool finished = file.decryptTo(*key, [&](const char* piece, std::size_t n) {
            plain.append(piece, n);
            return true;
        });
        if (!finished)
            std::abort();
        return plain;
    });

    if (fast != reference)
        std::abort();
    return 0;
}
