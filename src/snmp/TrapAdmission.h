#pragma once
// Who may send Tavo traps: SNMPv1 messages with the configured community,
// SNMPv2c ones with it too when AcceptV2c is on (SNMPv2-Trap PDUs, and
// InformRequests when informs are answered), SNMPv3 messages of a configured user at AuthNoPriv or
// AuthPriv whose authentication code, computed over the bytes as received, is right. The user of
// [SnmpTrapReceiver] comes first; further users ([SnmpV3Users]) are looked up by name after it, the
// first of a name winning, and one without privacy fields is refused at AuthPriv as an unknown
// user. Admit() decides on a record decoded without decryption, so that nothing is decrypted for a
// sender that has not been authenticated; ReportAdmission then writes the lines the decision calls
// for. Admit runs on the receiver thread, ReportAdmission on the main thread. No sockets, no
// threads: both are plain functions of their inputs.
//
// TRefusalLimiter keeps refused datagrams from flooding the log: at most
// kPerSecond of each kind write their lines in any one second; the others
// are counted and reported once a second in one Warning.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "snmp/SnmpMessage.h"

namespace tavo {

enum class TAdmission {
  eAdmitted,
  eV1Disabled,       // SNMPv1 without a configured community
  eBadCommunity,     // SNMPv1 with another community
  eNoAuth,           // SNMPv3 NoAuthNoPriv: never admitted
  eUnknownUser,      // SNMPv3 from another user
  eAuthFailed,       // SNMPv3 with a wrong authentication code
  eCannotVerify,     // SNMPv3, but no key exists for the configured password
  eBadVersion,       // neither SNMPv1 nor SNMPv3 (nor SNMPv2c when accepted)
  eV2cBadCommunity,  // SNMPv2c with another community, or none configured
  eV2cBadPdu,        // SNMPv2c, neither a trap nor an inform that is answered
  // Set by the receiver when it answers SNMPv3 informs as an engine:
  eUnknownEngine,    // reportable, to an engine ID other than Tavo's
  eNotInTimeWindow,  // authentic, to Tavo's engine ID, outside its time window
  // SNMPv3, authentic, but its time lies outside the (trap) time window
  eOutsideTimeWindow,
};

// A further SNMPv3 user; the texts as configured (UTF-8).
struct TTrapUser {
  std::string Name;
  TV3Auth AuthMode = TV3Auth::AuthMD5;
  std::string AuthPwd;
  bool HasPrivacy = false;
  TV3Priv PrivMode = TV3Priv::PrivDES;
  std::string PrivPwd;
};

struct TAdmissionVerdict {
  TAdmission Verdict = TAdmission::eAdmitted;
  std::string Error;  // eCannotVerify: why
  // The admitted SNMPv3 user when it is one of MoreUsers; null for the
  // user of [SnmpTrapReceiver].
  const TTrapUser* User = nullptr;
  // The receiver answers the message (a Response or a report): it gets no
  // "reply not supported" line.
  bool Answered = false;
};

struct TTrapCredentials {
  std::string Community;  // empty: SNMPv1 off
  std::string UserName;
  std::string UserPwd;
  TV3Auth AuthMode = TV3Auth::AuthMD5;
  std::vector<TTrapUser> MoreUsers;
  bool AcceptV2c = false;      // SNMPv2c admitted with Community
  bool AnswerInforms = false;  // SNMPv2c InformRequests admitted
};

TAdmissionVerdict Admit(const TTrapCredentials& aCredentials, const TSNMPRec& aRec,
                        std::string_view aBytes);

// The lines of a decision, after the message's received line: the Hint,
// Error or Warning that tells why it is refused, the Trace line naming a
// refused SNMPv3 sender, and for SNMPv3 the Warning that a reportable
// message gets no reply (unless it is answered). Received texts are cut to 128 UTF-16 code units.
void ReportAdmission(const TAdmissionVerdict& aVerdict, const TSNMPRec& aRec);

// aText cut to aUnits UTF-16 code units and marked with "…" when longer.
std::string CutReceivedText(const std::string& aText, std::size_t aUnits = 128);

class TRefusalLimiter {
 public:
  static constexpr int kPerSecond = 10;
  enum TKind { eRefused = 0, ePacketError = 1 };

  // Whether a datagram of aKind at aNowMs (a monotonic clock) may write its
  // lines; one that may not is counted.
  bool Allow(TKind aKind, std::int64_t aNowMs);
  // The datagrams not logged, once a second: their count when some are
  // waiting and a second has passed since the last report (the count then
  // starts again), else 0.
  std::uint64_t TakeNotLogged(std::int64_t aNowMs);
  // Some are waiting to be reported.
  bool Pending() const { return fnNotLogged > 0; }

 private:
  bool fbWindowOpen[2] = {false, false};
  std::int64_t fWindowStart[2] = {0, 0};
  int fiInWindow[2] = {0, 0};
  std::uint64_t fnNotLogged = 0;
  bool fbReported = false;
  std::int64_t fLastReport = 0;
};

}  // namespace tavo
