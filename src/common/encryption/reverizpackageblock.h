#ifndef REVERIZ_COMMON_ENCRYPTION_REVERIZPACKAGEBLOCK_H
#define REVERIZ_COMMON_ENCRYPTION_REVERIZPACKAGEBLOCK_H

/**
 * @file
 * ReverizPackageBlock, one block of a package.
 */

#include "common/reverizexport.h"

#include <QByteArray>
#include <QString>

#include <json/value.h>

#include <memory>

/**
 * One block of a package: the range of the source file it covers, and the size and SHA-1 of its stored (encrypted)
 * data, which travels as its payload and is kept on disk in its block file, blockDirectory/blockId. A value.
 * JSON form: "blockid", "checksum", "size", "sourceSize", "offset" (a string of decimal digits), "uncompressed".
 */
class REVERIZ_EXPORT ReverizPackageBlock
{
public:
    /** A block as described; the payload is empty. */
    ReverizPackageBlock(const QString& blockDirectory, const QString& blockId, const QString& checksum, int size,
                        int sourceSize, long long offset, bool uncompressed);
    /** A new block for the source range at offset, with a fresh id; its size (-1) and checksum are not yet known. */
    ReverizPackageBlock(long long offset, int sourceSize);

    /** The directory that holds the block file. */
    const QString& blockDirectory() const { return m_blockDirectory; }
    /** The block's id, also the name of its block file. */
    const QString& blockId() const { return m_blockId; }
    /** SHA-1 of the stored data, 40 lower-case hexadecimal digits; empty until known. */
    const QString& checksum() const { return m_checksum; }
    /** Length of the stored data; -1 until known. */
    int size() const { return m_size; }
    /** The number of source bytes the block covers. */
    int sourceSize() const { return m_sourceSize; }
    /** Where in the source file the block's range starts. */
    long long offset() const { return m_offset; }
    /** True when the stored data was made from the source bytes without compression. */
    bool uncompressed() const { return m_uncompressed; }
    /** The stored data while the block carries it; empty otherwise. */
    const QByteArray& payload() const { return m_payload; }
    /** Sets whether the stored data was made without compression. */
    void setUncompressed(bool uncompressed) { m_uncompressed = uncompressed; }

    /** SHA-1 of data as 40 lower-case hexadecimal digits. */
    static QString hash(const QByteArray& data);
    /** blockDirectory and blockId joined by PathTools::combinePath. */
    QString blockFileName() const;

    /** Takes data as the payload, and its length and SHA-1 as size and checksum. */
    void setPayload(const QByteArray& data);
    /**
     * Returns true when data has this block's size and checksum; throws SizeMismatchOnBlockDownloadException,
     * else CheckSumMisMatchOnBlockDownloadException. Checksums compare case-sensitively.
     */
    bool checkData(const QByteArray& data) const;
    /** Takes data as the payload after checkData; when that throws, the payload is left as it was. */
    void setPayloadAndVerify(const QByteArray& data);
    /** Releases the payload; the description stays. */
    void clearPayload();

    /**
     * Replaces the block file's content with data; the directory must exist. Throws FileWriteFailedException
     * ("ReverizPackageBlock", idType "BlockFile", the path) when the file cannot be opened or fully written.
     */
    void writeDataToFile(const QByteArray& data) const;
    /**
     * The block file's content, verified: FileOpenFailedException when it cannot be opened, then
     * SizeMismatchOnBlockFileReadException, then CheckSumMismatchOnBlockFileReadException. The payload is unchanged.
     */
    [[nodiscard]] QByteArray readDataFromFile() const;
    /** Removes the block file; a missing file or a failed removal is not reported. */
    void deletePackedData() const;

    /** The JSON form, without the directory and the payload. */
    Json::Value toJson() const;
    /**
     * A block from its JSON form, with blockDirectory as its directory. A missing "offset" reads as -1, one that
     * is not decimal text as 0; "size" and "sourceSize" of a non-numeric type throw the JSON library's exception.
     */
    static std::unique_ptr<ReverizPackageBlock> fromJson(const Json::Value& description, QString blockDirectory);

private:
    QString m_blockDirectory;
    QString m_blockId;
    QString m_checksum;
    int m_size;
    int m_sourceSize;
    long long m_offset;
    bool m_uncompressed;
    QByteArray m_payload;
};

#endif
