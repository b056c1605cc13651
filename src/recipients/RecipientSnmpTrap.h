#pragma once
// TRecipientSnmpTrapV1 forwards each report as one SNMPv1 trap to an SNMP
// manager: line 1 of the report is a positive message id, line 2 the
// subject, the rest the text. The trap goes out under the product's own
// enterprise 1.3.6.4.1.52814.8423.0 (generic 6, specific 8423) with three
// bindings: .1 the id (INTEGER), .2 the subject and .3 the text (OCTET
// STRINGs in Windows-1252). Fire-and-forget: one datagram, no answer, no
// retry; an unreachable manager goes unnoticed.
//
// Recipient line: Name=Type=SnmpTrapV1;Host=<host>[;Port=<1..65535>][;Community=<text>]
// ("Port" defaults to 162, an empty "Community" to "public").
//
// Main thread only: Report sends before it returns. Failures are reported
// through TMsg, never raised.

#include <cstdint>
#include <string>

#include "recipients/Recipients.h"

namespace tavo {

class TRecipientSnmpTrapV1 : public TRecipient {
 public:
  // Longest report accepted, in UTF-16 code units.
  static constexpr std::size_t kMaxReportLength = 1200;

  using TRecipient::TRecipient;

  bool Init(const TStringList& aCfg) override;
  void Report(const std::string& aText) override;

  const std::string& Host() const { return fsHost; }
  std::int32_t Port() const { return fiPort; }
  const std::string& Community() const { return fsCommunity; }

 private:
  void SendReportTrap(std::int32_t aId, const std::string& aSubject, const std::string& aText);

  std::string fsHost;
  std::int32_t fiPort = 162;
  std::string fsCommunity = "public";
};

}  // namespace tavo
