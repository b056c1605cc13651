#pragma once
// The answers Tavo sends when it answers informs: the Response to an
// admitted InformRequest, and the two reports an authoritative SNMPv3
// engine owes a sender (RFC 3414): usmStatsUnknownEngineIDs, which tells a
// sender that discovers Tavo its engine ID, boots and time, and
// usmStatsNotInTimeWindows, which resynchronises one whose clock is off.
// No other report exists here: an unknown user, a wrong code or a bad
// ciphertext get no answer, so nothing can probe for users or reflect
// traffic off Tavo.
//
// Also the pieces the receiver keeps between messages: the engine's clock,
// the time window, and the record of answered informs that keeps a
// retransmission from being counted twice.
//
// Receiver thread only; no locks. Encoding throws ESnmpError as the codec
// does (an empty password).

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_set>

#include "snmp/SnmpEngine.h"
#include "snmp/SnmpMessage.h"

namespace tavo {

// The largest datagram UDP over IPv4 carries.
constexpr std::size_t kMaxUdpPayload = 65507;
// RFC 3414 3.2 step 7: the authoritative engine's window, in seconds.
constexpr std::int32_t kTimeWindowSeconds = 150;
constexpr std::int32_t kErrorTooBig = 1;

// The engine while it runs: its state and the monotonic millisecond at
// which this start's time began.
struct TSnmpEngine {
  TSnmpEngineState State;
  std::int64_t StartMs = 0;
  // Whole seconds since StartMs, at most 2147483647.
  std::int32_t TimeAt(std::int64_t aNowMs) const;
};

// Whether an authenticated message to this engine lies inside its time
// window: the same boots, a time at most kTimeWindowSeconds off, and boots
// below the limit.
bool InTimeWindow(const TSnmpEngine& aEngine, const TSNMPRec& aRec, std::int64_t aNowMs);

// The Response to the InformRequest decoded into aRec, which is changed
// into it: PDU 0xA2, the same request-id and bindings (aRec must have been
// decoded with FKeepRawBindings), error-status and error-index 0. SNMPv2c
// keeps the community; SNMPv3 is sent from aEngine at the message's
// security level and user, so aRec must carry the user's credentials
// (FAuthMode, FPassword; FPrivMode, FPrivPassword at AuthPriv). An answer
// longer than the sender's msgMaxSize (SNMPv3) or kMaxUdpPayload goes out
// as tooBig without bindings.
std::string EncodeInformResponse(TSNMPRec& aRec, const TSnmpEngine* aEngine, std::int64_t aNowMs);

// A report to the message decoded into aRec (which is left as it is):
// aOid = aCount as Counter32, from aEngine, echoing the msgID, request-id
// (0 when aRequestIdKnown is false: an encrypted PDU was not read),
// contextEngineID and contextName. usmStatsUnknownEngineIDs goes at
// NoAuthNoPriv; usmStatsNotInTimeWindows at AuthNoPriv with aAuthMode and
// aPassword (the user's, localised to aEngine's ID).
std::string EncodeReport(const TSNMPRec& aRec, const TSnmpEngine& aEngine, std::int64_t aNowMs,
                         const std::string& aOid, std::uint32_t aCount, bool aRequestIdKnown,
                         TV3Auth aAuthMode = TV3Auth::AuthMD5, const std::string& aPassword = {});

// Informs answered in the last kLifetimeMs, so that a retransmission (the
// same key) is answered again but not counted again. Bounded in entries and
// bytes; the oldest go first.
class TInformReplayCache {
 public:
  static constexpr std::int64_t kLifetimeMs = 30000;
  static constexpr std::size_t kMaxEntries = 10000;
  static constexpr std::size_t kMaxBytes = 1024 * 1024;

  // The key of an inform: SNMPv3 by engine ID, msgID, user and
  // request-id, SNMPv2c (which has neither engine nor msgID) by community
  // and request-id; both with the sender's address and port (aSender).
  static std::string Key(const TSNMPRec& aRec, const std::string& aSender);
  // aKey was remembered within the lifetime.
  bool Seen(const std::string& aKey, std::int64_t aNowMs);
  void Remember(const std::string& aKey, std::int64_t aNowMs);
  std::size_t Count() const { return fKeys.size(); }
  std::size_t Bytes() const { return fnBytes; }

 private:
  void Expire(std::int64_t aNowMs);
  struct TEntry {
    std::int64_t AtMs;
    std::string Key;
  };
  std::deque<TEntry> fOrder;
  std::unordered_set<std::string> fKeys;
  std::size_t fnBytes = 0;
};

}  // namespace tavo
