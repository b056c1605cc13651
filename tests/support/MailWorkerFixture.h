#pragma once
// Running mail workers (TOrvoSimpleMail) in tests and benchmarks: the
// fixture owns a TestMainLoop (installed as the main thread while it
// lives), makes workers for a local server, sends one and runs the loop
// until its outcome is back, and waits until no worker runs any more. The
// default time-outs it installs are restored to the built-in ones when it
// ends; its destructor first waits (bounded) for running workers, so none
// outlives the loop it reports to.
//
// Main thread only: the thread that creates it.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "TestMainLoop.h"
#include "recipients/OrvoSimpleMail.h"

namespace tavo::test {

class MailWorkerFixture {
 public:
  MailWorkerFixture();
  ~MailWorkerFixture();
  MailWorkerFixture(const MailWorkerFixture&) = delete;
  MailWorkerFixture& operator=(const MailWorkerFixture&) = delete;

  TestMainLoop& Loop() { return fLoop; }

  // The time-outs of workers created from now on, until the fixture ends.
  void SetDefaultTimeouts(const TMailTimeouts& aTimeouts);

  // A worker for 127.0.0.1:aPort: from tavo@example.org to ops@example.org,
  // subject "Disk full", two lines of text, the default time-outs.
  std::shared_ptr<TOrvoSimpleMail> NewMail(std::uint16_t aPort) const;

  // Sets OnDone, sends, and runs the loop until the outcome is back or
  // aWait has passed; std::nullopt when it never came.
  std::optional<std::string> SendAndWait(
      const std::shared_ptr<TOrvoSimpleMail>& aMail,
      std::chrono::milliseconds aWait = std::chrono::seconds(20));

  // Runs the loop until no worker's thread runs any more, at most aWait;
  // false when one still does.
  bool WaitAllDone(std::chrono::milliseconds aWait = std::chrono::seconds(20));

 private:
  TestMainLoop fLoop;
};

}  // namespace tavo::test
