#include "snmp/SnmpTrapReceiver.h"

#include <algorithm>

#include "messages/MsgClasses.h"
#include "platform/MainThread.h"
#include "platform/Memory.h"
#include "platform/Socket.h"
#include "platform/TextCodec.h"
#include "platform/ThreadPriority.h"
#include "snmp/SnmpEndpoint.h"
#include "snmp/TrapDatagramQueue.h"
#include "snmp/TrapTimeWindow.h"

namespace tavo {
namespace {

// How often the threads look at a stop request while they wait.
constexpr int kStopPollMs = 200;
// A port that is taken is tried again after this long.
constexpr auto kBindRetry = std::chrono::seconds(1);
// Datagrams read with one system call.
constexpr std::size_t kReadBatch = 64;
// After draining the socket the reader pauses this long, so that a stream
// of traps is taken up in batches rather than with a wake-up per datagram;
// the socket buffer holds what arrives meanwhile.
constexpr auto kReadPause = std::chrono::milliseconds(4);
constexpr std::size_t kMaxDatagram = 65536;
// The reader's nice value, when the system grants it.
constexpr int kReaderNice = -10;
// A queue that was this deep and has drained leaves megabytes of freed
// memory behind; it goes back to the system.
constexpr std::size_t kReleaseAfterDepth = 2000;

}  // namespace

// What exists while the thread runs: the listening endpoint and the
// socket's reader thread.
struct TSnmpTrapReceiver::TEndpoint {
  TSNMPSend Snmp;
  std::thread Reader;
};

// One message of a batch: the endpoint it was received in (the datagram as
// received, its sender, the record it is decoded into) and what the
// receiver thread found out about it.
struct TSnmpTrapReceiver::TReceived {
  TSNMPSend Snmp;
  bool Decoded = false;  // a message at all: it gets lines
  bool Logged = true;    // false: refused beyond the limit, no lines
  TAdmissionVerdict Verdict;
  std::string Error;  // why it could not be decoded
  TSenderAddress From;
  bool Answer = false;  // an inform to answer with a Response
  bool Repeat = false;  // a retransmission of one answered: not dispatched again
  std::string Report;   // a report to send, when not empty
};

TSnmpTrapReceiver::TSnmpTrapReceiver(std::string aHost, std::uint16_t aPort, std::string aCommunity,
                                     std::string aUserName, std::string aUserPwd,
                                     std::string aPrivacyPwd)
    : fsHost(std::move(aHost)), fwPort(aPort), fsPrivacyPwd(std::move(aPrivacyPwd)) {
  fCredentials.Community = std::move(aCommunity);
  fCredentials.UserName = std::move(aUserName);
  fCredentials.UserPwd = std::move(aUserPwd);
}

TSnmpTrapReceiver::~TSnmpTrapReceiver() {
  Terminate();
  if (fThread.joinable())
    fThread.join();
}

void TSnmpTrapReceiver::Start() {
  if (fThread.joinable())
    return;
  fCredentials.AuthMode = AuthMode;
  fCredentials.MoreUsers = MoreUsers;
  fCredentials.AcceptV2c = AcceptV2c;
  fCredentials.AnswerInforms = AnswerInforms;
  if (AnswerInforms && Engine)
    fEngine = TSnmpEngine{*Engine, NowMs()};
  if (TimeWindow > 0)
    fTimeWindow = std::make_unique<TTrapTimeWindow>(TimeWindow);
  fQueue = std::make_unique<TTrapDatagramQueue>(QueueLimit, QueueByteLimit);
  fThread = std::thread([this] { Execute(); });
}

void TSnmpTrapReceiver::Terminate() {
  fbTerminated = true;
  if (fQueue)
    fQueue->Stop();
}

std::int64_t TSnmpTrapReceiver::NowMs() const {
  if (SteadyMs)
    return SteadyMs();
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void TSnmpTrapReceiver::Execute() {
  try {
    fSnmp = std::make_unique<TEndpoint>();
    if (OnEndpointSetup)
      OnEndpointSetup();
    if (!MainThread())
      throw Exception("no main thread to hand traps to");
    fSnmp->Snmp.Sock().Open(TAddressFamily::eIPv4);
    fSnmp->Snmp.Sock().SetReceiveBuffer(kReceiveBufferBytes);
    fbHasEndpoint = true;
    fSnmp->Reader = std::thread([this] { ReaderLoop(); });
    while (!fbTerminated) {
      try {
        const std::size_t n = ReceiveBatch();
        const std::uint64_t dropped = TakeDrops();
        const std::uint64_t notLogged = fLimiter.TakeNotLogged(NowMs());
        if (n > 0 || dropped > 0 || notLogged > 0)
          SynchronizeMain([&] { HandleBatch(n, notLogged, dropped); });
        // After the dispatch: an inform is acknowledged once it is counted.
        if (AnswerInforms)
          SendAnswers(n);
        for (std::size_t i = 0; i < n; ++i)
          fQueue->GiveBack(std::move(fBatch[i]->Snmp.FBuffer));
        if (fQueue->DrainedFrom(kReleaseAfterDepth))
          ReleaseFreeMemory();
      } catch (const EShutdown&) {
        break;
      } catch (const std::exception& e) {
        fsLastError = e.what();
        try {
          SynchronizeMain([this] { TMsg::Error("SNMP trap packet error: " + fsLastError); });
        } catch (const EShutdown&) {
          break;
        } catch (...) {
          // Reporting failed; the next datagram is more important.
        }
        fsLastError.clear();
      }
    }
  } catch (const EShutdown&) {
  } catch (const std::exception& e) {
    fsLastError = std::string("SNMP receiver exception: ") + e.what();
  }
  try {
    SynchronizeMain([this] { SignalDone(); });
  } catch (...) {
    // Shutting down: nobody listens any more.
  }
  Terminate();  // the reader stops with us
  if (fSnmp && fSnmp->Reader.joinable())
    fSnmp->Reader.join();
  fbHasEndpoint = false;
  if (fSnmp)
    fSnmp->Snmp.Sock().Close();
  fbFinished = true;
}

// The reader thread: binds the socket (again and again while the port is
// taken) and moves every datagram into the queue at once.
void TSnmpTrapReceiver::ReaderLoop() {
  // Under a burst this thread must win the processor from the others, or
  // the kernel drops what its buffer cannot hold.
  SetCurrentThreadNice(kReaderNice);
  TUdpBatchReader reader(kReadBatch, kMaxDatagram);
  TUdpSocket& sock = fSnmp->Snmp.Sock();
  bool bound = false;
  auto nextBind = std::chrono::steady_clock::now();
  while (!fbTerminated) {
    try {
      if (!bound) {
        if (std::chrono::steady_clock::now() >= nextBind) {
          try {
            sock.BindOpen(BindAddress, fwPort);
            bound = true;
            fwBoundPort = sock.LocalPort();
          } catch (const EOSError&) {
            nextBind = std::chrono::steady_clock::now() + kBindRetry;
          }
        }
        if (!bound) {
          fQueue->WaitForStop(std::chrono::milliseconds(kStopPollMs));
          continue;
        }
      }
      if (!sock.WaitReadable(kStopPollMs))
        continue;
      // Everything waiting, in batches; then, unless a burst is being taken
      // up, a short pause, so a stream of traps is taken up in batches too.
      std::size_t drained = 0;
      std::uint64_t dropped = 0;
      for (;;) {
        const std::size_t n = reader.Read(sock);
        if (n == 0)
          break;
        drained += n;
        dropped += fQueue->PushBatch(reader, n);
      }
      if (dropped)
        fnDroppedTotal += dropped;
      // A full queue is a flood: read (and drop) in batches too, rather than
      // take the processor from the threads that empty the queue.
      if (drained < kReadBatch || dropped)
        std::this_thread::sleep_for(kReadPause);
    } catch (const std::exception&) {
      // Socket errors are not reported; the loop simply goes on.
    }
  }
}

std::size_t TSnmpTrapReceiver::ReceiveBatch() {
  // While refusals or drops wait to be reported, wake up in time for their
  // Warning.
  const bool pending = fLimiter.Pending() || fQueue->Dropped() != fnDroppedReported;
  const int waitMs = pending ? std::min(Timeout, 1000) : Timeout;
  const std::size_t n =
      fQueue->Take(fTaken, kMaxBatch, kMaxBatchBytes, std::chrono::milliseconds(waitMs));
  for (std::size_t i = 0; i < n; ++i) {
    if (fBatch.size() <= i) {
      auto slot = std::make_unique<TReceived>();
      TSNMPRec& r = slot->Snmp.Reply();
      r.FAuthMode = AuthMode;
      r.FPrivMode = PrivMode;
      r.FPrivPassword = Utf8ToCp1252(fsPrivacyPwd);
      r.FKeepRawBindings = AnswerInforms;
      fBatch.push_back(std::move(slot));
    }
    Prepare(*fBatch[i], fTaken[i]);
  }
  return n;
}

void TSnmpTrapReceiver::Prepare(TReceived& aMessage, TTrapDatagram& aDatagram) {
  aMessage.Decoded = false;
  aMessage.Logged = true;
  aMessage.Verdict = TAdmissionVerdict();
  aMessage.Error.clear();
  aMessage.From = aDatagram.From;
  aMessage.Answer = false;
  aMessage.Repeat = false;
  aMessage.Report.clear();
  TSNMPSend& ep = aMessage.Snmp;
  TSNMPRec& r = ep.Reply();
  // A record keeps its request-id when it is cleared: an SNMPv1 trap, which
  // carries none, shows the last one seen.
  r.FID = fiLastRequestId;
  ep.FBuffer = std::move(aDatagram.Data);
  if (ep.FBuffer.empty()) {
    ep.FHostIP = "0.0.0.0";
  } else {
    if (fsLastSenderHost.empty() || !(aDatagram.From == fLastSender)) {
      fLastSender = aDatagram.From;
      fsLastSenderHost = aDatagram.From.Host();
    }
    ep.FHostIP = fsLastSenderHost;
  }
  bool admitted = false;
  try {
    // Nothing is decrypted before the sender is authenticated.
    if (ep.FBuffer.empty() || !r.DecodeBuf(ep.FBuffer, false)) {
      r.Clear();
      return;
    }
    aMessage.Decoded = true;
    aMessage.Verdict = Admit(fCredentials, r, ep.FBuffer);
    if (fEngine && r.FVersion == 3)
      CheckAsEngine(aMessage);
    // Messages to Tavo's own engine keep to its window above; the
    // TimeWindow is for the senders' engines.
    if (aMessage.Verdict.Verdict == TAdmission::eAdmitted && fTimeWindow && r.FVersion == 3 &&
        !(fEngine && r.FAuthEngineID == fEngine->State.EngineId) &&
        !fTimeWindow->Accept(r.FAuthEngineID, r.FAuthEngineBoots, r.FAuthEngineTime, NowMs())) {
      aMessage.Verdict.Verdict = TAdmission::eOutsideTimeWindow;
    }
    if (aMessage.Verdict.Verdict == TAdmission::eAdmitted) {
      admitted = true;
      if (r.FFlags == TV3Flags::AuthPriv) {
        // The slot's record may last have served another user.
        const TTrapUser* user = aMessage.Verdict.User;
        r.FAuthMode = user ? user->AuthMode : AuthMode;
        r.FPrivMode = user ? user->PrivMode : PrivMode;
        r.FPrivPassword = Utf8ToCp1252(user ? user->PrivPwd : fsPrivacyPwd);
        aMessage.Decoded = r.DecodeBuf(ep.FBuffer, true);
      }
      // SNMPv3 informs only to Tavo's engine: to another one they were
      // reported above when reportable, and are traps otherwise.
      if (AnswerInforms && aMessage.Decoded && r.FPDUType == kPduInformRequest &&
          (r.FVersion == 1 ||
           (fEngine && r.FVersion == 3 && r.FAuthEngineID == fEngine->State.EngineId))) {
        aMessage.Answer = true;
        aMessage.Verdict.Answered = true;
        const std::string key = TInformReplayCache::Key(r, aDatagram.From.Address().ToString());
        const std::int64_t now = NowMs();
        aMessage.Repeat = fReplays.Seen(key, now);
        if (!aMessage.Repeat)
          fReplays.Remember(key, now);
      }
    } else {
      aMessage.Logged = fLimiter.Allow(aMessage.Verdict.Verdict == TAdmission::eCannotVerify
                                           ? TRefusalLimiter::ePacketError
                                           : TRefusalLimiter::eRefused,
                                       NowMs());
    }
  } catch (const std::exception& e) {
    aMessage.Decoded = true;
    aMessage.Error = e.what();
    aMessage.Logged = admitted || fLimiter.Allow(TRefusalLimiter::ePacketError, NowMs());
  }
  fiLastRequestId = r.FID;
}

bool TSnmpTrapReceiver::AllowReport(std::int64_t aNowMs) {
  if (aNowMs - fReportWindowStart >= 1000 || aNowMs < fReportWindowStart) {
    fReportWindowStart = aNowMs;
    fiReportsInWindow = 0;
  }
  if (fiReportsInWindow >= kMaxReports)
    return false;
  ++fiReportsInWindow;
  return true;
}

// RFC 3414 3.2 as the authoritative engine: a reportable message to
// another engine ID is answered with Tavo's engine ID (discovery) before
// anything is checked; one to Tavo's engine ID that has passed the user
// and code is held to the time window. Nothing else is reported.
void TSnmpTrapReceiver::CheckAsEngine(TReceived& aMessage) {
  TSNMPRec& r = aMessage.Snmp.Reply();
  const std::int64_t now = NowMs();
  // Echoed fields longer than RFC 3411 allows get no report: none is
  // larger than what it answers.
  const bool echoable = r.FUserName.size() <= kMaxEngineIdBytes &&
                        r.FContextEngineID.size() <= kMaxEngineIdBytes &&
                        r.FContextName.size() <= kMaxEngineIdBytes;
  if (r.FAuthEngineID != fEngine->State.EngineId) {
    if (!r.FFlagReportable)
      return;
    aMessage.Verdict = TAdmissionVerdict();
    aMessage.Verdict.Verdict = TAdmission::eUnknownEngine;
    if (echoable && AllowReport(now)) {
      aMessage.Report = EncodeReport(r, *fEngine, now, kUsmStatsUnknownEngineIDs,
                                     ++fnUnknownEngineReports, r.FFlags != TV3Flags::AuthPriv);
      aMessage.Verdict.Answered = true;
    }
    return;
  }
  if (aMessage.Verdict.Verdict != TAdmission::eAdmitted || InTimeWindow(*fEngine, r, now))
    return;
  const TTrapUser* user = aMessage.Verdict.User;
  aMessage.Verdict.Verdict = TAdmission::eNotInTimeWindow;
  if (r.FFlagReportable && echoable && AllowReport(now)) {
    aMessage.Report =
        EncodeReport(r, *fEngine, now, kUsmStatsNotInTimeWindows, ++fnNotInTimeWindowReports,
                     r.FFlags != TV3Flags::AuthPriv, user ? user->AuthMode : AuthMode,
                     Utf8ToCp1252(user ? user->AuthPwd : fCredentials.UserPwd));
    aMessage.Verdict.Answered = true;
  }
}

void TSnmpTrapReceiver::SendAnswers(std::size_t aCount) {
  TUdpSocket& sock = fSnmp->Snmp.Sock();
  for (std::size_t i = 0; i < aCount; ++i) {
    TReceived& m = *fBatch[i];
    try {
      if (!m.Report.empty())
        sock.SendTo(m.Report, m.From.Address());
      if (!m.Answer)
        continue;
      TSNMPRec& r = m.Snmp.Reply();
      if (r.FVersion == 3) {
        // The user the message was admitted as (privacy was set for its
        // decryption).
        const TTrapUser* user = m.Verdict.User;
        r.FAuthMode = user ? user->AuthMode : AuthMode;
        r.FPassword = Utf8ToCp1252(user ? user->AuthPwd : fCredentials.UserPwd);
      }
      sock.SendTo(EncodeInformResponse(r, fEngine ? &*fEngine : nullptr, NowMs()),
                  m.From.Address());
    } catch (const std::exception&) {
      // A send that fails is lost like a datagram on the way; the sender
      // retries.
    }
  }
}

void TSnmpTrapReceiver::HandleBatch(std::size_t aCount, std::uint64_t aNotLogged,
                                    std::uint64_t aDropped) {
  for (std::size_t i = 0; i < aCount; ++i) {
    try {
      HandleMessage(*fBatch[i]);
    } catch (const EShutdown&) {
      throw;
    } catch (const std::exception& e) {
      // Its line comes right after the message's own; the next goes on.
      TMsg::Error(std::string("SNMP trap packet error: ") + e.what());
    }
  }
  if (aNotLogged > 0)
    TMsg::Warning("SNMP trap receiver: %d refused datagram(s) not logged", {aNotLogged});
  if (aDropped > 0)
    TMsg::Warning("SNMP trap receiver queue full: %d datagram(s) dropped", {aDropped});
}

void TSnmpTrapReceiver::HandleMessage(TReceived& aMessage) {
  fCurrent = &aMessage;
  if (!aMessage.Decoded || !aMessage.Logged)
    return;
  if (!aMessage.Error.empty()) {
    TMsg::Error("SNMP trap packet error: " + aMessage.Error);
    return;
  }
  const TSNMPRec& r = aMessage.Snmp.Reply();
  TMsg::Trace(
      "SNMP trap packet received from %s: Version=%d, RequestId=%d, ErrorStatus=%d, "
      "ErrorIndex=%d, MIBs=%d",
      {aMessage.Snmp.FHostIP, r.FVersion, r.FID, r.FErrorStatus, r.FErrorIndex, r.MIBCount()});
  ReportAdmission(aMessage.Verdict, r);
  if (aMessage.Verdict.Verdict != TAdmission::eAdmitted)
    return;
  if (aMessage.Repeat) {
    TMsg::Trace("SNMP inform retransmission answered again, not counted again");
    return;
  }
  const TMsgClass* dispatcher = TMsgClass::Singleton();
  if (dispatcher && dispatcher->Level == eDebug) {
    for (int i = 0; i < r.MIBCount(); ++i)
      TMsg::Debug(MibRecord(static_cast<std::uint16_t>(i)));
  }
  if (OnData)
    OnData(this);
}

void TSnmpTrapReceiver::SignalDone() {
  if (OnDone)
    OnDone(fsLastError);
}

std::uint64_t TSnmpTrapReceiver::TakeDrops() {
  // The queue's own count: it drops under the lock that Take holds, so a
  // batch taken after a drop always sees it (the reader adds to
  // fnDroppedTotal only when it has drained the socket).
  const std::uint64_t total = fQueue->Dropped();
  if (total == fnDroppedReported)
    return 0;
  const std::int64_t now = NowMs();
  if (fnDroppedReported != 0 && now - fLastDropWarning < 1000)
    return 0;
  const std::uint64_t n = total - fnDroppedReported;
  fnDroppedReported = total;
  fLastDropWarning = now;
  return n;
}

int TSnmpTrapReceiver::MibCount() const {
  if (!fbHasEndpoint)
    return -1;
  return fCurrent ? fCurrent->Snmp.Reply().MIBCount() : 0;
}

int TSnmpTrapReceiver::Version() const {
  if (!fbHasEndpoint)
    return -1;
  return fCurrent ? fCurrent->Snmp.Reply().FVersion : 0;
}

std::string TSnmpTrapReceiver::MibOid(std::uint16_t aIndex) const {
  if (!fbHasEndpoint || !fCurrent)
    return {};
  const TSNMPMib* mib = fCurrent->Snmp.Reply().MIBByIndex(aIndex);
  return mib ? ReceivedTextToUtf8(mib->FOID) : std::string();
}

std::string TSnmpTrapReceiver::MibValue(const std::string& sOID) const {
  if (!fbHasEndpoint || !fCurrent)
    return {};
  return ReceivedTextToUtf8(fCurrent->Snmp.Reply().MIBGet(sOID));
}

std::string TSnmpTrapReceiver::MibRecord(std::uint16_t aIndex) const {
  if (!fbHasEndpoint || !fCurrent)
    return {};
  const TSNMPMib* mib = fCurrent->Snmp.Reply().MIBByIndex(aIndex);
  if (!mib)
    return {};
  return ReceivedTextToUtf8(mib->FOID) + " = " + ReceivedTextToUtf8(mib->FValue);
}

}  // namespace tavo
