// libFuzzer target: one datagram through the SNMP decoder, without
// decryption and with it under every mode the receiver can be set to,
// within the decoder's bounds (DecodeBounds.h); through the verification
// routine; and what was decoded back through the encoder, whose output the
// decoder must take in again.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "DecodeBounds.h"
#include "snmp/SnmpMessage.h"
#include "snmp/SnmpSecurity.h"

namespace {

using tavo::fuzz::BoundedDecode;

// The passwords of the seed corpus, so that its AuthPriv seeds decrypt.
constexpr char kAuthPassword[] = "authpass123";
constexpr char kPrivPassword[] = "privpass123";

// Decodes under one pair of the receiver's modes and, when that works, takes
// what was decoded through the encoder and back.
void DecodeAndEncodeAgain(std::string_view aDatagram, tavo::TV3Auth aAuth, tavo::TV3Priv aPriv) {
  using namespace tavo;
  TSNMPRec rec;
  rec.FAuthMode = aAuth;
  rec.FPrivMode = aPriv;
  rec.FPassword = kAuthPassword;
  rec.FPrivPassword = kPrivPassword;
  volatile std::size_t sink = 0;
  try {
    if (!BoundedDecode(rec, aDatagram, true))
      return;
    for (int i = 0; i < rec.MIBCount(); ++i)
      sink = sink + rec.MIBByIndex(i)->FValue.size();
    const int version = rec.FVersion;
    const std::string again = rec.EncodeBuf();
    TSNMPRec back;
    back.FAuthMode = aAuth;
    back.FPrivMode = aPriv;
    back.FPrivPassword = kPrivPassword;
    if (!BoundedDecode(back, again, true) || back.FVersion != version)
      std::abort();
  } catch (const ESnmpError&) {
    // a ciphertext the DES modes refuse, or too many bindings
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  using namespace tavo;
  const std::string_view datagram(reinterpret_cast<const char*>(aData), aSize);
  // As the receiver first decodes it: nothing decrypted, no key needed.
  {
    TSNMPRec header;
    volatile bool decoded = false;
    try {
      decoded = BoundedDecode(header, datagram, false);
    } catch (const ESnmpError&) {
      // too many bindings
    }
    (void)decoded;
  }
  // Every input under every mode the receiver can be set to, so that each
  // seed meets the hash and cipher it was made with.
  for (const TV3Auth auth : {TV3Auth::AuthMD5, TV3Auth::AuthSHA1, TV3Auth::AuthSHA224,
                             TV3Auth::AuthSHA256, TV3Auth::AuthSHA384, TV3Auth::AuthSHA512}) {
    for (const TV3Priv priv : {TV3Priv::PrivDES, TV3Priv::Priv3DES, TV3Priv::PrivAES})
      DecodeAndEncodeAgain(datagram, auth, priv);
    volatile bool verified = VerifyAuthentication(datagram, auth, kAuthPassword);
    (void)verified;
  }
  // The longer AES keys, extended from a short key both ways and not at all.
  for (const TV3Auth auth : {TV3Auth::AuthMD5, TV3Auth::AuthSHA256}) {
    for (const TV3Priv priv :
         {TV3Priv::PrivAES192, TV3Priv::PrivAES256, TV3Priv::PrivAES192C, TV3Priv::PrivAES256C})
      DecodeAndEncodeAgain(datagram, auth, priv);
  }
  return 0;
}
