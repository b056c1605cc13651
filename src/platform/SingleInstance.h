#pragma once
// The machine-wide single-instance name: an abstract unix socket bound to
// "Global\<name>". Abstract names live in the kernel, not in the file
// system, so they need no clean-up: the kernel releases the name when the
// socket is closed, also when the process crashes or is killed.
//
// The socket is close-on-exec, so a program we start never inherits the
// name and cannot keep it after we are gone. Main thread only.

#include <cstddef>
#include <string>

namespace tavo {

class TSingleInstanceLock {
 public:
  // The longest name an abstract socket address holds (without "Global\").
  static constexpr std::size_t kMaxNameLength = 100;
  // What Acquire returns when another process holds the name.
  static const int kTaken;

  TSingleInstanceLock() = default;
  ~TSingleInstanceLock();  // releases the name
  TSingleInstanceLock(const TSingleInstanceLock&) = delete;
  TSingleInstanceLock& operator=(const TSingleInstanceLock&) = delete;

  // Takes "Global\" + aName. Returns 0 when this object holds it now,
  // kTaken when another socket holds it, ENAMETOOLONG for a name longer
  // than kMaxNameLength bytes, or the errno of another failure. Taking a
  // second name releases the first.
  int Acquire(const std::string& aName);
  void Release();
  bool Held() const { return fiSocket >= 0; }

 private:
  int fiSocket = -1;
};

}  // namespace tavo
