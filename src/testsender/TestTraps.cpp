#include "testsender/TestTraps.h"

#include <exception>
#include <memory>

#include "messages/Format.h"
#include "platform/Clock.h"
#include "platform/TextCodec.h"
#include "snmp/BerEncoding.h"
#include "snmp/SnmpEndpoint.h"

namespace tavo {

const char* const kSecurityLevelNames[3] = {"NoAuthNoPriv", "AuthNoPriv", "AuthPriv"};

std::unique_ptr<TSNMPSend> NewEndpoint(const TTestTrapSettings& aSettings) {
  auto snmp = std::make_unique<TSNMPSend>();
  snmp->FTargetHost = aSettings.Host;
  snmp->FTargetPort = aSettings.Port;
  return snmp;
}

bool SendTestTrapV1(const TTestTrapSettings& aSettings) {
  const auto snmp = NewEndpoint(aSettings);
  TSNMPRec& query = snmp->Query();
  query.FCommunity = Utf8ToCp1252(aSettings.Community);
  query.FVersion = 0;
  query.FPDUType = kPduTrapV1;
  query.FOldTrapEnterprise = Utf8ToCp1252(aSettings.Oid + ".0");
  query.FOldTrapGen = 6;  // enterpriseSpecific
  query.FOldTrapSpec = 8424;
  // Milliseconds, not hundredths of a second, as the receivers expect it.
  query.FOldTrapTimeTicks = TickCount32();
  query.MibAdd2(aSettings.Oid + ".1", aSettings.MsgId, kBerInteger);
  query.MibAdd2(aSettings.Oid + ".2", aSettings.MsgText, kBerOctetString);
  return snmp->SendTrap();
}

bool SendTestTrapV3(const TTestTrapSettings& aSettings) {
  const auto snmp = NewEndpoint(aSettings);
  TSNMPRec& query = snmp->Query();
  query.FVersion = 3;
  query.FUserName = Utf8ToCp1252(aSettings.UserName);
  query.FPassword = Utf8ToCp1252(aSettings.UserPwd);
  query.FPrivPassword = Utf8ToCp1252(aSettings.PrivPwd);
  query.FFlags = aSettings.Flags;
  query.FAuthEngineID = aSettings.EngineId;
  query.FAuthMode = aSettings.AuthMode;
  query.FPrivMode = aSettings.PrivMode;
  query.FFlagReportable = false;
  query.FPDUType = kPduTrapV2;
  query.MibAdd2(aSettings.Oid + ".0", "", kBerNull);
  query.MibAdd2(aSettings.Oid + ".1", aSettings.MsgId, kBerInteger);
  query.MibAdd2(aSettings.Oid + ".2", aSettings.MsgText, kBerOctetString);
  return snmp->SendTrap();
}

std::string SendForWindow(bool (*aSend)(const TTestTrapSettings&),
                          const TTestTrapSettings& aSettings) {
  try {
    aSend(aSettings);
    return {};
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown exception";
  }
}

std::string TrapsSentText(std::int32_t aCount) {
  return Format("Traps send: %d", {aCount});
}

}  // namespace tavo
