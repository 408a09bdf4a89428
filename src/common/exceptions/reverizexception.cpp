#include "reverizexception.h"

#include "common/exceptions/errorcodes.h"
#include "common/karnlogger.h"

namespace {

// Drops the build machine's directory prefix: everything before the first "/src/" goes, its closing "/" stays.
// Without "/src/" the first three characters go (the search result -1 plus four).
QString CensorFileName(const QString& path)
{
    return path.mid(path.indexOf(QLatin1String("/src/")) + 4);
}

std::string latin1(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace

KarnException::~KarnException() = default;

ReverizException::ReverizException() = default;

ReverizException::ReverizException(const QString& name, qint32 errorCode, const QString& details, const QString& idType,
                                   const QString& id, const QString& path, const QString& sourceFile, int sourceLine)
    : m_name(name)
    , m_errorCode(errorCode)
    , m_message(ErrorCodes::translate(errorCode))
    , m_details(details)
    , m_idType(idType)
    , m_id(id)
    , m_path(path)
    , m_sourceFile(CensorFileName(sourceFile))
    , m_sourceLine(sourceLine)
{
    if (!check_for_level(KarnLogger::Info))
        writeThrowRecord(LogHeader(__FILE__, __LINE__, Q_FUNC_INFO), 1);
}

ReverizException::ReverizException(const QString& name, const QString& message, const QString& sourceFile,
                                   int sourceLine)
    : m_name(name)
    , m_message(message)
    , m_sourceFile(CensorFileName(sourceFile))
    , m_sourceLine(sourceLine)
{
    if (!check_for_level(KarnLogger::Info))
        writeThrowRecord(LogHeader(__FILE__, __LINE__, Q_FUNC_INFO), 3);
}

ReverizException::ReverizException(const QString& name, const QString& sourceFile, int sourceLine)
    : m_name(name)
    , m_sourceFile(CensorFileName(sourceFile))
    , m_sourceLine(sourceLine)
{
    if (!check_for_level(KarnLogger::Info))
        writeThrowRecord(LogHeader(__FILE__, __LINE__, Q_FUNC_INFO), 2);
}

ReverizException::~ReverizException() = default;

void ReverizException::writeThrowRecord(const LogHeader& header, int constructorNumber) const
{
    // Everything is formatted before the logger's mutex is taken.
    const std::string kind = "throwing ReveRizException (" + std::to_string(constructorNumber) + "): ";
    const std::string file = latin1(m_sourceFile);
    const std::string message = latin1(errorMessage(FormatWithName));
    *karn_logger() << header << kind << message << "\n throw location: " << file << ":" << m_sourceLine;
}

QString ReverizException::errorMessage(TextFormat format) const
{
    QString text;
    if (format == FormatWithName)
        text += m_name + QLatin1String(": ");
    if (m_message.isEmpty())
        return text;
    text += m_message;
    if (!m_details.isEmpty())
        text += QLatin1String(" [") + m_details + QLatin1Char(']');
    if (!m_path.isEmpty())
        text += QLatin1String(" (") + m_path + QLatin1Char(')');
    else if (!m_id.isEmpty())
        text += QLatin1String(" Id: ") + m_id;
    return text;
}

QString ReverizException::reason() const
{
    return errorMessage(FormatWithoutName);
}

InvalidJsonInputException::InvalidJsonInputException(const QString& sourceFile, int sourceLine)
    : ReverizException(QStringLiteral("InvalidJsonInput"), sourceFile, sourceLine)
{
}

InvalidJsonInputException::InvalidJsonInputException(const QString& name, qint32 errorCode, const QString& details,
                                                     const QString& idType, const QString& id, const QString& path,
                                                     const QString& sourceFile, int sourceLine)
    : ReverizException(name, errorCode, details, idType, id, path, sourceFile, sourceLine)
{
}

JsonMemberMissingException::JsonMemberMissingException(const QString& context, const QString& member,
                                                       const QString& sourceFile, int sourceLine)
    : InvalidJsonInputException(context, ErrorCodes::JsonMemberMissing, QStringLiteral("missing member"),
                                QStringLiteral("member"), member, QString(), sourceFile, sourceLine)
{
}

JsonMemberInvalidException::JsonMemberInvalidException(const QString& context, const QString& member,
                                                       const QString& details, const QString& sourceFile,
                                                       int sourceLine)
    : InvalidJsonInputException(context, ErrorCodes::JsonMemberInvalid, details, QStringLiteral("member"), member,
                                QString(), sourceFile, sourceLine)
{
}

JsonParseError::JsonParseError(const QString& context, const QString& sourceFile, int sourceLine)
    : InvalidJsonInputException(context, ErrorCodes::JsonParseFailed, QString(), QStringLiteral("buffer"), QString(),
                                QString(), sourceFile, sourceLine)
{
}

EncryptionFailedException::EncryptionFailedException(const QString& context, const QString& details,
                                                     const QString& sourceFile, int sourceLine)
    : ReverizException(context, ErrorCodes::EncryptionFailed, details, QString(), QString(), QString(), sourceFile,
                       sourceLine)
{
}

DecryptionFailedException::DecryptionFailedException(const QString& context, const QString& details,
                                                     const QString& sourceFile, int sourceLine)
    : ReverizException(context, ErrorCodes::DecryptionFailed, details, QString(), QString(), QString(), sourceFile,
                       sourceLine)
{
}

FileOpenFailedException::FileOpenFailedException(const QString& context, const QString& details, const QString& idType,
                                                 const QString& path, const QString& sourceFile, int sourceLine)
    : ReverizException(context, ErrorCodes::FileOpenFailed, details, idType, QString(), path, sourceFile, sourceLine)
{
}

FileReadFailedException::FileReadFailedException(const QString& context, const QString& details, const QString& idType,
                                                 const QString& path, const QString& sourceFile, int sourceLine)
    : ReverizException(context, ErrorCodes::FileReadFailed, details, idType, QString(), path, sourceFile, sourceLine)
{
}

FileWriteFailedException::FileWriteFailedException(const QString& context, const QString& details,
                                                   const QString& idType, const QString& path,
                                                   const QString& sourceFile, int sourceLine)
    : ReverizException(context, ErrorCodes::FileWriteFailed, details, idType, QString(), path, sourceFile, sourceLine)
{
}

PackageKeyFileDoesNotExistException::PackageKeyFileDoesNotExistException(const QString& packageId,
                                                                         const QString& sourceFile, int sourceLine)
    : ReverizException(QStringLiteral("PackageKeyFileDoesNotExist"), ErrorCodes::PackageKeyFileDoesNotExist, QString(),
                       QStringLiteral("packageId"), packageId, QString(), sourceFile, sourceLine)
{
}

BIOFailureException::BIOFailureException(const QString& context, const QString& sourceFile, int sourceLine)
    : ReverizException(QStringLiteral("BIOFailure"), ErrorCodes::FileWriteFailed, QString(), context, QString(),
                       QString(), sourceFile, sourceLine)
{
}

// The placeholders are filled in one pass, so a "%2" inside the block id stays as it is.
CheckSumMismatchOnBlockFileReadException::CheckSumMismatchOnBlockFileReadException(
    const QString& blockId, const QString& expected, const QString& found, const QString& sourceFile, int sourceLine)
    : ReverizException(QStringLiteral("CheckSumMismatchOnBlockFileRead"), ErrorCodes::BlockFileMismatch,
                       QStringLiteral("blockId %1, sha1 expected %2, sha1 found %3").arg(blockId, expected, found),
                       QStringLiteral("Block"), blockId, QString(), sourceFile, sourceLine)
{
}

SizeMismatchOnBlockFileReadException::SizeMismatchOnBlockFileReadException(const QString& blockId, int expected,
                                                                           int found, const QString& sourceFile,
                                                                           int sourceLine)
    : ReverizException(QStringLiteral("SizeMismatchOnBlockFileRead"), ErrorCodes::BlockFileMismatch,
                       QStringLiteral("blockId %1, size expected %2, size found %3")
                           .arg(blockId, QString::number(expected), QString::number(found)),
                       QStringLiteral("Block"), blockId, QString(), sourceFile, sourceLine)
{
}

InputRefusedException::InputRefusedException(const QString& context, const QString& message, const QString& sourceFile,
                                             int sourceLine)
    : ReverizException(context, message, sourceFile, sourceLine)
{
}
