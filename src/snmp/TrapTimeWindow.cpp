#include "snmp/TrapTimeWindow.h"

namespace tavo {

bool TTrapTimeWindow::Accept(std::string_view aEngineID, std::int32_t aBoots, std::int32_t aTime,
                             std::int64_t aNowMs) {
  const auto found = fIndex.find(aEngineID);
  if (found == fIndex.end()) {
    if (fOrder.size() >= kMaxEngines) {
      fIndex.erase(fOrder.back().EngineID);
      fOrder.pop_back();
    }
    fOrder.push_front({std::string(aEngineID), aBoots, aTime, aNowMs});
    fIndex.emplace(fOrder.front().EngineID, fOrder.begin());
    return true;
  }
  TLatest& latest = *found->second;
  fOrder.splice(fOrder.begin(), fOrder, found->second);
  if (aBoots < latest.Boots)
    return false;
  if (aBoots > latest.Boots) {
    latest.Boots = aBoots;
    latest.Time = aTime;
    latest.ArrivedMs = aNowMs;
    return true;
  }
  // Where the engine's clock should stand now, going by its latest.
  const std::int64_t expected = latest.Time + (aNowMs - latest.ArrivedMs) / 1000;
  if (static_cast<std::int64_t>(aTime) < expected - fWindowSeconds)
    return false;
  // An older message inside the window does not hold the clock back.
  if (aTime >= expected) {
    latest.Time = aTime;
    latest.ArrivedMs = aNowMs;
  }
  return true;
}

}  // namespace tavo
