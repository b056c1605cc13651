#pragma once
// TSnmpTrapReceiver listens for SNMP traps on one UDP port (all local
// interfaces), decodes every datagram, admits SNMPv1 traps by community and
// SNMPv3 traps by user and message authentication code, and hands each
// admitted message to the main thread through OnData.
//
// Threads. Start() runs two threads: a reader that drains the socket into a
// bounded queue in the process (so a burst is not lost in the kernel while
// the main thread writes log lines), and the receiver thread proper, which
// takes one datagram at a time from that queue, decodes it and runs
// HandleMessage on the main thread through the blocking hand-off
// (platform/MainThread.h), waiting until it has returned. Everything that
// emits a message, the admission checks, the events and the accessors run
// on the main thread; the decoded record is never used by both at once.
//
// Ownership and stopping. The receiver owns its endpoint (socket, queue,
// record), made when the thread starts and freed when it ends. Terminate()
// asks both threads to stop and does not wait; they stop within about a
// quarter of a second (and never later than one receive wait). The
// destructor requests the stop and joins them, so it must not run while
// the main thread is still needed for a hand-off — begin the main thread's
// shutdown first (hand-offs then fail with EShutdown and the thread ends).
//
// Failures. An error while receiving or handling one datagram is reported
// as "SNMP trap packet error: <text>" and reception goes on. An error while
// setting up the endpoint ends the thread; OnDone then receives
// "SNMP receiver exception: <text>". A port that is taken is retried until
// it is free, silently.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "snmp/SnmpMessage.h"

namespace tavo {

class TSnmpTrapReceiver {
 public:
  // Datagrams held in the process at most; beyond that they are dropped and
  // counted, and a Warning with the count is logged at most once a second.
  static constexpr std::size_t kDefaultQueueLimit = 100000;
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
  // Empty for an index out of range or without an endpoint.
  std::string MibOid(std::uint16_t aIndex) const;
  // The value of the first binding whose OID text equals sOID exactly.
  std::string MibValue(const std::string& sOID) const;
  // "OID = value".
  std::string MibRecord(std::uint16_t aIndex) const;

  // SNMPv3 protocols of the configured user (before Start()).
  TV3Auth AuthMode = TV3Auth::AuthMD5;
  TV3Priv PrivMode = TV3Priv::PrivDES;
  // Bound of the in-process queue (before Start()).
  std::size_t QueueLimit = kDefaultQueueLimit;
  // Longest wait for one datagram, milliseconds.
  int Timeout = 5000;

  // The local port once the socket is bound; 0 before.
  std::uint16_t BoundPort() const { return fwBoundPort.load(); }
  // Datagrams dropped because the queue was full, since Start().
  std::uint64_t DroppedCount() const { return fnDroppedTotal.load(); }

  // Test seam: called on the receiver thread while the endpoint is set up;
  // an exception it throws is an endpoint failure.
  std::function<void()> OnEndpointSetup;

 private:
  struct Endpoint;

  void Execute();
  void ReaderLoop();
  bool RecvTrap();
  void HandleMessage();
  bool CheckSecurity();
  void ReportPacketError();
  void SignalDone();
  void ReportDrops();
  void SynchronizeMain(const std::function<void()>& aProc);
  void TraceRefusal();

  const std::string fsHost;
  const std::uint16_t fwPort;
  std::string fsLastError;
  const std::string fsCommunity;
  const std::string fsUserName;
  const std::string fsUserPwd;
  const std::string fsPrivacyPwd;

  struct Datagram;

  std::unique_ptr<Endpoint> fSnmp;  // made by the receiver thread
  std::atomic<bool> fbHasEndpoint{false};
  std::atomic<bool> fbTerminated{false};
  // The queue between the reader and the receiver thread.
  std::mutex fQueueMutex;
  std::condition_variable fQueueReady;
  std::deque<Datagram> fQueue;
  std::vector<std::string> fSpare;  // handled datagrams' buffers, for reuse
  bool fbConsumerWaiting = false;
  std::size_t fnQueuePeak = 0;  // deepest queue since it was last empty
  std::atomic<bool> fbFinished{false};
  std::atomic<std::uint16_t> fwBoundPort{0};
  std::atomic<std::uint64_t> fnDroppedTotal{0};
  std::uint64_t fnDroppedReported = 0;
  std::chrono::steady_clock::time_point fLastDropWarning{};
  std::thread fThread;
};

}  // namespace tavo
