#pragma once
// The optional time window for SNMPv3 traps: per sender engine ID, the boots
// and time of the latest authenticated message and when it arrived here. A
// later message is refused when its boots went back, or when its time lies
// more than the window behind that latest time plus the seconds that have
// passed here since. Memory only, so that a restart releases a sender locked
// out by a restart of its own that forgot its boots; at most kMaxEngines
// engines, the one heard from least recently forgotten first.
//
// Threads: the receiver thread only.

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tavo {

class TTrapTimeWindow {
 public:
  static constexpr std::size_t kMaxEngines = 10000;

  explicit TTrapTimeWindow(std::int32_t aWindowSeconds) : fWindowSeconds(aWindowSeconds) {}

  // For an authenticated message: whether it is inside the window; one that
  // is becomes its engine's latest when its time is not behind where the
  // latest's clock stands now. aNowMs: a monotonic clock.
  bool Accept(std::string_view aEngineID, std::int32_t aBoots, std::int32_t aTime,
              std::int64_t aNowMs);
  std::size_t EngineCount() const { return fIndex.size(); }

 private:
  struct TLatest {
    std::string EngineID;
    std::int32_t Boots = 0;
    std::int32_t Time = 0;
    std::int64_t ArrivedMs = 0;
  };
  const std::int64_t fWindowSeconds;
  std::list<TLatest> fOrder;  // most recently heard from first
  std::unordered_map<std::string_view, std::list<TLatest>::iterator> fIndex;
};

}  // namespace tavo
