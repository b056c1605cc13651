#include "shell/StopSignals.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavo {
namespace {

int gSignalPipe[2] = {-1, -1};

void OnStopSignal(int /*aSignal*/) {
  const char byte = 1;
  // Nothing else is safe in a signal handler; the event loop reads the pipe.
  [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &byte, 1);
}

}  // namespace

void InstallStopSignals(QCoreApplication& aApp, std::unique_ptr<QSocketNotifier>& aNotifier,
                        std::function<void()> aOnStop) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0)
    return;
  if (!aOnStop)
    aOnStop = [&aApp] { aApp.quit(); };
  aNotifier = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
  QObject::connect(aNotifier.get(), &QSocketNotifier::activated, &aApp,
                   [onStop = std::move(aOnStop)] {
                     char buf[16];
                     [[maybe_unused]] const ssize_t n = ::read(gSignalPipe[0], buf, sizeof buf);
                     onStop();
                   });
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
}

}  // namespace tavo
