#include "snmp/SnmpSecurity.h"

#include <nettle/aes.h>
#include <nettle/cbc.h>
#include <nettle/cfb.h>
#include <nettle/des.h>
#include <nettle/hmac.h>
#include <nettle/md5.h>
#include <nettle/memops.h>
#include <nettle/nettle-meta.h>
#include <nettle/sha1.h>
#include <nettle/sha2.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "snmp/BerEncoding.h"

namespace tavo {
namespace {

constexpr std::size_t kKuInputLength = 1048576;

std::atomic<std::uint64_t> gPasswordToKeyCount{0};

const std::uint8_t* Bytes(std::string_view aText) {
  return reinterpret_cast<const std::uint8_t*>(aText.data());
}
std::uint8_t* Bytes(std::string& aText) {
  return reinterpret_cast<std::uint8_t*>(aText.data());
}

void AppendBigEndian32(std::string& aOut, std::uint32_t aValue) {
  aOut += static_cast<char>(aValue >> 24);
  aOut += static_cast<char>(aValue >> 16);
  aOut += static_cast<char>(aValue >> 8);
  aOut += static_cast<char>(aValue);
}

// The block functions in the form Nettle's CBC and CFB modes call them.
void DesEncryptBlocks(const void* aCtx, std::size_t aLen, std::uint8_t* aDst,
                      const std::uint8_t* aSrc) {
  des_encrypt(static_cast<const des_ctx*>(aCtx), aLen, aDst, aSrc);
}
void DesDecryptBlocks(const void* aCtx, std::size_t aLen, std::uint8_t* aDst,
                      const std::uint8_t* aSrc) {
  des_decrypt(static_cast<const des_ctx*>(aCtx), aLen, aDst, aSrc);
}
void Des3EncryptBlocks(const void* aCtx, std::size_t aLen, std::uint8_t* aDst,
                       const std::uint8_t* aSrc) {
  des3_encrypt(static_cast<const des3_ctx*>(aCtx), aLen, aDst, aSrc);
}
void Des3DecryptBlocks(const void* aCtx, std::size_t aLen, std::uint8_t* aDst,
                       const std::uint8_t* aSrc) {
  des3_decrypt(static_cast<const des3_ctx*>(aCtx), aLen, aDst, aSrc);
}

// --- the hash of each authentication protocol ---------------------------------

const nettle_hash& HashOf(TV3Auth aAuthMode) {
  switch (aAuthMode) {
    case TV3Auth::AuthSHA1:
      return nettle_sha1;
    case TV3Auth::AuthSHA224:
      return nettle_sha224;
    case TV3Auth::AuthSHA256:
      return nettle_sha256;
    case TV3Auth::AuthSHA384:
      return nettle_sha384;
    case TV3Auth::AuthSHA512:
      return nettle_sha512;
    case TV3Auth::AuthMD5:
      break;
  }
  return nettle_md5;
}

// Room for any of the hashes' states (SHA-224 and SHA-384 use the states of
// SHA-256 and SHA-512).
union THashState {
  md5_ctx Md5;
  sha1_ctx Sha1;
  sha256_ctx Sha256;
  sha512_ctx Sha512;
};

// One hash over a sequence of pieces.
class THasher {
 public:
  explicit THasher(TV3Auth aAuthMode) : fHash(HashOf(aAuthMode)) { fHash.init(&fState); }
  THasher& Add(std::string_view aData) {
    fHash.update(&fState, aData.size(), Bytes(aData));
    return *this;
  }
  std::string Digest() {
    std::string out(fHash.digest_size, '\0');
    fHash.digest(&fState, out.size(), Bytes(out));
    return out;
  }

 private:
  const nettle_hash& fHash;
  THashState fState;
};

// The cipher of each AES protocol and the key bytes it takes.
const nettle_cipher& AesCipherOf(TV3Priv aPrivMode) {
  switch (aPrivMode) {
    case TV3Priv::PrivAES192:
    case TV3Priv::PrivAES192C:
      return nettle_aes192;
    case TV3Priv::PrivAES256:
    case TV3Priv::PrivAES256C:
      return nettle_aes256;
    default:
      return nettle_aes128;
  }
}

union TAesState {
  aes128_ctx Aes128;
  aes192_ctx Aes192;
  aes256_ctx Aes256;
};

bool IsAes(TV3Priv aPrivMode) {
  return aPrivMode != TV3Priv::PrivDES && aPrivMode != TV3Priv::Priv3DES;
}

// The text of a protocol name as compared: upper case, no hyphens.
std::string NameKey(std::string_view aName) {
  std::string key;
  for (const char c : aName) {
    if (c != '-')
      key += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  return key;
}

// --- localised key cache -----------------------------------------------------

// A bounded map from an id to a key, the least recently used dropped first.
class TKeyCache {
 public:
  explicit TKeyCache(std::size_t aCapacity) : fnCapacity(aCapacity) {}

  // Never destroyed: a receiver thread that is not waited for may still
  // derive keys while the process runs its exit handlers.
  // Localised keys: per (hash, password, engine ID).
  static TKeyCache& Local() {
    static TKeyCache* const cache = new TKeyCache(kLocalKeyCacheCapacity);
    return *cache;
  }
  // Ku: per (hash, password) only, so that a message from an engine never
  // seen costs a localisation (two short hashes), not a derivation over a
  // mebibyte — whoever sent it.
  static TKeyCache& Password() {
    static TKeyCache* const cache = new TKeyCache(kPasswordKeyCacheCapacity);
    return *cache;
  }

  bool Find(const std::string& aId, std::string& aKey) {
    std::lock_guard<std::mutex> lock(fMutex);
    const auto it = fIndex.find(aId);
    if (it == fIndex.end())
      return false;
    fOrder.splice(fOrder.begin(), fOrder, it->second);  // most recently used first
    aKey = it->second->second;
    return true;
  }

  void Store(const std::string& aId, const std::string& aKey) {
    std::lock_guard<std::mutex> lock(fMutex);
    if (fIndex.count(aId) != 0)
      return;  // another thread was quicker
    fOrder.emplace_front(aId, aKey);
    fIndex.emplace(aId, fOrder.begin());
    if (fOrder.size() > fnCapacity) {
      fIndex.erase(fOrder.back().first);
      fOrder.pop_back();
    }
  }

  void Clear() {
    std::lock_guard<std::mutex> lock(fMutex);
    fIndex.clear();
    fOrder.clear();
  }

  std::size_t Size() {
    std::lock_guard<std::mutex> lock(fMutex);
    return fOrder.size();
  }

 private:
  using Entry = std::pair<std::string, std::string>;  // id, key
  const std::size_t fnCapacity;
  std::mutex fMutex;
  std::list<Entry> fOrder;
  std::unordered_map<std::string, std::list<Entry>::iterator> fIndex;
};

// --- the message's security parameters ----------------------------------------

// A strict reader for the verification: definite lengths of any form, no
// item running past its enclosing one.
struct TTlv {
  std::uint8_t Tag = 0;
  std::size_t Start = 0;   // first content byte
  std::size_t Length = 0;  // content length
  std::size_t End() const { return Start + Length; }
};

bool ReadTlv(std::string_view aBuf, std::size_t& aPos, std::size_t aEnd, std::uint8_t aTag,
             TTlv& aItem) {
  if (aPos + 2 > aEnd)
    return false;
  aItem.Tag = static_cast<std::uint8_t>(aBuf[aPos++]);
  if (aItem.Tag != aTag)
    return false;
  std::size_t length = static_cast<std::uint8_t>(aBuf[aPos++]);
  if (length & 0x80) {
    const std::size_t n = length & 0x7F;
    if (n == 0 || n > 4 || aPos + n > aEnd)
      return false;
    length = 0;
    for (std::size_t i = 0; i < n; ++i)
      length = (length << 8) | static_cast<std::uint8_t>(aBuf[aPos++]);
  }
  if (length > aEnd - aPos)
    return false;
  aItem.Start = aPos;
  aItem.Length = length;
  return true;
}

bool SkipTlv(std::string_view aBuf, std::size_t& aPos, std::size_t aEnd, std::uint8_t aTag) {
  TTlv item;
  if (!ReadTlv(aBuf, aPos, aEnd, aTag, item))
    return false;
  aPos = item.End();
  return true;
}

bool SmallIntegerIs(std::string_view aBuf, const TTlv& aItem, int aValue) {
  return aItem.Length == 1 && static_cast<std::uint8_t>(aBuf[aItem.Start]) == aValue;
}

// Finds msgAuthoritativeEngineID and msgAuthenticationParameters (a code of
// aCodeLength bytes) in a received SNMPv3 USM message; aMessageLength is the
// extent of the outer SEQUENCE.
bool LocateAuthParameters(std::string_view aBuf, std::size_t aCodeLength,
                          std::string_view& aEngineID, std::size_t& aAuthOffset,
                          std::size_t& aMessageLength) {
  std::size_t pos = 0;
  TTlv outer, item, header, secParams, usm;
  if (!ReadTlv(aBuf, pos, aBuf.size(), kBerSequence, outer))
    return false;
  const std::size_t end = outer.End();
  if (!ReadTlv(aBuf, pos, end, kBerInteger, item) || !SmallIntegerIs(aBuf, item, 3))
    return false;
  pos = item.End();
  if (!ReadTlv(aBuf, pos, end, kBerSequence, header))
    return false;
  pos = header.End();
  // Within the header: msgID, msgMaxSize, msgFlags, then the security model.
  std::size_t h = header.Start;
  if (!SkipTlv(aBuf, h, header.End(), kBerInteger) ||
      !SkipTlv(aBuf, h, header.End(), kBerInteger) ||
      !SkipTlv(aBuf, h, header.End(), kBerOctetString) ||
      !ReadTlv(aBuf, h, header.End(), kBerInteger, item) || !SmallIntegerIs(aBuf, item, 3)) {
    return false;
  }
  if (!ReadTlv(aBuf, pos, end, kBerOctetString, secParams))
    return false;
  std::size_t s = secParams.Start;
  if (!ReadTlv(aBuf, s, secParams.End(), kBerSequence, usm))
    return false;
  TTlv engine, auth;
  if (!ReadTlv(aBuf, s, usm.End(), kBerOctetString, engine))
    return false;
  s = engine.End();
  if (!SkipTlv(aBuf, s, usm.End(), kBerInteger) || !SkipTlv(aBuf, s, usm.End(), kBerInteger) ||
      !SkipTlv(aBuf, s, usm.End(), kBerOctetString) ||
      !ReadTlv(aBuf, s, usm.End(), kBerOctetString, auth) || auth.Length != aCodeLength) {
    return false;
  }
  aEngineID = aBuf.substr(engine.Start, engine.Length);
  aAuthOffset = auth.Start;
  aMessageLength = end;
  return true;
}

// The salt as received, cut or zero-padded to aLength bytes.
std::string FitTo(std::string aBytes, std::size_t aLength) {
  aBytes.resize(aLength, '\0');
  return aBytes;
}

std::string RequirePrivacyKey(const TSNMPRec& aRec) {
  if (aRec.FPrivPassword.empty())
    throw ESnmpError("SNMPv3 privacy password is empty");
  return DeriveLocalKey(aRec.FPrivPassword, aRec.FAuthMode, aRec.FAuthEngineID);
}

std::size_t PrivacyKeyLength(TV3Priv aPrivMode) {
  switch (aPrivMode) {
    case TV3Priv::Priv3DES:
      return 32;  // three keys and the pre-IV
    case TV3Priv::PrivAES192:
    case TV3Priv::PrivAES192C:
      return 24;
    case TV3Priv::PrivAES256:
    case TV3Priv::PrivAES256C:
      return 32;
    default:
      return 16;  // DES key and pre-IV; AES-128 key
  }
}

// FPrivKey for the mode: the localised key, extended while it is shorter
// than the cipher needs: for Triple-DES and the "C" variants by the key
// derived from it as if it were a password, for AES-192/256 by its hash.
void SetPrivacyKey(TSNMPRec& aRec) {
  aRec.FPrivKey = RequirePrivacyKey(aRec);
  const std::size_t needed = PrivacyKeyLength(aRec.FPrivMode);
  while (aRec.FPrivKey.size() < needed) {
    if (aRec.FPrivMode == TV3Priv::PrivAES192 || aRec.FPrivMode == TV3Priv::PrivAES256) {
      aRec.FPrivKey += THasher(aRec.FAuthMode).Add(aRec.FPrivKey).Digest();
    } else {
      aRec.FPrivKey += DeriveLocalKey(aRec.FPrivKey, aRec.FAuthMode, aRec.FAuthEngineID);
    }
  }
}

void CheckDesLength(std::size_t aLength) {
  if (aLength % DES_BLOCK_SIZE != 0) {
    throw ESnmpError("SNMPv3 decryption error: ciphertext of " + std::to_string(aLength) +
                     " bytes is not a multiple of 8");
  }
}

// Key and pre-IV for the DES modes: DES key bytes 0-7 and pre-IV 8-15;
// Triple-DES key bytes 0-23 and pre-IV 24-31.
std::string DesPreIv(const TSNMPRec& aRec) {
  return aRec.FPrivMode == TV3Priv::Priv3DES ? aRec.FPrivKey.substr(24, 8)
                                             : aRec.FPrivKey.substr(8, 8);
}

void XorInto(std::string& aTarget, std::string_view aOther) {
  for (std::size_t i = 0; i < aTarget.size() && i < aOther.size(); ++i)
    aTarget[i] ^= aOther[i];
}

std::string DesCbc(const TSNMPRec& aRec, std::string aIv, std::string_view aInput, bool aEncrypt) {
  std::string out(aInput.size(), '\0');
  if (aInput.empty())
    return out;
  if (aRec.FPrivMode == TV3Priv::Priv3DES) {
    des3_ctx ctx;
    des3_set_key(&ctx, Bytes(aRec.FPrivKey));  // weak keys are of no concern here
    if (aEncrypt) {
      cbc_encrypt(&ctx, Des3EncryptBlocks, DES3_BLOCK_SIZE, Bytes(aIv), aInput.size(), Bytes(out),
                  Bytes(aInput));
    } else {
      cbc_decrypt(&ctx, Des3DecryptBlocks, DES3_BLOCK_SIZE, Bytes(aIv), aInput.size(), Bytes(out),
                  Bytes(aInput));
    }
  } else {
    des_ctx ctx;
    des_set_key(&ctx, Bytes(aRec.FPrivKey));
    if (aEncrypt) {
      cbc_encrypt(&ctx, DesEncryptBlocks, DES_BLOCK_SIZE, Bytes(aIv), aInput.size(), Bytes(out),
                  Bytes(aInput));
    } else {
      cbc_decrypt(&ctx, DesDecryptBlocks, DES_BLOCK_SIZE, Bytes(aIv), aInput.size(), Bytes(out),
                  Bytes(aInput));
    }
  }
  return out;
}

std::string AesCfb(const TSNMPRec& aRec, std::string aIv, std::string_view aInput, bool aEncrypt) {
  std::string out(aInput.size(), '\0');
  if (aInput.empty())
    return out;
  const nettle_cipher& cipher = AesCipherOf(aRec.FPrivMode);
  TAesState ctx;
  cipher.set_encrypt_key(&ctx, Bytes(aRec.FPrivKey));
  // CFB decrypts with the cipher's encryption direction too.
  if (aEncrypt) {
    cfb_encrypt(&ctx, cipher.encrypt, AES_BLOCK_SIZE, Bytes(aIv), aInput.size(), Bytes(out),
                Bytes(aInput));
  } else {
    cfb_decrypt(&ctx, cipher.encrypt, AES_BLOCK_SIZE, Bytes(aIv), aInput.size(), Bytes(out),
                Bytes(aInput));
  }
  return out;
}

std::string AesIv(const TSNMPRec& aRec, std::int32_t aEngineTime, std::string_view aSalt) {
  std::string iv;
  AppendBigEndian32(iv, static_cast<std::uint32_t>(aRec.FAuthEngineBoots));
  AppendBigEndian32(iv, static_cast<std::uint32_t>(aEngineTime));
  iv += aSalt;
  return FitTo(std::move(iv), AES_BLOCK_SIZE);
}

}  // namespace

std::string PasswordToKey(std::string_view aPassword, TV3Auth aAuthMode) {
  if (aPassword.empty())
    throw ESnmpError("SNMPv3 key cannot be derived from an empty password");
  gPasswordToKeyCount.fetch_add(1, std::memory_order_relaxed);
  // Feed the repeated password in 64-byte chunks, as RFC 3414 A.2 does. A
  // chunk that starts at byte n of the endless repetition is the same as
  // the one that starts at n mod length of a long enough copy.
  constexpr std::size_t kChunk = 64;
  std::string repeated;
  while (repeated.size() < kChunk + aPassword.size())
    repeated += aPassword;
  const std::string_view copy(repeated);
  THasher hasher(aAuthMode);
  for (std::size_t done = 0; done < kKuInputLength; done += kChunk)
    hasher.Add(copy.substr(done % aPassword.size(), kChunk));
  return hasher.Digest();
}

std::string LocalizeKey(std::string_view aKu, TV3Auth aAuthMode, std::string_view aEngineID) {
  return THasher(aAuthMode).Add(aKu).Add(aEngineID).Add(aKu).Digest();
}

std::string DeriveLocalKey(std::string_view aPassword, TV3Auth aAuthMode,
                           std::string_view aEngineID) {
  if (aPassword.empty())
    throw ESnmpError("SNMPv3 key cannot be derived from an empty password");
  // The length prefix keeps (password, engine ID) pairs apart.
  std::string id(1, static_cast<char>(aAuthMode));
  AppendBigEndian32(id, static_cast<std::uint32_t>(aPassword.size()));
  id += aPassword;
  id += aEngineID;
  std::string key;
  if (TKeyCache::Local().Find(id, key))
    return key;
  const std::string passwordId = id.substr(0, id.size() - aEngineID.size());
  std::string ku;
  if (!TKeyCache::Password().Find(passwordId, ku)) {
    ku = PasswordToKey(aPassword, aAuthMode);
    TKeyCache::Password().Store(passwordId, ku);
  }
  key = LocalizeKey(ku, aAuthMode, aEngineID);
  TKeyCache::Local().Store(id, key);
  return key;
}

void ClearLocalKeyCache() {
  TKeyCache::Local().Clear();
  TKeyCache::Password().Clear();
}

std::size_t LocalKeyCacheSize() {
  return TKeyCache::Local().Size();
}

std::uint64_t PasswordToKeyCount() {
  return gPasswordToKeyCount.load(std::memory_order_relaxed);
}

std::string ComputeAuthCode(std::string_view aMessage, TV3Auth aAuthMode, std::string_view aKey) {
  const nettle_hash& hash = HashOf(aAuthMode);
  THashState outer, inner, state;
  hmac_set_key(&outer, &inner, &state, &hash, aKey.size(), Bytes(aKey));
  hmac_update(&state, &hash, aMessage.size(), Bytes(aMessage));
  std::string code(AuthCodeLength(aAuthMode), '\0');
  hmac_digest(&outer, &inner, &state, &hash, code.size(), Bytes(code));
  return code;
}

std::string EncryptScopedPdu(TSNMPRec& aRec, std::string_view aScopedPdu,
                             std::int32_t aEngineTime) {
  aRec.FPrivKey.clear();
  if (aRec.FFlags != TV3Flags::AuthPriv)
    return std::string(aScopedPdu);
  SetPrivacyKey(aRec);
  std::string salt;
  AppendBigEndian32(salt,
                    IsAes(aRec.FPrivMode) ? 0u : static_cast<std::uint32_t>(aRec.FAuthEngineBoots));
  AppendBigEndian32(salt, static_cast<std::uint32_t>(aRec.FPrivSaltCounter));
  aRec.FPrivSalt = salt;
  aRec.FPrivSaltCounter =
      static_cast<std::int32_t>(static_cast<std::uint32_t>(aRec.FPrivSaltCounter) + 1u);

  std::string cipher;
  if (IsAes(aRec.FPrivMode)) {
    cipher = AesCfb(aRec, AesIv(aRec, aEngineTime, salt), aScopedPdu, true);
  } else {
    std::string iv = DesPreIv(aRec);
    XorInto(iv, salt);
    std::string plain(aScopedPdu);
    plain.resize((plain.size() + DES_BLOCK_SIZE - 1) / DES_BLOCK_SIZE * DES_BLOCK_SIZE, '\0');
    cipher = DesCbc(aRec, iv, plain, true);
  }
  return BerMakeItem(cipher, kBerOctetString);
}

std::string DecryptScopedPdu(TSNMPRec& aRec, std::string_view aCipher) {
  aRec.FPrivKey.clear();
  if (aRec.FFlags != TV3Flags::AuthPriv)
    return std::string(aCipher);
  SetPrivacyKey(aRec);
  if (IsAes(aRec.FPrivMode)) {
    return AesCfb(aRec, AesIv(aRec, aRec.FAuthEngineTime, aRec.FPrivSalt), aCipher, false);
  }
  // Nettle's CBC mode asserts on partial blocks: refuse them first.
  CheckDesLength(aCipher.size());
  std::string iv = DesPreIv(aRec);
  XorInto(iv, FitTo(aRec.FPrivSalt, DES_BLOCK_SIZE));
  return DesCbc(aRec, iv, aCipher, false);
}

bool VerifyAuthentication(std::string_view aMessage, TV3Auth aAuthMode,
                          std::string_view aPassword) {
  const std::size_t codeLength = AuthCodeLength(aAuthMode);
  std::string_view engineID;
  std::size_t authOffset = 0;
  std::size_t length = 0;
  if (!LocateAuthParameters(aMessage, codeLength, engineID, authOffset, length))
    return false;
  const std::string key = DeriveLocalKey(aPassword, aAuthMode, engineID);
  std::string zeroed(aMessage.substr(0, length));
  const std::string received = zeroed.substr(authOffset, codeLength);
  std::fill_n(zeroed.begin() + static_cast<std::ptrdiff_t>(authOffset), codeLength, '\0');
  const std::string computed = ComputeAuthCode(zeroed, aAuthMode, key);
  return memeql_sec(computed.data(), received.data(), codeLength) != 0;
}

std::size_t AuthCodeLength(TV3Auth aAuthMode) {
  switch (aAuthMode) {
    case TV3Auth::AuthSHA224:
      return 16;
    case TV3Auth::AuthSHA256:
      return 24;
    case TV3Auth::AuthSHA384:
      return 32;
    case TV3Auth::AuthSHA512:
      return 48;
    default:
      return 12;
  }
}

std::optional<TV3Auth> AuthProtocolByName(std::string_view aName) {
  static const std::pair<const char*, TV3Auth> kNames[] = {
      {"MD5", TV3Auth::AuthMD5},       {"SHA", TV3Auth::AuthSHA1},
      {"SHA1", TV3Auth::AuthSHA1},     {"SHA224", TV3Auth::AuthSHA224},
      {"SHA256", TV3Auth::AuthSHA256}, {"SHA384", TV3Auth::AuthSHA384},
      {"SHA512", TV3Auth::AuthSHA512}};
  const std::string key = NameKey(aName);
  for (const auto& [name, mode] : kNames) {
    if (key == name)
      return mode;
  }
  return std::nullopt;
}

std::optional<TV3Priv> PrivProtocolByName(std::string_view aName) {
  static const std::pair<const char*, TV3Priv> kNames[] = {
      {"DES", TV3Priv::PrivDES},         {"3DES", TV3Priv::Priv3DES},
      {"AES", TV3Priv::PrivAES},         {"AES128", TV3Priv::PrivAES},
      {"AES192", TV3Priv::PrivAES192},   {"AES256", TV3Priv::PrivAES256},
      {"AES192C", TV3Priv::PrivAES192C}, {"AES256C", TV3Priv::PrivAES256C}};
  const std::string key = NameKey(aName);
  for (const auto& [name, mode] : kNames) {
    if (key == name)
      return mode;
  }
  return std::nullopt;
}

}  // namespace tavo
