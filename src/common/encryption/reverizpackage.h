#ifndef REVERIZ_COMMON_ENCRYPTION_REVERIZPACKAGE_H
#define REVERIZ_COMMON_ENCRYPTION_REVERIZPACKAGE_H

/**
 * @file
 * ReverizPackage, what block decryption needs to know of a package, and Reveriz::PackageInfo.
 */

#include "common/reverizexport.h"

#include <QString>

#include <utility>

/**
 * What block decryption needs to know of a package: its format version and its identifier. The system's package
 * class implements it; Reveriz::PackageInfo is a plain value for callers without one.
 */
class REVERIZ_EXPORT ReverizPackage
{
public:
    virtual ~ReverizPackage() = default;

    /** The version of the package's stored format; ReverizKey::decryptBlock refuses versions above 2. */
    virtual qint32 formatVersion() const = 0;
    /** The package's identifier, reported as the id of that refusal. */
    virtual QString identifier() const = 0;

protected:
    ///@{
    /** For subclasses only: a package is used through references to this interface. */
    ReverizPackage() = default;
    ReverizPackage(const ReverizPackage&) = default;
    ReverizPackage(ReverizPackage&&) = default;
    ReverizPackage& operator=(const ReverizPackage&) = default;
    ReverizPackage& operator=(ReverizPackage&&) = default;
    ///@}
};

namespace Reveriz {

/** A package known by its two values only. */
class REVERIZ_EXPORT PackageInfo final : public ReverizPackage
{
public:
    /** A package of that format version and identifier. */
    PackageInfo(qint32 formatVersion, QString identifier)
        : m_formatVersion(formatVersion)
        , m_identifier(std::move(identifier))
    {
    }

    qint32 formatVersion() const override { return m_formatVersion; }
    QString identifier() const override { return m_identifier; }

private:
    qint32 m_formatVersion;
    QString m_identifier;
};

} // namespace Reveriz

#endif
