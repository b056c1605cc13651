#include "snmp/TrapDatagramQueue.h"

#include <algorithm>

namespace tavo {
namespace {

// Buffers of handled datagrams kept for reuse, and the largest kept.
constexpr std::size_t kMaxSpareBuffers = 1024;
constexpr std::size_t kSpareBufferBytes = 4096;

}  // namespace

std::size_t TTrapDatagramQueue::PushBatch(const TUdpBatchReader& aReader, std::size_t aCount) {
  std::size_t dropped = 0;
  std::lock_guard lock(fMutex);
  for (std::size_t i = 0; i < aCount; ++i) {
    if (!PushLocked(aReader.Data(i), aReader.From(i)))
      ++dropped;
  }
  if (fbWaiting && !fQueue.empty())
    fReady.notify_all();
  return dropped;
}

bool TTrapDatagramQueue::Push(std::string_view aData, const TSocketAddress& aFrom) {
  std::lock_guard lock(fMutex);
  const bool queued = PushLocked(aData, aFrom);
  if (queued && fbWaiting)
    fReady.notify_all();
  return queued;
}

bool TTrapDatagramQueue::PushLocked(std::string_view aData, const TSocketAddress& aFrom) {
  if (fQueue.size() >= fnMaxCount || fnBytes + aData.size() > fnMaxBytes) {
    ++fnDropped;
    return false;
  }
  TTrapDatagram& d = fQueue.emplace_back();
  if (!fSpare.empty()) {
    d.Data = std::move(fSpare.back());
    fSpare.pop_back();
  }
  d.Data.assign(aData);
  d.From = TSenderAddress(aFrom);
  fnBytes += aData.size();
  fnPeak = std::max(fnPeak, fQueue.size());
  return true;
}

std::size_t TTrapDatagramQueue::Take(std::vector<TTrapDatagram>& aOut, std::size_t aMaxCount,
                                     std::size_t aMaxBytes, std::chrono::milliseconds aWait) {
  std::unique_lock lock(fMutex);
  if (fQueue.empty() && !fbStopped) {
    fbWaiting = true;
    fReady.wait_for(lock, aWait, [this] { return !fQueue.empty() || fbStopped; });
    fbWaiting = false;
  }
  std::size_t n = 0;
  std::size_t bytes = 0;
  while (!fQueue.empty() && n < aMaxCount &&
         (n == 0 || bytes + fQueue.front().Data.size() <= aMaxBytes)) {
    bytes += fQueue.front().Data.size();
    fnBytes -= fQueue.front().Data.size();
    if (aOut.size() <= n)
      aOut.emplace_back();
    std::swap(aOut[n], fQueue.front());
    fQueue.pop_front();
    ++n;
  }
  if (fQueue.empty() && fnPeak > 0) {
    fnDrainedPeak = std::max(fnDrainedPeak, fnPeak);
    fnPeak = 0;
  }
  return n;
}

void TTrapDatagramQueue::GiveBack(std::string&& aBuffer) {
  if (aBuffer.capacity() > kSpareBufferBytes)
    return;
  std::lock_guard lock(fMutex);
  if (fSpare.size() < kMaxSpareBuffers)
    fSpare.push_back(std::move(aBuffer));
}

void TTrapDatagramQueue::Stop() {
  std::lock_guard lock(fMutex);
  fbStopped = true;
  fReady.notify_all();
}

void TTrapDatagramQueue::WaitForStop(std::chrono::milliseconds aWait) {
  std::unique_lock lock(fMutex);
  fReady.wait_for(lock, aWait, [this] { return fbStopped; });
}

bool TTrapDatagramQueue::Stopped() const {
  std::lock_guard lock(fMutex);
  return fbStopped;
}

std::uint64_t TTrapDatagramQueue::Dropped() const {
  std::lock_guard lock(fMutex);
  return fnDropped;
}

bool TTrapDatagramQueue::DrainedFrom(std::size_t aDepth) {
  std::lock_guard lock(fMutex);
  const bool drained = fnDrainedPeak >= aDepth;
  fnDrainedPeak = 0;
  return drained;
}

std::size_t TTrapDatagramQueue::Count() const {
  std::lock_guard lock(fMutex);
  return fQueue.size();
}

std::size_t TTrapDatagramQueue::Bytes() const {
  std::lock_guard lock(fMutex);
  return fnBytes;
}

}  // namespace tavo
