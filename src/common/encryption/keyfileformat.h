#ifndef REVERIZ_COMMON_ENCRYPTION_KEYFILEFORMAT_H
#define REVERIZ_COMMON_ENCRYPTION_KEYFILEFORMAT_H

// Member names of the actor JSON and of the key-pair JSON that key files hold. The tests spell these names out
// themselves, so a typo here fails them.
namespace KeyFileFormat {

// Actor JSON.
inline constexpr char ServerUUID[] = "serverUUID";
inline constexpr char Type[] = "type";
inline constexpr char UserUUID[] = "userUUID";

// Key-pair JSON.
inline constexpr char KeyOwner[] = "keyowner";
inline constexpr char PrivateKey[] = "privatekey";
inline constexpr char PublicKey[] = "publickey";
inline constexpr char RequiresPassPhrase[] = "requirespassphrase";

} // namespace KeyFileFormat

#endif
