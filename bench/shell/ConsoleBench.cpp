// Message lines per second into the console's log view when it is full (801
// lines, so every line also removes the oldest): the insertion alone, and
// with the event loop run after every line as under a stream of traps, so
// layout and painting count too. Offscreen unless QT_QPA_PLATFORM says
// otherwise.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <string>

#include "shell/ConsoleWindow.h"

namespace {

void LogViewAppendAtCap(benchmark::State& state) {
  const bool runEventLoop = state.range(0) != 0;
  tavo::TConsoleWindow window;
  window.ShowCentred();
  const std::string line =
      "09.12.2026 23:49:24.279 Info:  Client \"Heartbeat\" message 100 counted";
  for (int i = 0; i < 801; ++i)
    window.AppendLogLine(line);
  QCoreApplication::processEvents();
  for (auto _ : state) {
    window.AppendLogLine(line);
    if (runEventLoop)
      QCoreApplication::processEvents();
  }
  if (window.LogViewLineCount() != 801)
    state.SkipWithError("the view left its cap");
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(runEventLoop ? "with the event loop after every line" : "insertion only");
}

BENCHMARK(LogViewAppendAtCap)->Arg(0)->Arg(1)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
