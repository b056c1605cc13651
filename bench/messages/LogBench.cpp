// Messages per second from TMsg::Info through the dispatcher and a sink like
// the controller's into the log file: closed after every line (the shipped
// setting) and kept open, side by side.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "messages/LogFile.h"
#include "messages/MsgClasses.h"
#include "messages/MsgUtils.h"

namespace {

void InfoIntoLogFile(benchmark::State& state) {
  const bool releaseAlways = state.range(0) != 0;
  std::string dir = std::filesystem::temp_directory_path().string() + "/tavo-bench-XXXXXX";
  if (!::mkdtemp(dir.data())) {
    state.SkipWithError("mkdtemp failed");
    return;
  }
  {
    tavo::TLogFile log;
    log.BufferOn = true;
    log.FileSize = 2097152;
    log.SetFileName(dir + "/bench.log");
    log.SetReleaseAlways(releaseAlways);

    tavo::TMsgClass* dispatcher = tavo::TMsgClass::CreateSingleton();
    dispatcher->Level = tavo::eTrace;
    dispatcher->OnNewMsg = [&log](tavo::TMsgBase*, tavo::TMsgId aId, const std::string& aText) {
      log.AppendData(tavo::FormatMsgLine(aId, aText, tavo::Clock().Now()) + "\r\n");
    };
    std::int64_t n = 0;
    for (auto _ : state) {
      tavo::TMsg::Info("Client \"%s\" message %d received", {"Heartbeat", ++n});
    }
    tavo::TMsgClass::ReleaseSingleton();
  }
  std::filesystem::remove_all(dir);
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(releaseAlways ? "closed after every line" : "kept open");
}

BENCHMARK(InfoIntoLogFile)->Arg(1)->Arg(0)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
