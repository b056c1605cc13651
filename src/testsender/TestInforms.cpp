#include "testsender/TestInforms.h"

#include <chrono>
#include <memory>

#include "platform/Clock.h"
#include "platform/TextCodec.h"
#include "snmp/BerEncoding.h"
#include "snmp/SnmpEndpoint.h"
#include "snmp/SnmpSecurity.h"

namespace tavo {
namespace {

// The USM's report counters (RFC 3414), with what they mean for a sender.
struct TReportName {
  const char* Oid;
  const char* Text;
};
constexpr TReportName kReports[] = {
    {"1.3.6.1.6.3.15.1.1.1.0", "unsupported security level"},
    {kUsmStatsNotInTimeWindows, "not in the time window"},
    {"1.3.6.1.6.3.15.1.1.3.0", "unknown user name"},
    {kUsmStatsUnknownEngineIDs, "unknown engine ID"},
    {"1.3.6.1.6.3.15.1.1.5.0", "wrong digest"},
    {"1.3.6.1.6.3.15.1.1.6.0", "decryption error"},
};
constexpr std::size_t kMaxDatagram = 65535;

std::string ReportText(const TSNMPRec& aReport) {
  const std::string oid = aReport.MIBCount() > 0 ? aReport.MIBByIndex(0)->FOID : std::string();
  for (const TReportName& r : kReports) {
    if (oid == r.Oid)
      return std::string("the receiver reported: ") + r.Text;
  }
  return "the receiver reported " + (oid.empty() ? std::string("nothing") : oid);
}

void AddNotification(TSNMPRec& aRec, const TTestTrapSettings& aSettings) {
  // Hundredths of a second since the machine started, as sysUpTime counts.
  aRec.MIBAdd(kSysUpTimeOid, std::to_string(TickCount32() / 10u), kBerTimeTicks);
  aRec.MIBAdd(kSnmpTrapOid, Utf8ToCp1252(aSettings.Oid + ".0"), kBerObjectId);
  aRec.MibAdd2(aSettings.Oid + ".1", aSettings.MsgId, kBerInteger);
  aRec.MibAdd2(aSettings.Oid + ".2", aSettings.MsgText, kBerOctetString);
}

// An SNMPv2c notification of the PDU type with the community.
std::unique_ptr<TSNMPSend> NewV2cEndpoint(const TTestTrapSettings& aSettings,
                                          std::int32_t aPduType) {
  auto snmp = NewEndpoint(aSettings);
  TSNMPRec& query = snmp->Query();
  query.FVersion = 1;
  query.FCommunity = Utf8ToCp1252(aSettings.Community);
  query.FPDUType = aPduType;
  AddNotification(query, aSettings);
  return snmp;
}

void SetV3Credentials(TSNMPRec& aRec, const TTestTrapSettings& aSettings) {
  aRec.FVersion = 3;
  aRec.FUserName = Utf8ToCp1252(aSettings.UserName);
  aRec.FPassword = Utf8ToCp1252(aSettings.UserPwd);
  aRec.FPrivPassword = Utf8ToCp1252(aSettings.PrivPwd);
  aRec.FAuthMode = aSettings.AuthMode;
  aRec.FPrivMode = aSettings.PrivMode;
}

// One exchange: the endpoint's query sent, then tries until a datagram comes
// that aAccept takes (decoded into the endpoint's reply), the same bytes
// again after each time-out.
class TExchange {
 public:
  TExchange(TSNMPSend& aSnmp, const TInformOptions& aOptions) : fSnmp(aSnmp), fOptions(aOptions) {}

  // Empty when an answer came; else why not.
  template <typename TAccept>
  std::string Run(TAccept aAccept) {
    if (!fSnmp.SendTrap())
      return "cannot send to " + fSnmp.FTargetHost + ":" + fSnmp.FTargetPort;
    const std::string sent = fSnmp.FBuffer;
    std::uint16_t port = 0;
    ParsePortText(fSnmp.FTargetPort, port);
    const TSocketAddress to = ResolveAddress(fSnmp.FTargetHost, port, TSockType::eDatagram);
    for (int attempt = 0; attempt <= fOptions.Retries; ++attempt) {
      if (attempt > 0)
        fSnmp.Sock().SendTo(sent, to);
      if (Await(aAccept))
        return {};
    }
    return "no answer from " + fSnmp.FTargetHost + ":" + fSnmp.FTargetPort + " after " +
           std::to_string(fOptions.Retries + 1) + " tries";
  }

 private:
  template <typename TAccept>
  bool Await(TAccept& aAccept) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(fOptions.TimeoutMs);
    std::string buffer(kMaxDatagram, '\0');
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0 || !fSnmp.Sock().WaitReadable(static_cast<int>(left)))
        return false;
      TSocketAddress from;
      const std::size_t n = fSnmp.Sock().ReceiveFrom(buffer.data(), buffer.size(), from);
      const std::string_view bytes(buffer.data(), n);
      try {
        if (fSnmp.Reply().DecodeBuf(bytes) && aAccept(fSnmp.Reply(), bytes))
          return true;
      } catch (const std::exception&) {
        // Not an answer of ours: wait on.
      }
    }
  }

  TSNMPSend& fSnmp;
  const TInformOptions& fOptions;
};

std::string InformV2c(const TTestTrapSettings& aSettings, const TInformOptions& aOptions) {
  const auto snmp = NewV2cEndpoint(aSettings, kPduInformRequest);
  const std::int32_t id = snmp->Query().FID;
  TExchange exchange(*snmp, aOptions);
  std::string why = exchange.Run([&](const TSNMPRec& aReply, std::string_view) {
    return aReply.FVersion == 1 && aReply.FPDUType == kPduResponse && aReply.FID == id;
  });
  if (why.empty() && snmp->Reply().FErrorStatus != 0)
    why = "the receiver answered with error-status " + std::to_string(snmp->Reply().FErrorStatus);
  return why;
}

std::string InformV3(const TTestTrapSettings& aSettings, const TInformOptions& aOptions) {
  std::string engineId = aSettings.EngineId;
  std::int32_t boots = 0;
  std::int32_t time = 0;
  if (engineId.empty()) {
    // Discovery: an empty, unauthenticated request the receiver reports on.
    const auto probe = NewEndpoint(aSettings);
    TSNMPRec& q = probe->Query();
    q.FVersion = 3;
    q.FFlags = TV3Flags::NoAuthNoPriv;
    q.FFlagReportable = true;
    q.FPDUType = kPduGetRequest;
    TExchange exchange(*probe, aOptions);
    const std::string why = exchange.Run([](const TSNMPRec& aReply, std::string_view) {
      return aReply.FVersion == 3 && aReply.FPDUType == kPduReport && !aReply.FAuthEngineID.empty();
    });
    if (!why.empty())
      return "engine discovery: " + why;
    engineId = probe->Reply().FAuthEngineID;
    boots = probe->Reply().FAuthEngineBoots;
    time = probe->Reply().FAuthEngineTime;
  }
  // The inform; a report that its time was off is answered once with the
  // time the report brings.
  for (int round = 0; round < 2; ++round) {
    const auto snmp = NewEndpoint(aSettings);
    TSNMPRec& query = snmp->Query();
    SetV3Credentials(query, aSettings);
    query.FFlags = aSettings.Flags;
    query.FFlagReportable = true;
    query.FPDUType = kPduInformRequest;
    query.FAuthEngineID = engineId;
    query.FAuthEngineBoots = boots;
    query.FAuthEngineTime = time;
    AddNotification(query, aSettings);
    SetV3Credentials(snmp->Reply(), aSettings);
    const std::int32_t id = query.FID;
    TExchange exchange(*snmp, aOptions);
    std::string why = exchange.Run([&](const TSNMPRec& aReply, std::string_view aBytes) {
      if (aReply.FVersion != 3)
        return false;
      // A report may come unauthenticated (the receiver could not check us);
      // a Response must be authentic, at our level.
      if (aReply.FPDUType == kPduReport)
        return true;
      return aReply.FPDUType == kPduResponse && aReply.FID == id &&
             aReply.FFlags == aSettings.Flags &&
             (aReply.FFlags == TV3Flags::NoAuthNoPriv ||
              VerifyAuthentication(aBytes, aSettings.AuthMode, query.FPassword));
    });
    if (!why.empty())
      return why;
    const TSNMPRec& reply = snmp->Reply();
    if (reply.FPDUType == kPduReport) {
      const bool timeOff =
          reply.MIBCount() > 0 && reply.MIBByIndex(0)->FOID == kUsmStatsNotInTimeWindows;
      if (round == 0 && timeOff) {
        boots = reply.FAuthEngineBoots;
        time = reply.FAuthEngineTime;
        continue;
      }
      return ReportText(reply);
    }
    if (reply.FErrorStatus != 0)
      return "the receiver answered with error-status " + std::to_string(reply.FErrorStatus);
    return {};
  }
  return "not in the time window";
}

}  // namespace

bool SendTestTrapV2c(const TTestTrapSettings& aSettings) {
  return NewV2cEndpoint(aSettings, kPduTrapV2)->SendTrap();
}

std::string SendTestInform(const TTestTrapSettings& aSettings, int aVersion,
                           const TInformOptions& aOptions) {
  return aVersion == 3 ? InformV3(aSettings, aOptions) : InformV2c(aSettings, aOptions);
}

}  // namespace tavo
