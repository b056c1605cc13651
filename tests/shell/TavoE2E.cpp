#include "TavoE2E.h"

#include <algorithm>

#include "platform/Socket.h"

namespace tavo::test {

TavoRun::TavoRun(const TempDir& aDir, const std::string& aIni, std::vector<std::string> aExtraArgs)
    : fDir(aDir), fExtraArgs(std::move(aExtraArgs)) {
  aDir.Write("tavo.ini", aIni);
}

void TavoRun::Start() {
  std::vector<std::string> argv = Launcher;
  for (const char* arg : {Program.c_str(), "--foreground", "--config"})
    argv.push_back(arg);
  argv.push_back(IniPath());
  argv.insert(argv.end(), fExtraArgs.begin(), fExtraArgs.end());
  fProcess = std::make_unique<ChildProcess>(argv, fDir.File("tavo"), Env);
}

std::vector<std::string> TavoRun::Lines() const {
  try {
    return LogLinesOf(ReadWholeFile(LogPath()));
  } catch (...) {
    return {};
  }
}

bool TavoRun::WaitForLine(const std::string& aText, std::chrono::milliseconds aTimeout) const {
  return WaitFor([&] { return Count(aText) > 0; }, aTimeout);
}

int TavoRun::Count(const std::string& aText) const {
  const auto lines = Lines();
  return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
    return l.find(aText) != std::string::npos;
  }));
}

bool TavoRun::Stop(int aSignal, std::chrono::milliseconds aTimeout) {
  fProcess->Signal(aSignal);
  return fProcess->WaitExit(aTimeout);
}

std::string TavoRun::Dump() const {
  std::string all;
  for (const auto& l : Lines())
    all += l + "\n";
  return all;
}

bool WaitForUdpPortTaken(std::uint16_t aPort, std::chrono::milliseconds aTimeout) {
  return WaitFor(
      [&] {
        try {
          TUdpSocket probe;
          probe.Bind("127.0.0.1", aPort);
          return false;
        } catch (const EOSError&) {
          return true;
        }
      },
      aTimeout);
}

}  // namespace tavo::test
