#pragma once
// Stands in for systemd's notify socket: a datagram socket bound to a path
// in a test's folder, to which a service under test sends its status
// reports (NOTIFY_SOCKET=Path()). Every wait is bounded.

#include <chrono>
#include <optional>
#include <string>

namespace tavo::test {

class NotifySocket {
 public:
  // Binds aPath (at most 107 bytes); throws std::runtime_error on failure.
  explicit NotifySocket(const std::string& aPath);
  ~NotifySocket();
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;

  const std::string& Path() const { return fsPath; }
  // "NOTIFY_SOCKET=" + Path(), for a child's environment.
  std::string Env() const { return "NOTIFY_SOCKET=" + fsPath; }
  // The next report, or nothing when none came within aTimeout.
  std::optional<std::string> Receive(std::chrono::milliseconds aTimeout);

 private:
  std::string fsPath;
  int fiSocket = -1;
};

}  // namespace tavo::test
