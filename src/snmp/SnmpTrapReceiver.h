#pragma once
// TSnmpTrapReceiver listens for SNMP traps on one UDP port (all local
// interfaces), decodes every datagram, admits SNMPv1 traps by community and
// SNMPv3 traps by user and message authentication code, and hands each
// admitted message to the main thread through OnData.
//
// Threads. Start() runs two threads: a reader that drains the socket into a
// bounded queue in the process (so a burst is not lost in the kernel while
// the main thread writes log lines), and the receiver thread proper, which
// takes the waiting datagrams in batches, decodes each one, admits it
// (TrapAdmission.h: community, or user and authentication code before
// anything is decrypted) and hands the whole batch to the main thread
// through the blocking hand-off (platform/MainThread.h), waiting until it
// has been handled there. The main thread handles the batch's messages in
// arrival order, each as if it had come alone: its lines, then OnData. The
// accessors read the message being handled; a record is never used by both
// threads at once.
//
// Informs (AnswerInforms): an admitted InformRequest is answered, after
// its dispatch, with a Response from the listening socket to its sender.
// SNMPv3 informs need Tavo's own engine (Engine): a reportable message to
// another engine ID gets a usmStatsUnknownEngineIDs report (discovery), an
// authentic one to Tavo's outside the time window a usmStatsNotInTimeWindows
// report; neither is dispatched, and reports go out at most kMaxReports a
// second. A retransmitted inform is answered again but not dispatched again
// (InformAnswer.h). The reader thread receives on the socket while the
// receiver thread sends on it; the system allows both at once.
//
// Refused datagrams (and those that cannot be decoded) write their lines
// for at most 10 of each kind a second; the rest are counted in one Warning
// a second. Admitted messages are never limited.
//
// Ownership and stopping. The receiver owns its endpoint (socket, queue,
// records), made when the thread starts and freed when it ends. Terminate()
// asks both threads to stop and does not wait; they stop within about a
// quarter of a second (and never later than one receive wait). The
// destructor requests the stop and joins them, so it must not run while
// the main thread is still needed for a hand-off — begin the main thread's
// shutdown first (hand-offs then fail with EShutdown and the thread ends).
//
// Failures. An error while decoding or handling one message is reported as
// "SNMP trap packet error: <text>" and reception goes on. An error while
// setting up the endpoint ends the thread; OnDone then receives
// "SNMP receiver exception: <text>". A port that is taken is retried until
// it is free, silently.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Socket.h"
#include "snmp/InformAnswer.h"
#include "snmp/SnmpMessage.h"
#include "snmp/TrapAdmission.h"

namespace tavo {

class TTrapDatagramQueue;
class TTrapTimeWindow;
struct TTrapDatagram;

class TSnmpTrapReceiver {
 public:
  // Datagrams and bytes of datagrams held in the process at most; beyond
  // that they are dropped and counted, and a Warning with the count is
  // logged at most once a second.
  static constexpr std::size_t kDefaultQueueLimit = 100000;
  static constexpr std::size_t kDefaultQueueByteLimit = 16 * 1024 * 1024;
  // One hand-off to the main thread carries at most this much.
  static constexpr std::size_t kMaxBatch = 256;
  static constexpr std::size_t kMaxBatchBytes = 1024 * 1024;
  // The socket's receive buffer asked for (the system may grant less).
  static constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;

  // Stores the settings; nothing runs until Start(). aPort 0 binds an
  // ephemeral port (see BoundPort).
  TSnmpTrapReceiver(std::string aHost, std::uint16_t aPort, std::string aCommunity,
                    std::string aUserName, std::string aUserPwd, std::string aPrivacyPwd);
  ~TSnmpTrapReceiver();
  TSnmpTrapReceiver(const TSnmpTrapReceiver&) = delete;
  TSnmpTrapReceiver& operator=(const TSnmpTrapReceiver&) = delete;

  void Start();
  // Requests the stop; returns at once.
  void Terminate();
  // true once the receiver thread has ended (after OnDone).
  bool Finished() const { return fbFinished.load(); }

  // Raised on the main thread. Set them before Start(), or on the main thread.
  std::function<void(TSnmpTrapReceiver* aSender)> OnData;
  std::function<void(const std::string& aText)> OnDone;

  // The current message, read on the main thread inside OnData.
  // -1 when there is no endpoint.
  int MibCount() const;
  // Its version field as on the wire (1: SNMPv2c); -1 without an endpoint.
  int Version() const;
  // Empty for an index out of range or without an endpoint.
  std::string MibOid(std::uint16_t aIndex) const;
  // The value of the first binding whose OID text equals sOID exactly.
  std::string MibValue(const std::string& sOID) const;
  // "OID = value".
  std::string MibRecord(std::uint16_t aIndex) const;

  // SNMPv3 protocols of the configured user (before Start()).
  TV3Auth AuthMode = TV3Auth::AuthMD5;
  TV3Priv PrivMode = TV3Priv::PrivDES;
  // Further SNMPv3 users, admitted beside it (before Start()).
  std::vector<TTrapUser> MoreUsers;
  // SNMPv2c traps with the community (before Start()).
  bool AcceptV2c = false;
  // InformRequests answered (before Start()); SNMPv3 ones only with an
  // engine.
  bool AnswerInforms = false;
  std::optional<TSnmpEngineState> Engine;
  static constexpr int kMaxReports = 10;  // a second
  // Seconds an SNMPv3 trap's time may lie behind its engine's latest; 0:
  // no time window (before Start()).
  std::int32_t TimeWindow = 0;
  // Bounds of the in-process queue (before Start()).
  std::size_t QueueLimit = kDefaultQueueLimit;
  std::size_t QueueByteLimit = kDefaultQueueByteLimit;
  // Longest wait for one datagram, milliseconds.
  int Timeout = 5000;
  // The local IPv4 address the socket is bound to; every interface by
  // default (before Start()).
  std::string BindAddress = "0.0.0.0";

  // The local port once the socket is bound; 0 before.
  std::uint16_t BoundPort() const { return fwBoundPort.load(); }
  // Datagrams dropped because the queue was full, since Start().
  std::uint64_t DroppedCount() const { return fnDroppedTotal.load(); }

  // Test seams. OnEndpointSetup is called on the receiver thread while the
  // endpoint is set up; an exception it throws is an endpoint failure.
  // SteadyMs is the monotonic clock of the refusal limit (before Start()).
  std::function<void()> OnEndpointSetup;
  std::function<std::int64_t()> SteadyMs;

 private:
  struct TEndpoint;
  struct TReceived;

  void Execute();
  void ReaderLoop();
  // Takes the waiting datagrams and readies each for the main thread;
  // returns how many.
  std::size_t ReceiveBatch();
  void Prepare(TReceived& aMessage, TTrapDatagram& aDatagram);
  // Main thread.
  void HandleBatch(std::size_t aCount, std::uint64_t aNotLogged, std::uint64_t aDropped);
  void HandleMessage(TReceived& aMessage);
  void SignalDone();
  std::uint64_t TakeDrops();
  std::int64_t NowMs() const;

  const std::string fsHost;
  const std::uint16_t fwPort;
  std::string fsLastError;
  TTrapCredentials fCredentials;
  const std::string fsPrivacyPwd;

  std::unique_ptr<TEndpoint> fSnmp;  // made by the receiver thread
  std::unique_ptr<TTrapDatagramQueue> fQueue;
  std::unique_ptr<TTrapTimeWindow> fTimeWindow;    // receiver thread
  std::vector<TTrapDatagram> fTaken;               // the batch as taken from the queue
  std::vector<std::unique_ptr<TReceived>> fBatch;  // the batch decoded; slots are reused
  TReceived* fCurrent = nullptr;                   // the message being handled, or the last
  std::int32_t fiLastRequestId = 1;                // shown for SNMPv1 traps, which carry none
  // Informs: the engine's clock, answered informs, the report limit.
  std::optional<TSnmpEngine> fEngine;
  TInformReplayCache fReplays;
  std::int64_t fReportWindowStart = 0;
  int fiReportsInWindow = 0;
  std::uint32_t fnUnknownEngineReports = 0;
  std::uint32_t fnNotInTimeWindowReports = 0;
  bool AllowReport(std::int64_t aNowMs);
  void CheckAsEngine(TReceived& aMessage);
  void SendAnswers(std::size_t aCount);
  // The last sender and its text: most datagrams come from the one before.
  TSenderAddress fLastSender;
  std::string fsLastSenderHost;
  TRefusalLimiter fLimiter;
  std::atomic<bool> fbHasEndpoint{false};
  std::atomic<bool> fbTerminated{false};
  std::atomic<bool> fbFinished{false};
  std::atomic<std::uint16_t> fwBoundPort{0};
  std::atomic<std::uint64_t> fnDroppedTotal{0};
  std::uint64_t fnDroppedReported = 0;
  std::int64_t fLastDropWarning = 0;
  std::thread fThread;
};

}  // namespace tavo
