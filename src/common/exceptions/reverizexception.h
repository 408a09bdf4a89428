#ifndef REVERIZ_COMMON_EXCEPTIONS_REVERIZEXCEPTION_H
#define REVERIZ_COMMON_EXCEPTIONS_REVERIZEXCEPTION_H

/**
 * @file
 * The exception family: every failure of the library is a ReverizException, most of them one of its subclasses.
 * Catch by const reference.
 */

#include "common/reverizexport.h"

#include <QString>

#include <exception>

class LogHeader;

/** The source location of a throw site, for the last two arguments of every exception constructor. */
#define REVERIZ_HERE QStringLiteral(__FILE__), __LINE__

/** Root of the library's exceptions. what() keeps the standard library's text; reason() is the useful one. */
class REVERIZ_EXPORT KarnException : public std::exception
{
public:
    ~KarnException() override;
    /** What went wrong, in one line for people. */
    virtual QString reason() const = 0;
};

/**
 * Every failure of the library is a ReverizException or one of its subclasses, which only fill its fields in a
 * fixed way. Each constructor that takes data writes one throw-time log record at level Info.
 */
class REVERIZ_EXPORT ReverizException : public KarnException
{
public:
    /** Whether errorMessage starts with the name. */
    enum TextFormat { FormatWithName = 0, FormatWithoutName = 1 };

    /** All texts empty, error code and source line -1; writes no log record. */
    ReverizException();
    /** The full form: the message is the catalogue text of errorCode. */
    ReverizException(const QString& name, qint32 errorCode, const QString& details, const QString& idType,
                     const QString& id, const QString& path, const QString& sourceFile, int sourceLine);
    /** An explicit message and no error code. */
    ReverizException(const QString& name, const QString& message, const QString& sourceFile, int sourceLine);
    /** A name alone: the message is empty. */
    ReverizException(const QString& name, const QString& sourceFile, int sourceLine);
    ~ReverizException() override;

    /**
     * One line: the name and ": " (with FormatWithName), then, only when the message is not empty, the message,
     * " [details]" when there are details, and " (path)" or else " Id: id".
     */
    QString errorMessage(TextFormat format) const;
    /** errorMessage without the name. */
    QString reason() const override;

    /** The kind of failure (a subclass's name without "Exception") or the class that reports it. */
    const QString& name() const { return m_name; }
    /** The ErrorCodes code; -1 for an exception without one. */
    qint32 errorCode() const { return m_errorCode; }
    /** The catalogue text of the error code, an explicit message, or empty. */
    const QString& message() const { return m_message; }
    /** What exactly failed, such as the system's error text; may be empty. */
    const QString& details() const { return m_details; }
    /** What kind of thing id or path names ("member", "Block", "OutputFile", ...); may be empty. */
    const QString& idType() const { return m_idType; }
    /** The thing concerned, such as a JSON member name or a block id; may be empty. */
    const QString& id() const { return m_id; }
    /** The file concerned; may be empty. */
    const QString& path() const { return m_path; }
    /** The throw site's source path from its first "/src/" on. */
    const QString& sourceFile() const { return m_sourceFile; }
    /** The throw site's line; -1 when unknown. */
    int sourceLine() const { return m_sourceLine; }

private:
    void writeThrowRecord(const LogHeader& header, int constructorNumber) const;

    QString m_name;
    qint32 m_errorCode = -1;
    QString m_message;
    QString m_details;
    QString m_idType;
    QString m_id;
    QString m_path;
    QString m_sourceFile;
    int m_sourceLine = -1;
};

/** A subclass that reports under its own class name (without "Exception") and carries nothing else. */
// NOLINTBEGIN(bugprone-macro-parentheses): the arguments are a class name and a base class
#define REVERIZ_NAMED_EXCEPTION(Name, Base)                                                                            \
    class REVERIZ_EXPORT Name##Exception final : public Base                                                           \
    {                                                                                                                  \
    public:                                                                                                            \
        /** Named after the class, with no message; pass REVERIZ_HERE. */                                              \
        Name##Exception(const QString& sourceFile, int sourceLine)                                                     \
            : Base(QStringLiteral(#Name), sourceFile, sourceLine)                                                      \
        {                                                                                                              \
        }                                                                                                              \
    }
// NOLINTEND(bugprone-macro-parentheses)

/** Thrown by ReverizActor::userUUID on an actor that is not a user. */
REVERIZ_NAMED_EXCEPTION(RequestedUserUUIDOfNonUserActor, ReverizException);
/** Thrown when an actor's or a package key's id is not of UUID form. */
REVERIZ_NAMED_EXCEPTION(InvalidUUID, ReverizException);
/** Thrown by the symmetric key's random constructor when the random source fails. */
REVERIZ_NAMED_EXCEPTION(KeyGenerationFailed, ReverizException);
/** Thrown when a wrapped package key names no user to file it under. */
REVERIZ_NAMED_EXCEPTION(CouldNotDetermineUserUUIDOfEncryptedPackage, ReverizException);
/** Thrown when a wrapped package key carries no clear package id. */
REVERIZ_NAMED_EXCEPTION(CouldNotDeterminePackageUUIDOfEncryptedPackage, ReverizException);
/** Thrown by ReverizPackageBlock::checkData when received data has the wrong size. */
REVERIZ_NAMED_EXCEPTION(SizeMismatchOnBlockDownload, ReverizException);
/** Thrown by ReverizPackageBlock::checkData when received data has the wrong SHA-1. */
REVERIZ_NAMED_EXCEPTION(CheckSumMisMatchOnBlockDownload, ReverizException);
/** Thrown when a private-key operation meets a key pair without private key. */
REVERIZ_NAMED_EXCEPTION(TriedToUseUnavailablePrivateKey, ReverizException);
/** Thrown when a private-key operation meets a key still locked by its pass phrase. */
REVERIZ_NAMED_EXCEPTION(TriedToUsePrivateKeyWithoutSupplyingPassPhrase, ReverizException);
/** Thrown by ReverizRSA::supplyPassphrase on a key pair that has no protected private key. */
REVERIZ_NAMED_EXCEPTION(TriedToSupplyPassPhraseWhereNoneIsRequired, ReverizException);
/** Thrown by ReverizRSA::supplyPassphrase when the pass phrase does not decrypt the private key. */
REVERIZ_NAMED_EXCEPTION(SuppliedWrongPassPhrase, ReverizException);
/** Thrown by ReverizRSA::setPassphrase on a locked key pair. */
REVERIZ_NAMED_EXCEPTION(TriedToReSetPassPhraseWithoutKnownOldPassPhrase, ReverizException);
/** Thrown by ReverizRSA::verify when a signature does not match. */
REVERIZ_NAMED_EXCEPTION(SignatureVerificationFailed, ReverizException);
/** Thrown by ReverizRSA::verify when the check itself fails. */
REVERIZ_NAMED_EXCEPTION(SignatureVerificationFailedWithError, ReverizException);
/** Thrown by ReverizRSA::verify on an object signed by another actor. */
REVERIZ_NAMED_EXCEPTION(SignatureVerificationWithWrongKey, ReverizException);
/** Thrown by ReverizRSA::decrypt on an envelope made for another actor. */
REVERIZ_NAMED_EXCEPTION(DecryptWithWrongKey, ReverizException);

/** Thrown by the fromJson readers on invalid input; the base of the three coded JSON exceptions. */
class REVERIZ_EXPORT InvalidJsonInputException : public ReverizException
{
public:
    /** Named "InvalidJsonInput", with no message. */
    InvalidJsonInputException(const QString& sourceFile, int sourceLine);
    /** The full form of ReverizException, for the coded subclasses. */
    InvalidJsonInputException(const QString& name, qint32 errorCode, const QString& details, const QString& idType,
                              const QString& id, const QString& path, const QString& sourceFile, int sourceLine);
};

/** Thrown by a fromJson reader when a required member is missing (code 1031). */
class REVERIZ_EXPORT JsonMemberMissingException final : public InvalidJsonInputException
{
public:
    /** Named context (the reader's class), details "missing member", id member (idType "member"). */
    JsonMemberMissingException(const QString& context, const QString& member, const QString& sourceFile,
                               int sourceLine);
};

/** Thrown by a fromJson reader when a member holds an invalid value (code 1032). */
class REVERIZ_EXPORT JsonMemberInvalidException final : public InvalidJsonInputException
{
public:
    /** Named context (the reader's class), id member (idType "member"), with details saying what is wrong. */
    JsonMemberInvalidException(const QString& context, const QString& member, const QString& details,
                               const QString& sourceFile, int sourceLine);
};

/** Thrown when a text is not a (strict) JSON document (code 1030). */
class REVERIZ_EXPORT JsonParseError final : public InvalidJsonInputException
{
public:
    /** Named context (the reader's class), idType "buffer". */
    JsonParseError(const QString& context, const QString& sourceFile, int sourceLine);
};

/** Thrown when symmetric encryption fails (code 13001). */
class REVERIZ_EXPORT EncryptionFailedException final : public ReverizException
{
public:
    /** Named context (the class that encrypts), with details saying which step failed. */
    EncryptionFailedException(const QString& context, const QString& details, const QString& sourceFile,
                              int sourceLine);
};

/** Thrown when symmetric decryption or its decompression check fails (code 13002). */
class REVERIZ_EXPORT DecryptionFailedException final : public ReverizException
{
public:
    /** Named context (the class that decrypts), with details saying which step or check failed. */
    DecryptionFailedException(const QString& context, const QString& details, const QString& sourceFile,
                              int sourceLine);
};

/** Thrown when a file cannot be opened (code 4002). */
class REVERIZ_EXPORT FileOpenFailedException final : public ReverizException
{
public:
    /** Named context (the class that opens it); details say what failed, idType what kind of file path is. */
    FileOpenFailedException(const QString& context, const QString& details, const QString& idType, const QString& path,
                            const QString& sourceFile, int sourceLine);
};

/** Thrown when a file cannot be read completely (code 4005). */
class REVERIZ_EXPORT FileReadFailedException final : public ReverizException
{
public:
    /** Named context (the class that reads it); details say what failed, idType what kind of file path is. */
    FileReadFailedException(const QString& context, const QString& details, const QString& idType, const QString& path,
                            const QString& sourceFile, int sourceLine);
};

/** Thrown when a file cannot be written (code 4004). */
class REVERIZ_EXPORT FileWriteFailedException final : public ReverizException
{
public:
    /** Named context (the class that writes it); details say what failed, idType what kind of file path is. */
    FileWriteFailedException(const QString& context, const QString& details, const QString& idType, const QString& path,
                             const QString& sourceFile, int sourceLine);
};

/** Thrown by ReverizKey::readEncryptedKeyFromFile when the package's key file does not exist (code 2246). */
class REVERIZ_EXPORT PackageKeyFileDoesNotExistException final : public ReverizException
{
public:
    /** Id packageId (idType "packageId"). */
    PackageKeyFileDoesNotExistException(const QString& packageId, const QString& sourceFile, int sourceLine);
};

/** Thrown when key material cannot be generated or encoded (code 4004); the reporting class is the idType. */
class REVERIZ_EXPORT BIOFailureException final : public ReverizException
{
public:
    /** Named "BIOFailure", idType context (the class that reports it). */
    BIOFailureException(const QString& context, const QString& sourceFile, int sourceLine);
};

/**
 * Thrown when an input is refused before it is read or used: a file that is not a regular file or is too large, a
 * file name that is not valid UTF-8, or content beyond what a legitimate input needs. It has no error code; its
 * message says what was refused and names the input.
 */
class REVERIZ_EXPORT InputRefusedException final : public ReverizException
{
public:
    /** Named context (the class that refuses it), with message as the message. */
    InputRefusedException(const QString& context, const QString& message, const QString& sourceFile, int sourceLine);
};

/** Thrown by ReverizPackageBlock::readDataFromFile when a block file has the wrong SHA-1 (code 4020). */
class REVERIZ_EXPORT CheckSumMismatchOnBlockFileReadException final : public ReverizException
{
public:
    /** Id blockId (idType "Block"), with both SHA-1 texts in the details. */
    CheckSumMismatchOnBlockFileReadException(const QString& blockId, const QString& expected, const QString& found,
                                             const QString& sourceFile, int sourceLine);
};

/** Thrown by ReverizPackageBlock::readDataFromFile when a block file has the wrong size (code 4020). */
class REVERIZ_EXPORT SizeMismatchOnBlockFileReadException final : public ReverizException
{
public:
    /** Id blockId (idType "Block"), with both sizes in the details. */
    SizeMismatchOnBlockFileReadException(const QString& blockId, int expected, int found, const QString& sourceFile,
                                         int sourceLine);
};

#endif
