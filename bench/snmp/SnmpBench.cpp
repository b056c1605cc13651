// The SNMP codec's costs per trap: decoding, decoding plus verification of
// an SNMPv3 AuthNoPriv trap with the localised key cached and without, and
// encoding each kind a sender makes.

#include <benchmark/benchmark.h>

#include <string>

#include "snmp/BerEncoding.h"
#include "snmp/SnmpMessage.h"
#include "snmp/SnmpSecurity.h"

namespace {

using namespace tavo;

const char kText[] =
    "Text mit Umlauten & Sonderzeichen \xC3\x84\xC3\xA4\xC3\xA0\xC3\x9C\xC3\xB6\xC3\xA9 "
    "\xE2\x82\xAC$\xC2\xA3";

// The traps TavoT sends with its defaults.
void FillV1(TSNMPRec& aRec) {
  aRec.FPDUType = kPduTrapV1;
  aRec.FOldTrapEnterprise = "1.3.6.4.1.52814.8424.0";
  aRec.FOldTrapGen = 6;
  aRec.FOldTrapSpec = 8424;
  aRec.FOldTrapTimeTicks = 123456789;
  aRec.MibAdd2("1.3.6.4.1.52814.8424.1", "100", kBerInteger);
  aRec.MibAdd2("1.3.6.4.1.52814.8424.2", kText, kBerOctetString);
}

void FillV3(TSNMPRec& aRec, TV3Flags aFlags) {
  aRec.FVersion = 3;
  aRec.FPDUType = kPduTrapV2;
  aRec.FUserName = "TavoSnmpTrap";
  aRec.FPassword = "4TorfBalunixe!";
  aRec.FPrivPassword = "QuastelbrinkSorgenlaufwer";
  aRec.FFlags = aFlags;
  aRec.MibAdd2("1.3.6.4.1.52814.8424.0", "", kBerNull);
  aRec.MibAdd2("1.3.6.4.1.52814.8424.1", "100", kBerInteger);
  aRec.MibAdd2("1.3.6.4.1.52814.8424.2", kText, kBerOctetString);
}

std::string Encoded(TV3Flags aFlags, bool aV1 = false) {
  TSNMPRec rec;
  if (aV1) {
    FillV1(rec);
  } else {
    FillV3(rec, aFlags);
  }
  return rec.EncodeBuf();
}

void DecodeSnmpV1Trap(benchmark::State& state) {
  const std::string bytes = Encoded(TV3Flags::NoAuthNoPriv, true);
  TSNMPRec rec;
  for (auto _ : state) {
    benchmark::DoNotOptimize(rec.DecodeBuf(bytes));
  }
}
BENCHMARK(DecodeSnmpV1Trap);

// Arg 1: the localised key is in the cache (the receiver's steady state);
// arg 0: every message derives it again (1 MiB hashed).
void DecodeAndVerifyAuthNoPriv(benchmark::State& state) {
  const bool warm = state.range(0) != 0;
  const std::string bytes = Encoded(TV3Flags::AuthNoPriv);
  TSNMPRec rec;
  ClearLocalKeyCache();
  for (auto _ : state) {
    if (!warm)
      ClearLocalKeyCache();
    rec.DecodeBuf(bytes);
    const bool ok = VerifyAuthentication(bytes, rec.FAuthMode, "4TorfBalunixe!");
    if (!ok)
      state.SkipWithError("not verified");
    benchmark::DoNotOptimize(ok);
  }
}
BENCHMARK(DecodeAndVerifyAuthNoPriv)->Arg(1)->Arg(0);

// Decryption derives the privacy key as well; warm cache.
void DecodeAndVerifyAuthPriv(benchmark::State& state) {
  const std::string bytes = Encoded(TV3Flags::AuthPriv);
  TSNMPRec rec;
  rec.FPrivPassword = "QuastelbrinkSorgenlaufwer";
  for (auto _ : state) {
    rec.DecodeBuf(bytes);
    benchmark::DoNotOptimize(VerifyAuthentication(bytes, rec.FAuthMode, "4TorfBalunixe!"));
  }
}
BENCHMARK(DecodeAndVerifyAuthPriv);

void EncodeSnmpV1Trap(benchmark::State& state) {
  TSNMPRec rec;
  FillV1(rec);
  for (auto _ : state)
    benchmark::DoNotOptimize(rec.EncodeBuf());
}
BENCHMARK(EncodeSnmpV1Trap);

// Arg: the security level (0 NoAuthNoPriv, 1 AuthNoPriv, 2 AuthPriv with
// DES); keys come from the warm cache, as for a sender that reuses a user.
void EncodeSnmpV3Trap(benchmark::State& state) {
  TSNMPRec rec;
  FillV3(rec, static_cast<TV3Flags>(state.range(0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(rec.EncodeBuf());
}
BENCHMARK(EncodeSnmpV3Trap)->Arg(0)->Arg(1)->Arg(2);

}  // namespace

BENCHMARK_MAIN();
