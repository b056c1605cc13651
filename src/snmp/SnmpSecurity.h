#pragma once
// The SNMPv3 user-based security model (RFC 3414, RFC 3826, RFC 7860) as the
// message codec applies it: passwords to localised keys, the message
// authentication code (HMAC-MD5-96, HMAC-SHA-96 and the SHA-2 HMACs with
// codes of 16 to 48 bytes), and the privacy of the scoped PDU (CBC-DES,
// CBC-Triple-DES EDE, AES-128/192/256 in CFB-128 mode; a localised key too
// short for the cipher is extended as net-snmp's -x AES-192/AES-256 and
// AES-192-C/AES-256-C do). The primitives are Nettle's; only the glue is
// here.
//
// Threads: every function may run on any thread. The record functions use
// only the record they are given (one thread per record). Keys are kept in
// two process-wide caches guarded by a mutex, so the trap receiver's thread
// and the main thread may derive keys at the same time: Ku per (hash,
// password), at most kPasswordKeyCacheCapacity of them, so that a new engine
// ID costs only a localisation; and localised keys per (hash, password,
// engine ID), at most kLocalKeyCacheCapacity. The caches hold passwords in
// memory for the life of the process (or until ClearLocalKeyCache).
//
// Errors: ESnmpError for an empty password (no key exists for it) and for a
// DES or Triple-DES ciphertext whose length is not a multiple of 8.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Errors.h"
#include "snmp/SnmpMessage.h"

namespace tavo {

class ESnmpError : public Exception {
 public:
  using Exception::Exception;
};

constexpr std::size_t kLocalKeyCacheCapacity = 256;
constexpr std::size_t kPasswordKeyCacheCapacity = 1024;

// The length of the protocol's authentication code: 12 bytes for MD5 and
// SHA-1, 16/24/32/48 for SHA-224/256/384/512.
std::size_t AuthCodeLength(TV3Auth aAuthMode);
// Protocol names as the configuration and tavot take them, ignoring case and
// hyphens: MD5, SHA (SHA1), SHA-224 ... SHA-512; DES, 3DES, AES (AES-128),
// AES-192, AES-256, AES-192-C, AES-256-C.
std::optional<TV3Auth> AuthProtocolByName(std::string_view aName);
std::optional<TV3Priv> PrivProtocolByName(std::string_view aName);

// Ku of RFC 3414 A.2: the protocol's hash of 1 MiB of the repeated password.
// Not cached. Throws ESnmpError for an empty password.
std::string PasswordToKey(std::string_view aPassword, TV3Auth aAuthMode);
// H(Ku, engine ID, Ku): as long as the hash (16 bytes for MD5, 20 for SHA-1,
// up to 64 for SHA-512).
std::string LocalizeKey(std::string_view aKu, TV3Auth aAuthMode, std::string_view aEngineID);
// The localised key of a password, through the caches: the first call for a
// (hash, password) derives Ku, the first for an engine ID localises it, later
// ones find it. Throws ESnmpError for an empty password.
std::string DeriveLocalKey(std::string_view aPassword, TV3Auth aAuthMode,
                           std::string_view aEngineID);
void ClearLocalKeyCache();  // both caches
std::size_t LocalKeyCacheSize();
// How many times PasswordToKey has run in this process (the costly step).
std::uint64_t PasswordToKeyCount();

// The protocol's HMAC of aMessage with aKey, cut to AuthCodeLength bytes.
std::string ComputeAuthCode(std::string_view aMessage, TV3Auth aAuthMode, std::string_view aKey);

// The codec's privacy steps. Both clear aRec.FPrivKey first and act only when
// aRec.FFlags is AuthPriv; otherwise the input comes back unchanged.
// EncryptScopedPdu returns the OCTET STRING item of the ciphertext and sets
// FPrivSalt, FPrivKey and advances FPrivSaltCounter; aEngineTime is the
// engine time the message will carry (the AES IV uses it). Throws
// ESnmpError for an empty FPrivPassword.
std::string EncryptScopedPdu(TSNMPRec& aRec, std::string_view aScopedPdu, std::int32_t aEngineTime);
// Decrypts the content of the received encrypted OCTET STRING with
// FPrivPassword, the received engine fields and the received FPrivSalt. The
// DES modes keep their zero padding at the end. Throws ESnmpError for an
// empty FPrivPassword and for a DES ciphertext not a multiple of 8 long.
std::string DecryptScopedPdu(TSNMPRec& aRec, std::string_view aCipher);

// Checks a received SNMPv3 message as RFC 3414 3.2 step 6 does: the message
// is taken as received (any length forms, any msgID, encrypted or not), its
// msgAuthenticationParameters are replaced by zero bytes, and the code is
// computed with aPassword localised for the msgAuthoritativeEngineID the
// message carries. True when it equals the received code. False when it
// differs or when the message is not an SNMPv3 USM message with a code of
// the protocol's length. Throws ESnmpError for an empty password.
bool VerifyAuthentication(std::string_view aMessage, TV3Auth aAuthMode, std::string_view aPassword);

}  // namespace tavo
