#pragma once
// TTrapDatagramQueue carries received datagrams from the receiver's reader
// thread to the receiver thread: the reader pushes what it has drained from
// the socket, the receiver takes them in batches. It is bounded both in
// datagrams and in bytes; what does not fit is dropped and counted, never
// blocked on, so a flood cannot stall the reader or take the memory.
//
// Handled datagrams' buffers come back as spares for the reader to fill
// again, so a steady stream allocates nothing per datagram. Thread-safe:
// one reader and one consumer.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Socket.h"

namespace tavo {

struct TTrapDatagram {
  std::string Data;
  TSenderAddress From;
};

class TTrapDatagramQueue {
 public:
  TTrapDatagramQueue(std::size_t aMaxCount, std::size_t aMaxBytes)
      : fnMaxCount(aMaxCount), fnMaxBytes(aMaxBytes) {}

  // Reader side: queues a copy of every datagram aReader has read (into
  // spare buffers where there are some) and wakes the consumer; drops what
  // does not fit. Returns how many were dropped.
  std::size_t PushBatch(const TUdpBatchReader& aReader, std::size_t aCount);
  // The same for one datagram; false when it was dropped.
  bool Push(std::string_view aData, const TSocketAddress& aFrom);

  // Consumer side: waits up to aWait for a datagram (or Stop), then moves
  // the waiting datagrams, oldest first, into aOut until it holds aMaxCount
  // of them or aMaxBytes of data (at least one). Returns how many.
  std::size_t Take(std::vector<TTrapDatagram>& aOut, std::size_t aMaxCount, std::size_t aMaxBytes,
                   std::chrono::milliseconds aWait);
  // A handled datagram's buffer, for reuse.
  void GiveBack(std::string&& aBuffer);

  // Ends every wait at once, now and from now on.
  void Stop();
  // Waits up to aWait or until Stop.
  void WaitForStop(std::chrono::milliseconds aWait);
  bool Stopped() const;

  // Datagrams dropped since the start.
  std::uint64_t Dropped() const;
  // True once when a queue that had been aDepth or more deep has drained
  // since the last call: its memory can go back to the system.
  bool DrainedFrom(std::size_t aDepth);
  std::size_t Count() const;
  std::size_t Bytes() const;

 private:
  const std::size_t fnMaxCount;
  const std::size_t fnMaxBytes;
  mutable std::mutex fMutex;
  std::condition_variable fReady;
  std::deque<TTrapDatagram> fQueue;
  std::vector<std::string> fSpare;
  std::size_t fnBytes = 0;        // data bytes queued
  std::size_t fnPeak = 0;         // deepest since it was last empty
  std::size_t fnDrainedPeak = 0;  // depth of the last drained run
  std::uint64_t fnDropped = 0;
  bool PushLocked(std::string_view aData, const TSocketAddress& aFrom);

  bool fbWaiting = false;
  bool fbStopped = false;
};

}  // namespace tavo
