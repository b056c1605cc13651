#include "platform/StopSignals.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavo {
namespace {

int gSignalPipe[2] = {-1, -1};

void OnStopSignal(int /*aSignal*/) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &byte, 1);
}

}  // namespace

int InstallStopSignalHandle() {
  if (gSignalPipe[0] >= 0)
    return gSignalPipe[0];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0)
    return -1;
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
  return gSignalPipe[0];
}

void DrainStopSignalHandle() {
  char buf[16];
  [[maybe_unused]] const ssize_t n = ::read(gSignalPipe[0], buf, sizeof buf);
}

void IgnoreBrokenPipes() {
  ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace tavo
