// The show command: what a key file or an encrypted log file is, from what anyone may read in it.

#include "common/encryption/encryptedlogfile.h"
#include "common/encryption/reverizkeyfile.h"
#include "common/exceptions/reverizexception.h"
#include "common/fileutilities.h"
#include "keyutilitycommands.h"
#include "toolerrors.h"

#include <QFile>

#include <cerrno>
#include <new>
#include <stdexcept>
#include <sys/stat.h>

namespace KeyUtility {

namespace {

enum class Kind { PublicKey, PrivateKey, ProtectedPrivateKey, EncryptedLog };

// What show tells of a file: the key's facts for key files, the envelope's and the data's for log files.
struct Facts
{
    Kind kind = Kind::PublicKey;
    std::optional<ReverizActor> owner;
    int bits = 0;
    QString publicExponent;
    QString fingerPrint;
    QString publicKeySha256;
    std::optional<bool> halvesMatch;
    std::optional<ReverizActor> recipient;
    qint64 rsaBlocks = 0;
    qint64 logDataSize = 0;
};

// A file that is none of the kinds; reported like the library's failures.
class UnknownKind final : public std::runtime_error
{
public:
    UnknownKind()
        : std::runtime_error("neither a key file nor an encrypted log file")
    {
    }
};

Facts keyFacts(const ReverizRSA& pair)
{
    Facts facts;
    facts.kind = pair.privateKey().isEmpty() ? Kind::PublicKey
        : pair.requiresPassPhrase()          ? Kind::ProtectedPrivateKey
                                             : Kind::PrivateKey;
    facts.owner = pair.keyOwner();
    ReverizRSA::PublicKeyFacts publicKey = pair.publicKeyFacts();
    facts.bits = publicKey.bits;
    facts.publicExponent = std::move(publicKey.exponent);
    facts.fingerPrint = pair.publicKeyFingerPrint();
    facts.publicKeySha256 = std::move(publicKey.subjectPublicKeyInfoSha256);
    facts.halvesMatch = publicKey.halvesMatch;
    return facts;
}

Facts logFacts(const Reveriz::EncryptedLogFile::LogFile& log)
{
    Facts facts;
    facts.kind = Kind::EncryptedLog;
    facts.recipient = log.recipient();
    // Counted for the size of the system's key pairs: a log file does not tell the size of its recipient's.
    facts.rsaBlocks = log.keyBlocks(ReverizRSA::GeneratedKeyBits);
    facts.logDataSize = log.logDataSize();
    return facts;
}

// The file that show reads for path: path, or its companion when only that is there. An inspection moves nothing,
// so the companion stays where it is.
QString fileToRead(const QString& path)
{
    QString companion = path + QLatin1String(".tempreplace");
    struct stat info
    {
    };
    if (path.isValidUtf16() && ::lstat(QFile::encodeName(path).constData(), &info) != 0 && errno == ENOENT
        && ::lstat(QFile::encodeName(companion).constData(), &info) == 0)
        return companion;
    return path;
}

// Key files are small, so a file is read as one first, within their bounds, and a log file of that size is taken
// from the same reading; a larger one, or one of a kind the log file's reader refuses in the same words, is read as
// a log file, within the log file's bounds.
Facts factsOf(const QString& path)
{
    const QString file = fileToRead(path);
    std::optional<Reveriz::KeyFile::Document> document;
    try {
        document = Reveriz::KeyFile::Document::read(file, false);
    } catch (const InputRefusedException&) {
        // Too large for a key file, or of a kind the log file's reader refuses in the same words: read as a log.
    }
    if (document && document->isKeyFile())
        return keyFacts(*document->pair());
    const Reveriz::EncryptedLogFile::LogFile log = document
        ? Reveriz::EncryptedLogFile::LogFile::read(document->text(), document->json(), file)
        : Reveriz::EncryptedLogFile::LogFile::open(file, false);
    if (log.wrappedKey().isNull() && !log.hasLogData())
        throw UnknownKind();
    return logFacts(log);
}

using ToolErrors::describe;

void appendEscaped(QString& shown, const QByteArray& bytes)
{
    for (const char byte : bytes)
        shown += QStringLiteral("\\x%1").arg(static_cast<unsigned char>(byte), 2, 16, QLatin1Char('0'));
}

// Text as a terminal shows it safely, in C's escapes, so that a name cannot send escape sequences or forge a line:
// a backslash as \\, tab, line feed and carriage return as \t, \n and \r, every other character that is not
// printable (a control, format or separator character) as \xHH for each byte of its UTF-8, and a byte that is not
// UTF-8 (a lone surrogate from the command line) as \xHH too.
QString printable(const QString& text)
{
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool pair = c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        if (c.isSurrogate() && !pair) {
            appendEscaped(shown, QByteArray(1, static_cast<char>(c.unicode() & 0xff)));
            continue;
        }
        const QString character = text.mid(i, pair ? 2 : 1);
        const char32_t code = pair ? QChar::surrogateToUcs4(c, text.at(++i)) : c.unicode();
        const QChar::Category category = QChar::category(code);
        if (code == '\\')
            shown += QLatin1String("\\\\");
        else if (code == '\t')
            shown += QLatin1String("\\t");
        else if (code == '\n')
            shown += QLatin1String("\\n");
        else if (code == '\r')
            shown += QLatin1String("\\r");
        else if (category == QChar::Other_Control || category == QChar::Other_Format
                 || category == QChar::Separator_Line || category == QChar::Separator_Paragraph)
            appendEscaped(shown, character.toUtf8());
        else
            shown += character;
    }
    return shown;
}

// The JSON object of a file. Its member names are a stable interface, listed in keyutility(1).
Json::Value asJson(const Facts& facts)
{
    static const char* const kindNames[] = {"publicKey", "privateKey", "protectedPrivateKey", "encryptedLog"};
    Json::Value object(Json::objectValue);
    object["kind"] = kindNames[static_cast<int>(facts.kind)];
    if (facts.owner) {
        object["owner"] = facts.owner->toJson();
        object["bits"] = facts.bits;
        object["publicExponent"] = facts.publicExponent.toStdString();
        object["fingerprint"] = facts.fingerPrint.toStdString();
        object["publicKeySha256"] = facts.publicKeySha256.toStdString();
    }
    if (facts.halvesMatch)
        object["halvesMatch"] = *facts.halvesMatch;
    if (facts.recipient) {
        object["encryptedFor"] = facts.recipient->toJson();
        object["rsaBlocks"] = Json::Int64(facts.rsaBlocks);
        object["logDataSize"] = Json::Int64(facts.logDataSize);
    }
    return object;
}

QString actorText(const QString& label, const ReverizActor& actor)
{
    QString text = QStringLiteral("%1: %2\n").arg(label, QLatin1String(ReverizActor::typeName(actor.type())));
    text += QStringLiteral("%1 server UUID: %2\n").arg(label, printable(actor.serverUUID()));
    if (actor.type() == ReverizActor::User)
        text += QStringLiteral("%1 user UUID: %2\n").arg(label, printable(actor.userUUID()));
    return text;
}

// The text form of a file: "name: value" lines in a fixed order.
QString asText(const QString& path, const Facts& facts)
{
    static const char* const kindNames[] = {"public key", "private key", "private key, protected by a pass phrase",
                                            "encrypted log file"};
    QString text = QStringLiteral("file: %1\nkind: %2\n")
                       .arg(printable(path), QLatin1String(kindNames[static_cast<int>(facts.kind)]));
    if (facts.owner) {
        text += actorText(QStringLiteral("owner"), *facts.owner);
        text += QStringLiteral("RSA size: %1 bits\n").arg(facts.bits);
        text += QStringLiteral("public exponent: %1\n").arg(facts.publicExponent);
        text += QStringLiteral("fingerprint: %1\n").arg(facts.fingerPrint);
        text += QStringLiteral("public key SHA-256: %1\n").arg(facts.publicKeySha256);
    }
    if (facts.halvesMatch)
        text += QStringLiteral("halves match: %1\n").arg(QLatin1String(*facts.halvesMatch ? "yes" : "no"));
    if (facts.recipient) {
        text += actorText(QStringLiteral("encrypted for"), *facts.recipient);
        text += QStringLiteral("RSA blocks: %1 of %2 bits\n").arg(facts.rsaBlocks).arg(ReverizRSA::GeneratedKeyBits);
        text += QStringLiteral("log data size: %1 bytes\n").arg(facts.logDataSize);
    }
    return text;
}

} // namespace

int show(const QStringList& files, bool json, QTextStream& out, QTextStream& err)
{
    Json::Value shown(Json::arrayValue);
    int status = 0;
    bool first = true;
    for (const QString& path : files) {
        std::optional<Facts> facts;
        QString failure;
        try {
            facts = factsOf(path);
        } catch (const ReverizException& e) {
            failure = describe(e);
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& e) {
            // Files of no known kind, and the JSON library's own errors.
            failure = QString::fromLocal8Bit(e.what());
        }
        if (!facts) {
            err << "Could not show file " << printable(path) << ": " << printable(failure) << '\n';
            status = 1;
        }
        if (json) {
            Json::Value object = facts ? asJson(*facts) : Json::Value(Json::objectValue);
            object["file"] = path.toStdString();
            if (!facts)
                object["error"] = failure.toStdString();
            shown.append(object);
        } else if (facts) {
            out << (first ? "" : "\n") << asText(path, *facts);
            first = false;
        }
    }
    if (json)
        out << QString::fromStdString(Reveriz::styledJsonText(shown));
    out.flush();
    err.flush();
    return status;
}

} // namespace KeyUtility
