// libFuzzer target: one datagram through the SNMP decoder with AuthPriv
// decryption on, through the verification routine, and what was decoded
// back through the encoder, whose output the decoder must take in again.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "snmp/SnmpMessage.h"
#include "snmp/SnmpSecurity.h"

namespace {

// The passwords of the seed corpus, so that its AuthPriv seeds decrypt.
constexpr char kAuthPassword[] = "authpass123";
constexpr char kPrivPassword[] = "privpass123";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  using namespace tavo;
  const std::string_view datagram(reinterpret_cast<const char*>(aData), aSize);
  // The receiver's modes, chosen by the length so that every mode gets inputs.
  const auto auth = static_cast<TV3Auth>(aSize % 2);
  const auto priv = static_cast<TV3Priv>(aSize / 2 % 3);

  TSNMPRec rec;
  rec.FAuthMode = auth;
  rec.FPrivMode = priv;
  rec.FPassword = kAuthPassword;
  rec.FPrivPassword = kPrivPassword;
  volatile std::size_t sink = 0;
  try {
    if (rec.DecodeBuf(datagram)) {
      for (int i = 0; i < rec.MIBCount(); ++i)
        sink = sink + rec.MIBByIndex(i)->FValue.size();
      const int version = rec.FVersion;
      const std::string again = rec.EncodeBuf();
      TSNMPRec back;
      back.FAuthMode = auth;
      back.FPrivMode = priv;
      back.FPrivPassword = kPrivPassword;
      if (!back.DecodeBuf(again) || back.FVersion != version)
        std::abort();
    }
  } catch (const ESnmpError&) {
    // a ciphertext the DES modes refuse
  }
  sink = sink + (VerifyAuthentication(datagram, auth, kAuthPassword) ? 1 : 0);
  return 0;
}
