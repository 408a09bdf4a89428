#ifndef REVERIZ_COMMON_ENCRYPTION_REVERIZKEYFILE_H
#define REVERIZ_COMMON_ENCRYPTION_REVERIZKEYFILE_H

/**
 * @file
 * Reveriz::KeyFile, the one reader and writer of key files: the styled JSON of a key pair (ReverizRSA::toJson).
 */

#include "common/encryption/reverizrsa.h"
#include "common/reverizexport.h"
#include "common/securebytes.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <json/value.h>

#include <functional>
#include <memory>
#include <optional>

namespace Reveriz::KeyFile {

/**
 * A file read as a key file: its text and the JSON document parsed from it permissively (comments, any root value),
 * as FileUtilities::readJsonValue parses. Both are wiped when it goes, for a private key file holds its private key.
 */
class REVERIZ_EXPORT Document
{
public:
    /**
     * Reads the file at path, of at most ReverizRSA::MaximumKeyFileSize bytes (with recoverTempReplace, moving a
     * lone ".tempreplace" companion into place first). Throws what FileUtilities::readJsonValue throws.
     */
    static Document read(const QString& path, bool recoverTempReplace = true);
    /** The document of text, which it takes; name names it in messages. Throws the file utilities' 4006 naming
     *  name for text that is not JSON. */
    static Document parse(QByteArray text, const QString& name);

    /** Takes other's text and document; other is left empty. */
    Document(Document&& other) noexcept;
    /** Wipes the text and document held so far, then takes other's. */
    Document& operator=(Document&& other) noexcept;
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
    /** Wipes the text and the document's strings. */
    ~Document();

    /** Whether the document reads as a key file rather than anything else (ReverizRSA::isKeyFile). */
    bool isKeyFile() const;
    /** The key pair the document holds; throws what ReverizRSA::fromJson throws. */
    std::shared_ptr<ReverizRSA> pair() const;

    /** The file's text. */
    const QByteArray& text() const { return m_text; }
    /** The parsed document. */
    const Json::Value& json() const { return m_json; }

private:
    Document() = default;

    QByteArray m_text;
    Json::Value m_json;
};

/** The key pair of the key file at path: Document::read, then Document::pair. */
REVERIZ_EXPORT std::shared_ptr<ReverizRSA> read(const QString& path, bool recoverTempReplace = true);

/** Gives the pass phrase of a protected key as UTF-8, asked for only when one is needed; nullopt when none is at
 *  hand. */
using PassPhraseSource = std::function<std::optional<Reveriz::SecureBytes>()>;

/**
 * Unlocks pair's pass-phrase-protected private key with the pass phrase passPhrase gives. Does nothing for a key
 * without that protection (passPhrase is not called) or when passPhrase gives none: then the key stays locked, and
 * using it fails as for any locked key. Throws SuppliedWrongPassPhraseException, and what passPhrase throws.
 */
REVERIZ_EXPORT void unlock(ReverizRSA& pair, const PassPhraseSource& passPhrase);

/**
 * The bytes of pair's key file: the styled JSON text (Json::StyledWriter's layout: three-space indentation, one
 * member per line, a final line feed) of ReverizRSA::toJson(includePrivateKey).
 */
REVERIZ_EXPORT Reveriz::SecureBytes text(const ReverizRSA& pair, bool includePrivateKey);

/** Why writePair did not write a pair, and what it left in the targets' place. */
struct WriteFailure
{
    /** What is left at the two targets. */
    enum class Left {
        /** The earlier files (or none) at both targets: nothing was replaced, or the earlier pair was put back. */
        EarlierPair,
        /** The new private file beside the earlier public file: putting the earlier pair back failed. */
        MixedPair,
        /** Both new files, but the directory could not be synced: they might not survive a system crash. */
        UnsyncedNewPair,
    };
    /** What is left at the two targets. */
    Left left = Left::EarlierPair;
    /** The target that failed. */
    QString path;
    /** What failed, naming the file concerned and the system's error text. */
    QString error;
    /** With MixedPair, why the earlier private file could not be put back. */
    QString restoreError;
};

/**
 * Why writePair would refuse privatePath or publicPath before writing: a target must be a regular file or a name
 * that names nothing yet, for a key file is never written in place. Nothing when both can be replaced.
 */
REVERIZ_EXPORT std::optional<WriteFailure> refusedTarget(const QString& privatePath, const QString& publicPath);

/**
 * Writes pair's two key files, which share a directory, as one pair: privatePath with the private half (mode 0600
 * whatever the umask) and publicPath with the public half (0666 less the umask). Both are written to temporary files
 * beside their targets and synced before either replaces its target; the private file goes first, with the
 * directory locked (where it can be) against another writer of a pair there, and should the public file's rename
 * fail, the earlier private file is put back. Leaves no temporary file. Returns nothing once both are in place and
 * the directory is synced.
 */
REVERIZ_EXPORT std::optional<WriteFailure> writePair(const ReverizRSA& pair, const QString& privatePath,
                                                     const QString& publicPath);

} // namespace Reveriz::KeyFile

#endif
