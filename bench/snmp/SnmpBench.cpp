// The SNMP codec's costs per trap: decoding, decoding plus verification of
// an SNMPv3 AuthNoPriv trap with the localised key cached and without, and
// encoding each kind a sender makes.

#include <benchmark/benchmark.h>

#include <string>

#include "SampleTraps.h"
#include "snmp/SnmpDefaults.h"
#include "snmp/SnmpMessage.h"
#include "snmp/SnmpSecurity.h"

namespace {

using namespace tavo;

using test::SampleV1;
using test::SampleV3;

// The traps TavoT sends with its defaults.
std::string Encoded(TV3Flags aFlags, bool aV1 = false) {
  return test::EncodeSample(aV1 ? SampleV1() : SampleV3(aFlags));
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
    const bool ok = VerifyAuthentication(bytes, rec.FAuthMode, kDefaultTrapUserPassword);
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
  test::SetSampleReceiver(rec, SampleV3(TV3Flags::AuthPriv));
  for (auto _ : state) {
    rec.DecodeBuf(bytes);
    benchmark::DoNotOptimize(VerifyAuthentication(bytes, rec.FAuthMode, kDefaultTrapUserPassword));
  }
}
BENCHMARK(DecodeAndVerifyAuthPriv);

void EncodeSnmpV1Trap(benchmark::State& state) {
  TSNMPRec rec;
  test::SetSampleSender(rec, SampleV1());
  test::AddTavotBindings(rec);
  for (auto _ : state)
    benchmark::DoNotOptimize(rec.EncodeBuf());
}
BENCHMARK(EncodeSnmpV1Trap);

// Arg: the security level (0 NoAuthNoPriv, 1 AuthNoPriv, 2 AuthPriv with
// DES); keys come from the warm cache, as for a sender that reuses a user.
void EncodeSnmpV3Trap(benchmark::State& state) {
  TSNMPRec rec;
  test::SetSampleSender(rec, SampleV3(static_cast<TV3Flags>(state.range(0))));
  test::AddTavotBindings(rec);
  for (auto _ : state)
    benchmark::DoNotOptimize(rec.EncodeBuf());
}
BENCHMARK(EncodeSnmpV3Trap)->Arg(0)->Arg(1)->Arg(2);

}  // namespace

BENCHMARK_MAIN();
