#include "snmp/SnmpTrapReceiver.h"

#include <algorithm>

#include "messages/MsgClasses.h"
#include "platform/MainThread.h"
#include "platform/Memory.h"
#include "platform/Socket.h"
#include "platform/TextCodec.h"
#include "platform/TextUtils.h"
#include "platform/ThreadPriority.h"
#include "snmp/SnmpEndpoint.h"
#include "snmp/SnmpSecurity.h"

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
constexpr auto kReadPause = std::chrono::milliseconds(1);
constexpr std::size_t kMaxDatagram = 65536;
// The reader's nice value, when the system grants it.
constexpr int kReaderNice = -10;
// Buffers of handled datagrams kept for reuse, and the largest kept.
constexpr std::size_t kMaxSpareBuffers = 1024;
constexpr std::size_t kSpareBufferBytes = 4096;
// A queue that was this deep and has drained leaves megabytes of freed
// memory behind; it goes back to the system.
constexpr std::size_t kReleaseAfterDepth = 2000;

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
bool SameConfiguredText(const std::string& aReceived, const std::string& aConfigured) {
  return aReceived == Utf8ToCp1252(aConfigured) || aReceived == aConfigured;
}

}  // namespace

// One datagram as received, with its sender's address in as little room as
// a full queue of them should take.
struct TSnmpTrapReceiver::Datagram {
  std::string Data;
  TSenderAddress From;

  Datagram() = default;
  // Takes a spare buffer when there is one: no allocation per datagram.
  Datagram(std::string_view aData, const SocketAddress& aFrom, std::vector<std::string>& aSpare) {
    if (!aSpare.empty()) {
      Data = std::move(aSpare.back());
      aSpare.pop_back();
    }
    Data.assign(aData);
    From = TSenderAddress(aFrom);
  }
};

// What exists while the thread runs: the SNMP endpoint (its socket, the
// record every datagram is decoded into as its reply, the datagram as
// received and its sender) and the socket's reader thread.
struct TSnmpTrapReceiver::Endpoint {
  TSNMPSend Snmp;
  std::thread Reader;
};

TSnmpTrapReceiver::TSnmpTrapReceiver(std::string aHost, std::uint16_t aPort, std::string aCommunity,
                                     std::string aUserName, std::string aUserPwd,
                                     std::string aPrivacyPwd)
    : fsHost(std::move(aHost)),
      fwPort(aPort),
      fsCommunity(std::move(aCommunity)),
      fsUserName(std::move(aUserName)),
      fsUserPwd(std::move(aUserPwd)),
      fsPrivacyPwd(std::move(aPrivacyPwd)) {}

TSnmpTrapReceiver::~TSnmpTrapReceiver() {
  Terminate();
  if (fThread.joinable())
    fThread.join();
}

void TSnmpTrapReceiver::Start() {
  if (fThread.joinable())
    return;
  fThread = std::thread([this] { Execute(); });
}

void TSnmpTrapReceiver::Terminate() {
  std::lock_guard lock(fQueueMutex);
  fbTerminated = true;
  fQueueReady.notify_all();
}

void TSnmpTrapReceiver::SynchronizeMain(const std::function<void()>& aProc) {
  IMainThread* main = MainThread();
  if (!main)
    throw EShutdown();
  main->Synchronize(aProc);
}

void TSnmpTrapReceiver::Execute() {
  try {
    fSnmp = std::make_unique<Endpoint>();
    TSNMPRec& reply = fSnmp->Snmp.Reply();
    reply.FAuthMode = AuthMode;
    reply.FPrivMode = PrivMode;
    reply.FPrivPassword = Utf8ToCp1252(fsPrivacyPwd);
    fSnmp->Snmp.FHostIP = "0.0.0.0";
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
        if (RecvTrap())
          SynchronizeMain([this] { HandleMessage(); });
        ReportDrops();
      } catch (const EShutdown&) {
        break;
      } catch (const std::exception& e) {
        fsLastError = e.what();
        try {
          SynchronizeMain([this] { ReportPacketError(); });
        } catch (const EShutdown&) {
          break;
        } catch (...) {
          // Reporting failed; the next datagram is more important.
        }
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
  UdpBatchReader reader(kReadBatch, kMaxDatagram);
  UdpSocket& sock = fSnmp->Snmp.Sock();
  bool bound = false;
  auto nextBind = std::chrono::steady_clock::now();
  while (!fbTerminated) {
    try {
      if (!bound) {
        if (std::chrono::steady_clock::now() >= nextBind) {
          try {
            sock.BindOpen("0.0.0.0", fwPort);
            bound = true;
            fwBoundPort = sock.LocalPort();
          } catch (const EOSError&) {
            nextBind = std::chrono::steady_clock::now() + kBindRetry;
          }
        }
        if (!bound) {
          std::unique_lock lock(fQueueMutex);
          fQueueReady.wait_for(lock, std::chrono::milliseconds(kStopPollMs),
                               [this] { return fbTerminated.load(); });
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
        std::lock_guard lock(fQueueMutex);
        for (std::size_t i = 0; i < n; ++i) {
          if (fQueue.size() >= QueueLimit) {
            ++dropped;
          } else {
            fQueue.emplace_back(reader.Data(i), reader.From(i), fSpare);
          }
        }
        fnQueuePeak = std::max(fnQueuePeak, fQueue.size());
        if (fbConsumerWaiting)
          fQueueReady.notify_all();
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

bool TSnmpTrapReceiver::RecvTrap() {
  Datagram d;
  bool drainedDeepQueue = false;
  {
    std::unique_lock lock(fQueueMutex);
    if (fQueue.empty()) {
      fbConsumerWaiting = true;
      fQueueReady.wait_for(lock, std::chrono::milliseconds(Timeout),
                           [this] { return !fQueue.empty() || fbTerminated.load(); });
      fbConsumerWaiting = false;
      if (fQueue.empty())
        return false;
    }
    d = std::move(fQueue.front());
    fQueue.pop_front();
    // The buffer of the message before goes back for the reader to reuse.
    if (fSnmp && fSpare.size() < kMaxSpareBuffers &&
        fSnmp->Snmp.FBuffer.capacity() <= kSpareBufferBytes) {
      fSpare.push_back(std::move(fSnmp->Snmp.FBuffer));
    }
    if (fQueue.empty()) {
      drainedDeepQueue = fnQueuePeak >= kReleaseAfterDepth;
      fnQueuePeak = 0;
    }
  }
  if (drainedDeepQueue)
    ReleaseFreeMemory();
  TSNMPSend& ep = fSnmp->Snmp;
  ep.Reply().Clear();
  ep.FHostIP = "0.0.0.0";
  if (d.Data.empty())
    return false;
  ep.FHostIP = d.From.Host();
  ep.FBuffer = std::move(d.Data);
  return ep.Reply().DecodeBuf(ep.FBuffer);
}

void TSnmpTrapReceiver::HandleMessage() {
  const TSNMPRec& r = fSnmp->Snmp.Reply();
  TMsg::Trace(
      "SNMP trap packet received from %s: Version=%d, RequestId=%d, ErrorStatus=%d, "
      "ErrorIndex=%d, MIBs=%d",
      {fSnmp->Snmp.FHostIP, r.FVersion, r.FID, r.FErrorStatus, r.FErrorIndex, r.MIBCount()});
  switch (r.FVersion) {
    case 0:
      if (fsCommunity.empty()) {
        TMsg::Hint("SNMPv1 disabled!");
        return;
      }
      if (!SameConfiguredText(r.FCommunity, fsCommunity)) {
        TMsg::Hint("SNMPv1 trap packet width invalid community \"%s\" ignored!",
                   {ReceivedTextToUtf8(r.FCommunity)});
        return;
      }
      break;
    case 3:
      if (!CheckSecurity())
        return;
      break;
    default:
      TMsg::Warning("SNMP trap packet version %d not supported", {r.FVersion});
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

bool TSnmpTrapReceiver::CheckSecurity() {
  const TSNMPRec& r = fSnmp->Snmp.Reply();
  bool admitted = false;
  switch (r.FFlags) {
    case TV3Flags::NoAuthNoPriv:
      break;
    case TV3Flags::AuthNoPriv:
    case TV3Flags::AuthPriv:
      if (!SameConfiguredText(r.FUserName, fsUserName)) {
        if (r.FFlags == TV3Flags::AuthNoPriv) {
          TMsg::Error("Unknown authorisation\"%s\"!", {ReceivedTextToUtf8(r.FUserName)});
        } else {
          TMsg::Error("Unknown authorisation username \"%s\"!", {ReceivedTextToUtf8(r.FUserName)});
        }
        TraceRefusal();
        break;
      }
      // The code is checked over the bytes as received, so authentic
      // messages of any sender pass, encrypted or not.
      if (!VerifyAuthentication(fSnmp->Snmp.FBuffer, AuthMode, Utf8ToCp1252(fsUserPwd))) {
        TMsg::Error("Authentication failed!");
        TraceRefusal();
        break;
      }
      admitted = true;
      break;
  }
  if (r.FFlagReportable)
    TMsg::Warning("SNMP trap reply not supported!");
  return admitted;
}

void TSnmpTrapReceiver::TraceRefusal() {
  const TSNMPRec& r = fSnmp->Snmp.Reply();
  TMsg::Trace("SNMPv3 trap refused: EngineID=%s, User=\"%s\", SecurityLevel=%s",
              {HexText(r.FAuthEngineID), ReceivedTextToUtf8(r.FUserName), LevelName(r.FFlags)});
}

void TSnmpTrapReceiver::ReportPacketError() {
  TMsg::Error("SNMP trap packet error: " + fsLastError);
  fsLastError.clear();
}

void TSnmpTrapReceiver::SignalDone() {
  if (OnDone)
    OnDone(fsLastError);
}

void TSnmpTrapReceiver::ReportDrops() {
  const std::uint64_t total = fnDroppedTotal.load();
  if (total == fnDroppedReported)
    return;
  const auto now = std::chrono::steady_clock::now();
  if (fnDroppedReported != 0 && now - fLastDropWarning < std::chrono::seconds(1))
    return;
  const std::uint64_t n = total - fnDroppedReported;
  fnDroppedReported = total;
  fLastDropWarning = now;
  SynchronizeMain(
      [n] { TMsg::Warning("SNMP trap receiver queue full: %d datagram(s) dropped", {n}); });
}

int TSnmpTrapReceiver::MibCount() const {
  if (!fbHasEndpoint)
    return -1;
  return fSnmp->Snmp.Reply().MIBCount();
}

std::string TSnmpTrapReceiver::MibOid(std::uint16_t aIndex) const {
  if (!fbHasEndpoint)
    return {};
  const TSNMPMib* mib = fSnmp->Snmp.Reply().MIBByIndex(aIndex);
  return mib ? ReceivedTextToUtf8(mib->FOID) : std::string();
}

std::string TSnmpTrapReceiver::MibValue(const std::string& sOID) const {
  if (!fbHasEndpoint)
    return {};
  return ReceivedTextToUtf8(fSnmp->Snmp.Reply().MIBGet(sOID));
}

std::string TSnmpTrapReceiver::MibRecord(std::uint16_t aIndex) const {
  if (!fbHasEndpoint)
    return {};
  const TSNMPMib* mib = fSnmp->Snmp.Reply().MIBByIndex(aIndex);
  if (!mib)
    return {};
  return ReceivedTextToUtf8(mib->FOID) + " = " + ReceivedTextToUtf8(mib->FValue);
}

}  // namespace tavo
