#include "reverizkeyfile.h"

#include "common/exceptions/reverizexception.h"
#include "common/fileutilities.h"
#include "common/internal/atomicfile.h"
#include "common/internal/jsontext.h"

#include <QFileInfo>

#include <utility>

using namespace Reveriz::Internal;

namespace Reveriz::KeyFile {

Document Document::read(const QString& path, bool recoverTempReplace)
{
    QByteArray text;
    const WipeGuard wipeText(text); // should the read fail half-way
    FileUtilities::readByteArray(path, text, recoverTempReplace, ReverizRSA::MaximumKeyFileSize);
    return parse(std::move(text), path);
}

Document Document::parse(QByteArray text, const QString& name)
{
    Document document;
    document.m_text = std::move(text);
    if (!JsonText::parsePermissive(document.m_text, document.m_json))
        throw FileUtilities::jsonParseFailure(name, REVERIZ_HERE);
    return document;
}

Document::Document(Document&& other) noexcept = default;

Document& Document::operator=(Document&& other) noexcept
{
    if (this != &other) {
        wipe(m_text);
        wipe(m_json);
        m_text = std::exchange(other.m_text, QByteArray());
        m_json = std::exchange(other.m_json, Json::Value());
    }
    return *this;
}

Document::~Document()
{
    wipe(m_text);
    wipe(m_json);
}

bool Document::isKeyFile() const
{
    return ReverizRSA::isKeyFile(m_json);
}

std::shared_ptr<ReverizRSA> Document::pair() const
{
    return ReverizRSA::fromJson(m_json);
}

std::shared_ptr<ReverizRSA> read(const QString& path, bool recoverTempReplace)
{
    return Document::read(path, recoverTempReplace).pair();
}

void unlock(ReverizRSA& pair, const PassPhraseSource& passPhrase)
{
    if (!pair.requiresPassPhrase())
        return;
    const std::optional<SecureBytes> given = passPhrase();
    if (!given)
        return;
    QString text = QString::fromUtf8(given->view());
    const WipeGuard wipeText(text);
    pair.supplyPassphrase(text);
}

SecureBytes text(const ReverizRSA& pair, bool includePrivateKey)
{
    Json::Value document = pair.toJson(includePrivateKey);
    const WipeGuard wipeDocument(document);
    std::string styled = JsonText::styled(document);
    return SecureBytes::takeFrom(styled);
}

namespace {

WriteFailure failure(const AtomicFile& file, WriteFailure::Left left = WriteFailure::Left::EarlierPair)
{
    return {left, file.targetPath(), file.errorString(), QString()};
}

} // namespace

std::optional<WriteFailure> refusedTarget(const QString& privatePath, const QString& publicPath)
{
    for (const QString& path : {privatePath, publicPath}) {
        QString error;
        const std::optional<OutputFile::Placement> placement = OutputFile::placementOf(path, &error);
        if (placement == OutputFile::Placement::Replaced)
            continue;
        return WriteFailure {WriteFailure::Left::EarlierPair, path,
                             placement ? QStringLiteral("cannot replace %1: not a regular file").arg(path) : error,
                             QString()};
    }
    return std::nullopt;
}

std::optional<WriteFailure> writePair(const ReverizRSA& pair, const QString& privatePath, const QString& publicPath)
{
    const SecureBytes privateText = text(pair, true);
    const SecureBytes publicText = text(pair, false);

    // Until both are renamed, each earlier file is kept under a second name: a failure in between puts the earlier
    // pair back, for two halves of different pairs would lose the earlier private key while its public half stays
    // in use. A failed writer removes its temporary file when it goes out of scope.
    AtomicFile privateFile(privatePath);
    AtomicFile publicFile(publicPath);
    if (!privateFile.open(AtomicFile::Permissions::OwnerOnly)
        || !privateFile.write(privateText.data(), privateText.size()))
        return failure(privateFile);
    if (!publicFile.open(AtomicFile::Permissions::Public) || !publicFile.write(publicText.data(), publicText.size()))
        return failure(publicFile);
    if (!privateFile.finish())
        return failure(privateFile);
    if (!publicFile.finish())
        return failure(publicFile);
    // Another writer of a pair in this directory must not rename its files between these two renames. Where the
    // directory cannot be locked (it is not readable, or its file system has no locks) the renames go ahead
    // unserialised.
    const DirectoryLock lock(QFileInfo(privatePath).path());
    if (!privateFile.keepEarlier())
        return failure(privateFile);
    if (!publicFile.keepEarlier())
        return failure(publicFile);
    {
        // An interruption between the renames would leave halves of two pairs: it waits until they are done.
        const DeferredCleanupSignals deferred;
        // The files are synced already; the directory is synced once, after both renames.
        if (!privateFile.commit(AtomicFile::Durability::Unsynced))
            return failure(privateFile);
        if (!publicFile.commit(AtomicFile::Durability::Unsynced)) {
            WriteFailure failed = failure(publicFile);
            if (!privateFile.restoreEarlier()) {
                failed.left = WriteFailure::Left::MixedPair;
                failed.restoreError = privateFile.errorString();
            }
            return failed;
        }
    }
    QString error;
    if (!AtomicFile::syncDirectoryOf(publicFile.targetPath(), &error))
        return WriteFailure {WriteFailure::Left::UnsyncedNewPair, publicFile.targetPath(), error, QString()};
    return std::nullopt;
}

} // namespace Reveriz::KeyFile
