// libFuzzer target: the trap receiver's admission path. Each input sets up a
// receiver (user, passwords, hash and cipher) and brings one datagram: the
// rest of the input as it is, or an SNMPv3 trap that the target encodes with
// an engine ID, a security level and passwords the input chooses, so that
// the verification is reached for engine IDs never seen and passes when the
// sender's passwords are the receiver's. The datagram is decoded as the
// receiver does it: without decryption, Admit, and only when admitted with
// decryption; the admission's lines are written to a dispatcher that drops
// them.
//
// Besides the decoder's bounds (DecodeBounds.h) the target holds the key
// derivation to its cache: the 1 MiB password-to-key step runs at most once
// per (hash, password) pair used, whatever engine IDs arrive, and never
// while a datagram is decoded without decryption. Triple-DES adds a pair per
// engine ID of an admitted message: its key extension takes the localised
// privacy key for a password.
//
// Input: byte 0 the receiver, byte 1 the mode and sender, then the datagram
// (raw mode) or the engine ID's length and bytes, a value tag and the value
// of the trap's one binding (built mode).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "DecodeBounds.h"
#include "messages/MsgClasses.h"
#include "platform/MessageBox.h"
#include "snmp/SnmpMessage.h"
#include "snmp/SnmpSecurity.h"
#include "snmp/TrapAdmission.h"

namespace {

using namespace tavo;
using tavo::fuzz::BoundedDecode;

// A small fixed set, so that the pairs used stay few: the seed corpus's
// passwords, the receiver's default, and none.
const char* const kPasswords[4] = {"authpass123", "privpass123", "4TorfBalunixe!", ""};
// The users of the seed corpus: net-snmp's captures and our own.
const char* const kUsers[2] = {"TavoSnmpTrap", "tuser"};
constexpr TV3Priv kCiphers[3] = {TV3Priv::PrivDES, TV3Priv::Priv3DES, TV3Priv::PrivAES};
constexpr std::size_t kMaxEngineId = 32;
// One input uses at most six pairs: the sender's and the receiver's
// authentication and privacy passwords, and for Triple-DES or AES-256-C on
// each side the localised privacy key, which the key extension takes for a
// password.
constexpr std::size_t kMostPairsPerInput = 6;

using TPair = std::pair<TV3Auth, std::string>;

// The pairs used since the caches were last cleared, and the derivation
// count then.
std::set<TPair> gUsed;
std::uint64_t gCountAtClear = 0;

void CheckDerivations() {
  if (PasswordToKeyCount() - gCountAtClear > gUsed.size())
    std::abort();
}

void Use(TV3Auth aHash, const std::string& aPassword) {
  if (!aPassword.empty())
    gUsed.insert({aHash, aPassword});
}

// The key extension's password: the localised privacy key (derived through
// the caches from a pair already used).
void UseExtension(TV3Auth aHash, const std::string& aPrivPassword, std::string_view aEngineId) {
  if (aPrivPassword.empty())
    return;
  Use(aHash, DeriveLocalKey(aPrivPassword, aHash, aEngineId));
  CheckDerivations();
}

// Whether the privacy key is extended by a key derived from the localised
// key as from a password: Triple-DES and the "C" variants of AES, when the
// hash's key is shorter than the cipher's.
bool ExtendsByDerivation(TV3Auth aHash, TV3Priv aPriv) {
  std::size_t keyLength = 16;
  switch (aHash) {
    case TV3Auth::AuthSHA1:
      keyLength = 20;
      break;
    case TV3Auth::AuthSHA224:
      keyLength = 28;
      break;
    case TV3Auth::AuthSHA256:
      keyLength = 32;
      break;
    case TV3Auth::AuthSHA384:
    case TV3Auth::AuthSHA512:
      keyLength = 48;
      break;
    default:
      break;
  }
  switch (aPriv) {
    case TV3Priv::Priv3DES:
    case TV3Priv::PrivAES256C:
      return keyLength < 32;
    case TV3Priv::PrivAES192C:
      return keyLength < 24;
    default:
      return false;
  }
}

// Once the Ku cache could hold no more, its evictions would derive again:
// start afresh with both caches empty.
void MakeRoom() {
  if (gUsed.size() + kMostPairsPerInput <= kPasswordKeyCacheCapacity)
    return;
  ClearLocalKeyCache();
  gUsed.clear();
  gCountAtClear = PasswordToKeyCount();
}

struct TReceiver {
  TTrapCredentials Credentials;
  std::string PrivPassword;
  TV3Priv Cipher = TV3Priv::PrivDES;
};

TReceiver MakeReceiver(std::uint8_t aByte) {
  TReceiver r;
  r.Credentials.Community = "public";
  r.Credentials.UserPwd = kPasswords[aByte & 3];
  r.PrivPassword = kPasswords[(aByte >> 2) & 3];
  const bool other = (aByte & 0x10) != 0;
  const unsigned cipher = (aByte >> 5) & 3;
  if (cipher < 3) {
    r.Credentials.AuthMode = other ? TV3Auth::AuthSHA1 : TV3Auth::AuthMD5;
    r.Cipher = kCiphers[cipher];
  } else {
    // The SHA-2 codes and a longer AES key.
    r.Credentials.AuthMode = other ? TV3Auth::AuthSHA512 : TV3Auth::AuthSHA256;
    r.Cipher = other ? TV3Priv::PrivAES256C : TV3Priv::PrivAES256;
  }
  r.Credentials.UserName = kUsers[aByte >> 7];
  return r;
}

// An SNMPv3 trap of the receiver's user with one binding; empty when the
// encoder refuses it (an empty password).
std::string BuildTrap(const TReceiver& aReceiver, std::uint8_t aSender, std::string_view aRest) {
  TSNMPRec s;
  s.FVersion = 3;
  s.FPDUType = kPduTrapV2;
  s.FUserName = aReceiver.Credentials.UserName;
  const bool otherHash = (aSender & 0x80) != 0;
  s.FAuthMode = aReceiver.Credentials.AuthMode;
  if (otherHash)
    s.FAuthMode = s.FAuthMode == TV3Auth::AuthMD5 ? TV3Auth::AuthSHA1 : TV3Auth::AuthMD5;
  s.FPrivMode = aReceiver.Cipher;
  s.FPassword = kPasswords[(aSender >> 1) & 3];
  s.FPrivPassword = kPasswords[(aSender >> 3) & 3];
  switch ((aSender >> 5) & 3) {
    case 0:
      s.FFlags = TV3Flags::NoAuthNoPriv;
      break;
    case 1:
      s.FFlags = TV3Flags::AuthNoPriv;
      break;
    default:
      s.FFlags = TV3Flags::AuthPriv;
  }
  std::size_t engineLength = 0;
  if (!aRest.empty()) {
    engineLength = static_cast<std::uint8_t>(aRest[0]) % (kMaxEngineId + 1);
    aRest.remove_prefix(1);
  }
  s.FAuthEngineID = std::string(aRest.substr(0, engineLength));
  aRest.remove_prefix(std::min(engineLength, aRest.size()));
  s.FAuthEngineBoots = 1;
  s.FAuthEngineTime = 100;
  std::int32_t tag = kBerOctetString;
  if (!aRest.empty()) {
    tag = static_cast<std::uint8_t>(aRest[0]);
    aRest.remove_prefix(1);
  }
  s.MIBAdd("1.3.6.1.4.1.99999.1.1", std::string(aRest), tag);

  if (s.FFlags != TV3Flags::NoAuthNoPriv)
    Use(s.FAuthMode, s.FPassword);
  if (s.FFlags == TV3Flags::AuthPriv) {
    Use(s.FAuthMode, s.FPrivPassword);
    if (ExtendsByDerivation(s.FAuthMode, s.FPrivMode))
      UseExtension(s.FAuthMode, s.FPrivPassword, s.FAuthEngineID);
  }
  try {
    std::string bytes = s.EncodeBuf();
    CheckDerivations();
    return bytes;
  } catch (const ESnmpError&) {
    CheckDerivations();
    return std::string();
  }
}

// The receiver's steps for one datagram (SnmpTrapReceiver's Prepare and
// HandleMessage, without the queue and the log's limiter).
void Receive(const TReceiver& aReceiver, std::string_view aDatagram) {
  TSNMPRec r;
  r.FAuthMode = aReceiver.Credentials.AuthMode;
  r.FPrivMode = aReceiver.Cipher;
  r.FPrivPassword = aReceiver.PrivPassword;
  try {
    const std::uint64_t before = PasswordToKeyCount();
    const bool decoded = BoundedDecode(r, aDatagram, false);
    if (PasswordToKeyCount() != before)
      std::abort();  // a key for a sender not yet authenticated
    if (!decoded)
      return;
    Use(r.FAuthMode, aReceiver.Credentials.UserPwd);
    const TAdmissionVerdict verdict = Admit(aReceiver.Credentials, r, aDatagram);
    CheckDerivations();
    if (verdict.Verdict == TAdmission::eAdmitted && r.FFlags == TV3Flags::AuthPriv) {
      Use(r.FAuthMode, r.FPrivPassword);
      if (ExtendsByDerivation(r.FAuthMode, r.FPrivMode))
        UseExtension(r.FAuthMode, r.FPrivPassword, r.FAuthEngineID);
      BoundedDecode(r, aDatagram, true);
      CheckDerivations();
    }
    ReportAdmission(verdict, r);
  } catch (const ESnmpError&) {
    // too many bindings, an empty privacy password, a DES ciphertext cut
    CheckDerivations();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Every line the admission writes goes nowhere: no box, no standard error.
  SetMessageBoxHandler([](TMsgBoxIcon, const std::string&) {});
  TMsgClass* dispatcher = TMsgClass::CreateSingleton();
  dispatcher->Level = eDebug;
  dispatcher->OnNewMsg = [](TMsgBase*, TMsgId, const std::string& aText) {
    static volatile std::size_t sink = 0;
    sink = sink + aText.size();
  };
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  if (aSize < 2)
    return 0;
  const std::string_view input(reinterpret_cast<const char*>(aData), aSize);
  const TReceiver receiver = MakeReceiver(aData[0]);
  const std::uint8_t mode = aData[1];
  MakeRoom();
  if (mode & 1) {
    const std::string trap = BuildTrap(receiver, mode, input.substr(2));
    if (!trap.empty())
      Receive(receiver, trap);
  } else {
    Receive(receiver, input.substr(2));
  }
  return 0;
}
