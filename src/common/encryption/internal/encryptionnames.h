#ifndef REVERIZ_COMMON_ENCRYPTION_INTERNAL_ENCRYPTIONNAMES_H
#define REVERIZ_COMMON_ENCRYPTION_INTERNAL_ENCRYPTIONNAMES_H

// Internal to the encryption layer, not part of the public interface.
// The names the encryption layer reads, writes and reports: the contexts of its exceptions, the JSON member names of
// its forms, id types, PEM labels and the detail texts that several throw sites share. The tests spell these texts
// out themselves, so a typo here fails them.

namespace Reveriz::Internal {

namespace Context {
inline constexpr char encryptedLogFile[] = "EncryptedLogFile";
inline constexpr char reverizActor[] = "ReverizActor";
inline constexpr char reverizKey[] = "ReverizKey";
inline constexpr char reverizPackageBlock[] = "ReverizPackageBlock";
inline constexpr char reverizRsa[] = "ReverizRSA";
} // namespace Context

namespace Member {
// Actors.
inline constexpr char serverUUID[] = "serverUUID";
inline constexpr char type[] = "type";
inline constexpr char userUUID[] = "userUUID";
// Key pairs, as key files hold them.
inline constexpr char keyOwner[] = "keyowner";
inline constexpr char privateKey[] = "privatekey";
inline constexpr char publicKey[] = "publickey";
inline constexpr char requiresPassPhrase[] = "requirespassphrase";
// RSA envelopes and signed objects.
inline constexpr char data[] = "data";
inline constexpr char encryptedFor[] = "encryptedfor";
inline constexpr char signature[] = "signature";
inline constexpr char signedBy[] = "signedby";
// Plain symmetric keys and their identifiers; "packageId" is also the clear package id of a wrapped key.
inline constexpr char cipherName[] = "cipherName";
inline constexpr char fixedIvec[] = "fixedIvec";
inline constexpr char folderId[] = "folderId";
inline constexpr char identifier[] = "identifier";
inline constexpr char key[] = "key";
inline constexpr char keyLengthInBytes[] = "keyLengthInBytes";
inline constexpr char keyType[] = "keyType";
inline constexpr char packageId[] = "packageId";
// Encrypted log files.
inline constexpr char logData[] = "logData";
// Package blocks.
inline constexpr char blockId[] = "blockid";
inline constexpr char checksum[] = "checksum";
inline constexpr char offset[] = "offset";
inline constexpr char size[] = "size";
inline constexpr char sourceSize[] = "sourceSize";
inline constexpr char uncompressed[] = "uncompressed";
} // namespace Member

namespace IdType {
inline constexpr char block[] = "Block";
inline constexpr char blockFile[] = "BlockFile";
inline constexpr char packageFile[] = "PackageFile";
inline constexpr char sourceFile[] = "SourceFile";
} // namespace IdType

namespace PemLabel {
inline constexpr char rsaPrivateKey[] = "RSA PRIVATE KEY";
inline constexpr char rsaPublicKey[] = "RSA PUBLIC KEY";
} // namespace PemLabel

namespace Details {
inline constexpr char compressedDataTooSmall[] = "data corrupted (compressed data too small)";
inline constexpr char decompressionFailed[] = "data corrupted (decompression failed)";
inline constexpr char invalidCompressedSize[] = "data corrupted (invalid compressed size)";
inline constexpr char encryptedDataTooSmall[] = "encrypted data size too small";
inline constexpr char ivecAllocFailed[] = "ivec alloc failed";
inline constexpr char noPem[] = "no pem";
inline constexpr char signFailed[] = "sign failed";
} // namespace Details

} // namespace Reveriz::Internal

#endif
