#include "snmp/InformAnswer.h"

#include <algorithm>
#include <cstdlib>

#include "snmp/BerEncoding.h"

namespace tavo {

std::int32_t TSnmpEngine::TimeAt(std::int64_t aNowMs) const {
  const std::int64_t seconds = std::max<std::int64_t>(0, aNowMs - StartMs) / 1000;
  return static_cast<std::int32_t>(std::min<std::int64_t>(seconds, kMaxEngineBoots));
}

bool InTimeWindow(const TSnmpEngine& aEngine, const TSNMPRec& aRec, std::int64_t aNowMs) {
  if (aEngine.State.Boots >= kMaxEngineBoots || aRec.FAuthEngineBoots != aEngine.State.Boots)
    return false;
  const std::int64_t difference =
      static_cast<std::int64_t>(aRec.FAuthEngineTime) - aEngine.TimeAt(aNowMs);
  return std::llabs(difference) <= kTimeWindowSeconds;
}

namespace {

void SetEngine(TSNMPRec& aRec, const TSnmpEngine& aEngine, std::int64_t aNowMs) {
  aRec.FAuthEngineID = aEngine.State.EngineId;
  aRec.FAuthEngineBoots = aEngine.State.Boots;
  aRec.FAuthEngineTime = aEngine.TimeAt(aNowMs);
  aRec.FAuthEngineTimeStamp = 0;
  aRec.FMaxSize = static_cast<std::int32_t>(kMaxUdpPayload);
}

}  // namespace

std::string EncodeInformResponse(TSNMPRec& aRec, const TSnmpEngine* aEngine, std::int64_t aNowMs) {
  std::size_t limit = kMaxUdpPayload;
  if (aRec.FVersion == 3) {
    if (aRec.FMaxSize > 0)
      limit = std::min<std::size_t>(limit, static_cast<std::size_t>(aRec.FMaxSize));
    if (aEngine)
      SetEngine(aRec, *aEngine, aNowMs);
    aRec.FFlagReportable = false;
    if (aRec.FFlags != TV3Flags::AuthPriv)
      aRec.FPrivSalt.clear();
  }
  const std::int32_t requestId = aRec.FID;
  aRec.FPDUType = kPduResponse;
  aRec.FErrorStatus = 0;
  aRec.FErrorIndex = 0;
  std::string bytes = aRec.EncodeBuf();
  if (bytes.size() > limit) {
    aRec.FID = requestId;
    aRec.FErrorStatus = kErrorTooBig;
    aRec.FRawBindings.clear();
    aRec.FSNMPMibList.clear();
    bytes = aRec.EncodeBuf();
  }
  return bytes;
}

std::string EncodeReport(const TSNMPRec& aRec, const TSnmpEngine& aEngine, std::int64_t aNowMs,
                         const std::string& aOid, std::uint32_t aCount, bool aRequestIdKnown,
                         TV3Auth aAuthMode, const std::string& aPassword) {
  TSNMPRec report;
  report.FVersion = 3;
  report.FPDUType = kPduReport;
  report.FMsgID = aRec.FMsgID;
  report.FID = aRequestIdKnown ? aRec.FID : 0;
  report.FContextEngineID = aRec.FContextEngineID;
  report.FContextName = aRec.FContextName;
  report.FUserName = aRec.FUserName;
  SetEngine(report, aEngine, aNowMs);
  if (aOid == kUsmStatsNotInTimeWindows) {
    report.FFlags = TV3Flags::AuthNoPriv;
    report.FAuthMode = aAuthMode;
    report.FPassword = aPassword;
  }
  report.MIBAdd(aOid, std::to_string(aCount), kBerCounter32);
  return report.EncodeBuf();
}

std::string TInformReplayCache::Key(const TSNMPRec& aRec, const std::string& aSender) {
  std::string key;
  auto add = [&key](const std::string& aPart) {
    key += std::to_string(aPart.size());
    key += ':';
    key += aPart;
  };
  if (aRec.FVersion == 3) {
    key = "3";
    add(aRec.FAuthEngineID);
    add(std::to_string(aRec.FMsgID));
    add(aRec.FUserName);
  } else {
    key = "2";
    add(aRec.FCommunity);
  }
  // A retransmission comes from the socket of the first try; another
  // sender, or a sender started again that counts its IDs from 1 anew, is
  // not one.
  add(aSender);
  add(std::to_string(aRec.FID));
  return key;
}

void TInformReplayCache::Expire(std::int64_t aNowMs) {
  while (!fOrder.empty() && (aNowMs - fOrder.front().AtMs > kLifetimeMs ||
                             fOrder.size() > kMaxEntries || fnBytes > kMaxBytes)) {
    fnBytes -= fOrder.front().Key.size();
    fKeys.erase(fOrder.front().Key);
    fOrder.pop_front();
  }
}

bool TInformReplayCache::Seen(const std::string& aKey, std::int64_t aNowMs) {
  Expire(aNowMs);
  return fKeys.count(aKey) > 0;
}

void TInformReplayCache::Remember(const std::string& aKey, std::int64_t aNowMs) {
  if (aKey.size() > kMaxBytes || !fKeys.insert(aKey).second)
    return;
  fOrder.push_back({aNowMs, aKey});
  fnBytes += aKey.size();
  Expire(aNowMs);
}

}  // namespace tavo
