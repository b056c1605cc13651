#include "snmp/TrapAdmission.h"

#include <algorithm>

#include "messages/MsgClasses.h"
#include "platform/TextCodec.h"
#include "platform/TextUtils.h"
#include "snmp/SnmpSecurity.h"

namespace tavo {
namespace {

// Bytes of a refused sender's engine ID shown in its Trace line.
constexpr std::size_t kShownEngineIdBytes = 32;

const char* LevelName(TV3Flags aFlags) {
  switch (aFlags) {
    case TV3Flags::AuthNoPriv:
      return "AuthNoPriv";
    case TV3Flags::AuthPriv:
      return "AuthPriv";
    default:
      return "NoAuthNoPriv";
  }
}

// A configured text against the 8-bit text of a message: the system sends
// and expects Windows-1252, other senders (net-snmp on Linux) UTF-8.
// Every datagram is held against every user's name, so the conversion runs
// only for a name outside ASCII, which it leaves as it is.
bool SameConfiguredText(const std::string& aReceived, const std::string& aConfigured) {
  if (aReceived == aConfigured)
    return true;
  const bool ascii = std::all_of(aConfigured.begin(), aConfigured.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  return !ascii && aReceived == Utf8ToCp1252(aConfigured);
}

std::string Received(const std::string& aBytes) {
  return CutReceivedText(ReceivedTextToUtf8(aBytes));
}

std::string ShownEngineID(const TSNMPRec& aRec) {
  std::string engine = HexText(std::string_view(aRec.FAuthEngineID).substr(0, kShownEngineIdBytes));
  if (aRec.FAuthEngineID.size() > kShownEngineIdBytes)
    engine += "\xE2\x80\xA6";
  return engine;
}

void TraceRefusal(const TSNMPRec& aRec) {
  const std::string engine = ShownEngineID(aRec);
  TMsg::Trace("SNMPv3 trap refused: EngineID=%s, User=\"%s\", SecurityLevel=%s",
              {engine, Received(aRec.FUserName), LevelName(aRec.FFlags)});
}

}  // namespace

std::string CutReceivedText(const std::string& aText, std::size_t aUnits) {
  if (Utf16Length(aText) <= aUnits)
    return aText;
  return Utf16Left(aText, aUnits) + "\xE2\x80\xA6";
}

TAdmissionVerdict Admit(const TTrapCredentials& aCredentials, const TSNMPRec& aRec,
                        std::string_view aBytes) {
  TAdmissionVerdict v;
  switch (aRec.FVersion) {
    case 0:
      if (aCredentials.Community.empty()) {
        v.Verdict = TAdmission::eV1Disabled;
      } else if (!SameConfiguredText(aRec.FCommunity, aCredentials.Community)) {
        v.Verdict = TAdmission::eBadCommunity;
      }
      return v;
    case 1:
      if (!aCredentials.AcceptV2c) {
        v.Verdict = TAdmission::eBadVersion;
      } else if (aCredentials.Community.empty() ||
                 !SameConfiguredText(aRec.FCommunity, aCredentials.Community)) {
        v.Verdict = TAdmission::eV2cBadCommunity;
      } else if (aRec.FPDUType != kPduTrapV2 &&
                 !(aRec.FPDUType == kPduInformRequest && aCredentials.AnswerInforms)) {
        v.Verdict = TAdmission::eV2cBadPdu;
      }
      return v;
    case 3: {
      if (aRec.FFlags == TV3Flags::NoAuthNoPriv) {
        v.Verdict = TAdmission::eNoAuth;
        return v;
      }
      TV3Auth authMode = aCredentials.AuthMode;
      const std::string* password = &aCredentials.UserPwd;
      if (!SameConfiguredText(aRec.FUserName, aCredentials.UserName)) {
        const auto user = std::find_if(
            aCredentials.MoreUsers.begin(), aCredentials.MoreUsers.end(),
            [&](const TTrapUser& aUser) { return SameConfiguredText(aRec.FUserName, aUser.Name); });
        if (user == aCredentials.MoreUsers.end() ||
            (aRec.FFlags == TV3Flags::AuthPriv && !user->HasPrivacy)) {
          v.Verdict = TAdmission::eUnknownUser;
          return v;
        }
        v.User = &*user;
        authMode = user->AuthMode;
        password = &user->AuthPwd;
      }
      // The code is checked over the bytes as received, so authentic
      // messages of any sender pass, encrypted or not.
      try {
        if (!VerifyAuthentication(aBytes, authMode, Utf8ToCp1252(*password)))
          v.Verdict = TAdmission::eAuthFailed;
      } catch (const std::exception& e) {
        v.Verdict = TAdmission::eCannotVerify;
        v.Error = e.what();
      }
      return v;
    }
    default:
      v.Verdict = TAdmission::eBadVersion;
      return v;
  }
}

void ReportAdmission(const TAdmissionVerdict& aVerdict, const TSNMPRec& aRec) {
  switch (aVerdict.Verdict) {
    case TAdmission::eV1Disabled:
      TMsg::Hint("SNMPv1 disabled!");
      return;
    case TAdmission::eBadCommunity:
      TMsg::Hint("SNMPv1 trap packet width invalid community \"%s\" ignored!",
                 {Received(aRec.FCommunity)});
      return;
    case TAdmission::eV2cBadCommunity:
      TMsg::Hint("SNMPv2c trap packet with invalid community \"%s\" ignored!",
                 {Received(aRec.FCommunity)});
      return;
    case TAdmission::eV2cBadPdu:
      TMsg::Hint("SNMPv2c packet with PDU type %.2x ignored!",
                 {static_cast<std::int32_t>(aRec.FPDUType & 0xFF)});
      return;
    case TAdmission::eUnknownEngine:
      TMsg::Trace(aVerdict.Answered
                      ? "SNMPv3 message to an unknown engine ID: EngineID=%s, report sent"
                      : "SNMPv3 message to an unknown engine ID: EngineID=%s, not answered",
                  {ShownEngineID(aRec)});
      break;
    case TAdmission::eNotInTimeWindow:
      TMsg::Trace(aVerdict.Answered
                      ? "SNMPv3 message outside the engine's time window: EngineBoots=%d, "
                        "EngineTime=%d, report sent"
                      : "SNMPv3 message outside the engine's time window: EngineBoots=%d, "
                        "EngineTime=%d, not answered",
                  {aRec.FAuthEngineBoots, aRec.FAuthEngineTime});
      break;
    case TAdmission::eBadVersion:
      TMsg::Warning("SNMP trap packet version %d not supported", {aRec.FVersion});
      return;
    case TAdmission::eUnknownUser:
      if (aRec.FFlags == TV3Flags::AuthNoPriv) {
        TMsg::Error("Unknown authorisation\"%s\"!", {Received(aRec.FUserName)});
      } else {
        TMsg::Error("Unknown authorisation username \"%s\"!", {Received(aRec.FUserName)});
      }
      TraceRefusal(aRec);
      break;
    case TAdmission::eAuthFailed:
      TMsg::Error("Authentication failed!");
      TraceRefusal(aRec);
      break;
    case TAdmission::eOutsideTimeWindow:
      TMsg::Warning("SNMPv3 trap refused: outside the time window (EngineID=%s)",
                    {ShownEngineID(aRec)});
      break;
    case TAdmission::eCannotVerify:
      // As when the check itself failed on the main thread: a packet error.
      TMsg::Error("SNMP trap packet error: " + aVerdict.Error);
      return;
    case TAdmission::eNoAuth:
    case TAdmission::eAdmitted:
      break;
  }
  if (aRec.FVersion == 3 && aRec.FFlagReportable && !aVerdict.Answered)
    TMsg::Warning("SNMP trap reply not supported!");
}

bool TRefusalLimiter::Allow(TKind aKind, std::int64_t aNowMs) {
  if (!fbWindowOpen[aKind] || aNowMs - fWindowStart[aKind] >= 1000) {
    fbWindowOpen[aKind] = true;
    fWindowStart[aKind] = aNowMs;
    fiInWindow[aKind] = 0;
  }
  if (fiInWindow[aKind] < kPerSecond) {
    ++fiInWindow[aKind];
    return true;
  }
  ++fnNotLogged;
  return false;
}

std::uint64_t TRefusalLimiter::TakeNotLogged(std::int64_t aNowMs) {
  if (fnNotLogged == 0 || (fbReported && aNowMs - fLastReport < 1000))
    return 0;
  fbReported = true;
  fLastReport = aNowMs;
  const std::uint64_t n = fnNotLogged;
  fnNotLogged = 0;
  return n;
}

}  // namespace tavo
