#include "recipients/RecipientSnmpTrap.h"

#include <exception>
#include <optional>

#include "config/SystemUtils.h"
#include "messages/MsgClasses.h"
#include "platform/Clock.h"
#include "platform/TextCodec.h"
#include "platform/TextUtils.h"
#include "snmp/SnmpEndpoint.h"
#include "snmp/SnmpMessage.h"

namespace tavo {
namespace {

const char* const kEnterprise = "1.3.6.4.1.52814.8423.0";
const char* const kOidMsgId = "1.3.6.4.1.52814.8423.1";
const char* const kOidSubject = "1.3.6.4.1.52814.8423.2";
const char* const kOidText = "1.3.6.4.1.52814.8423.3";
constexpr std::int32_t kGenericEnterpriseSpecific = 6;
constexpr std::int32_t kSpecificTrap = 8423;
constexpr std::int32_t kTagInteger = 0x02;
constexpr std::int32_t kTagOctetString = 0x04;
constexpr std::uint32_t kMsgSendTrapException = 0x03010A;

}  // namespace

bool TRecipientSnmpTrapV1::Init(const TStringList& aCfg) {
  bool valid = true;
  fsHost = UnquoteText(ItemValue(aCfg, "Host"), '"');
  if (fsHost.empty()) {
    TMsg::Error("Recipient \"%s\" missing definition \"%s\"!", {Name(), "Host"});
    valid = false;
  }
  const std::string port = ItemValue(aCfg, "Port");
  fiPort = port.empty() ? 162 : TryStrToInt(port).value_or(-1);
  // A port beyond 16 bits could never be sent to: refused like one below 1.
  if (fiPort < 1 || fiPort > 65535) {
    TMsg::Error("Recipient \"%s\" invalid definition \"%s\"!", {Name(), "Port"});
    valid = false;
  }
  fsCommunity = ItemValue(aCfg, "Community");
  if (fsCommunity.empty())
    fsCommunity = "public";
  if (valid) {
    TMsg::Info("Recipient \"%s\": Host=%s:%d; Community=%s", {Name(), fsHost, fiPort, fsCommunity});
  }
  return valid;
}

void TRecipientSnmpTrapV1::Report(const std::string& aText) {
  if (Utf16Length(aText) > kMaxReportLength) {
    TMsg::Error("Message length for \"%s\" > %d!", {Name(), kMaxReportLength});
    return;
  }
  // The console's test report carries no id line: it goes out as id 999.
  const std::string text = aText.rfind("Test Report", 0) == 0 ? "999\r\n" + aText : aText;
  TStringList lines = SplitTextLines(text);

  std::int32_t id = 0;
  std::string subject;
  std::string body;
  const std::optional<std::int32_t> first =
      lines.empty() ? std::nullopt : TryStrToInt(TrimLeftText(lines.front()));
  if (first) {
    id = *first;
    subject = lines.size() > 1 ? lines[1] : "No subject";
    for (std::size_t i = 2; i < lines.size(); ++i)
      body += lines[i] + "\r\n";
    if (lines.size() <= 2)
      body = "No text";
  }
  if (id <= 0) {
    TMsg::Error("No or invalid message id in \"%s\": %s", {Name(), aText});
    return;
  }
  SendReportTrap(id, subject, body);
}

void TRecipientSnmpTrapV1::SendReportTrap(std::int32_t aId, const std::string& aSubject,
                                          const std::string& aText) {
  TMsg::Hint("Send \"%s\" to \"%s\" subject: \"%s\"", {Name(), fsHost, aSubject});
  try {
    TSNMPSend snmp;
    snmp.FTargetHost = fsHost;
    snmp.FTargetPort = std::to_string(fiPort);
    TSNMPRec& query = snmp.Query();
    query.FVersion = 0;
    query.FPDUType = kPduTrapV1;
    query.FCommunity = Utf8ToCp1252(fsCommunity);
    query.FOldTrapHost = GetLocalIpAddress();
    query.FOldTrapEnterprise = kEnterprise;
    query.FOldTrapGen = kGenericEnterpriseSpecific;
    query.FOldTrapSpec = kSpecificTrap;
    // Milliseconds, not the hundredths SNMP means: managers of this product expect it.
    query.FOldTrapTimeTicks = TickCount32();
    query.MibAdd2(kOidMsgId, std::to_string(aId), kTagInteger);
    query.MibAdd2(kOidSubject, aSubject, kTagOctetString);
    query.MibAdd2(kOidText, aText, kTagOctetString);
    snmp.SendTrap();  // fire-and-forget: the outcome is not looked at
  } catch (const std::exception& e) {
    TMsg::Trace(std::string("Exception in SNMP send trap: ") + e.what(),
                TMsgId(kMsgSendTrapException));
  }
}

}  // namespace tavo
