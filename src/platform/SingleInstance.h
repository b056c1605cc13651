#pragma once
// The machine-wide single-instance name "Global\<name>". Main thread only.
//
// On Linux an abstract unix socket bound to the name. Abstract names live
// in the kernel, not in the file system, so they need no clean-up: the
// kernel releases the name when the socket is closed, also when the process
// crashes or is killed. The socket is close-on-exec, so a program we start
// never inherits the name and cannot keep it after we are gone.
//
// On Windows a named mutex in the global namespace, seen from every
// session; the system frees it with the last handle, at the latest when the
// process ends. The handle is not inheritable.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavo {

class TSingleInstanceLock {
 public:
  // The longest name (without "Global\").
  static constexpr std::size_t kMaxNameLength = 100;
  // What Acquire returns when another process holds the name.
  static const int kTaken;
  // What Acquire returns for a name longer than kMaxNameLength.
  static const int kNameTooLong;

  TSingleInstanceLock() = default;
  ~TSingleInstanceLock();  // releases the name
  TSingleInstanceLock(const TSingleInstanceLock&) = delete;
  TSingleInstanceLock& operator=(const TSingleInstanceLock&) = delete;

  // Takes "Global\" + aName. Returns 0 when this object holds it now,
  // kTaken when another holds it, kNameTooLong, or the system's code of
  // another failure (errno on Linux, GetLastError on Windows). Taking a
  // second name releases the first.
  int Acquire(const std::string& aName);
  void Release();
  bool Held() const { return fhLock != kNoLock; }

 private:
  static constexpr std::intptr_t kNoLock = -1;
  // The socket on Linux, the mutex's handle on Windows.
  std::intptr_t fhLock = kNoLock;
};

}  // namespace tavo
