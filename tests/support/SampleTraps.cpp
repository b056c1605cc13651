#include "SampleTraps.h"

#include "snmp/BerEncoding.h"

namespace tavo::test {

SampleTrap SampleV1() {
  return SampleTrap{};
}

SampleTrap SampleV3(TV3Flags aFlags, TV3Auth aAuth, TV3Priv aPriv) {
  SampleTrap s;
  s.Version = 3;
  s.Flags = aFlags;
  s.Auth = aAuth;
  s.Priv = aPriv;
  return s;
}

std::string SampleName(const SampleTrap& aSample) {
  if (aSample.Version != 3)
    return aSample.Version == 0 ? "SNMPv1" : "SNMPv2c";
  static const char* const kLevels[] = {"NoAuthNoPriv", "AuthNoPriv", "AuthPriv"};
  static const char* const kPrivs[] = {"DES", "3DES", "AES"};
  std::string name = std::string("SNMPv3 ") + kLevels[static_cast<int>(aSample.Flags)];
  if (aSample.Flags == TV3Flags::NoAuthNoPriv)
    return name;
  name += aSample.Auth == TV3Auth::AuthMD5 ? " MD5" : " SHA";
  if (aSample.Flags == TV3Flags::AuthPriv)
    name += std::string("/") + kPrivs[static_cast<int>(aSample.Priv)];
  return name;
}

std::vector<SampleTrap> SampleTrapKinds() {
  return {SampleV1(), SampleV3(TV3Flags::NoAuthNoPriv), SampleV3(TV3Flags::AuthNoPriv),
          SampleV3(TV3Flags::AuthPriv)};
}

std::vector<SampleTrap> SampleAuthPrivTraps() {
  std::vector<SampleTrap> samples;
  for (TV3Priv priv : {TV3Priv::PrivDES, TV3Priv::Priv3DES, TV3Priv::PrivAES}) {
    for (TV3Auth auth : {TV3Auth::AuthMD5, TV3Auth::AuthSHA1})
      samples.push_back(SampleV3(TV3Flags::AuthPriv, auth, priv));
  }
  return samples;
}

void SetSampleSender(TSNMPRec& aRec, const SampleTrap& aSample) {
  aRec.FVersion = aSample.Version;
  aRec.FCommunity = aSample.Community;
  if (aSample.Version == 0) {
    aRec.FPDUType = kPduTrapV1;
    aRec.FOldTrapEnterprise = std::string(kSampleOid) + ".0";
    aRec.FOldTrapGen = 6;  // enterpriseSpecific
    aRec.FOldTrapSpec = 8424;
    aRec.FOldTrapTimeTicks = 123456789;  // TavoT sends its tick count
    return;
  }
  aRec.FPDUType = kPduTrapV2;
  if (aSample.Version != 3)
    return;
  aRec.FUserName = aSample.User;
  aRec.FPassword = aSample.AuthPassword;
  aRec.FPrivPassword = aSample.PrivPassword;
  aRec.FFlags = aSample.Flags;
  aRec.FAuthMode = aSample.Auth;
  aRec.FPrivMode = aSample.Priv;
}

void SetSampleReceiver(TSNMPRec& aRec, const SampleTrap& aSample) {
  aRec.FAuthMode = aSample.Auth;
  aRec.FPrivMode = aSample.Priv;
  aRec.FPrivPassword = aSample.PrivPassword;
}

void AddTavotBindings(TSNMPRec& aRec) {
  const std::string oid = kSampleOid;
  if (aRec.FVersion == 3)
    aRec.MibAdd2(oid + ".0", "", kBerNull);
  aRec.MibAdd2(oid + ".1", "100", kBerInteger);
  aRec.MibAdd2(oid + ".2", kSampleText, kBerOctetString);
}

std::string EncodeSample(const SampleTrap& aSample) {
  TSNMPRec rec;
  SetSampleSender(rec, aSample);
  AddTavotBindings(rec);
  return rec.EncodeBuf();
}

}  // namespace tavo::test
