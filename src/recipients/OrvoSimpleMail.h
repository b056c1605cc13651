#pragma once
// The mail transport: TOrvoSimpleMail is a short-lived worker thread that
// sends one plain-text mail through an SMTP server and reports the outcome.
//
// The owner (main thread) creates a worker with Create(), sets the
// properties, sets OnDone and calls Send(). The worker then runs on its own
// thread and touches nothing but its own fields and the network. When it is
// done it hands OnDone(outcome) to the main thread through the blocking
// hand-off (SynchronizeMain, platform/MainThread.h) and waits until it has
// run; the outcome is empty for success, else the error text. OnDone is
// read on the main thread only, so the owner may clear it at any time to
// detach the worker: the completion then reaches no one, as it does when
// the main thread has begun its shutdown or is gone. The worker holds a reference to
// itself while its thread runs and is freed when the thread ends and the
// owner has let go of its own reference.
//
// Every wait is bounded (Timeouts); a transfer that runs into a time-out
// fails like any other. After a failure the dialogue still ends with QUIT
// while the connection stands; after a lost or unreadable reply the QUIT is
// sent and awaited for at most 2 s (or ReplyMs, if shorter). Nothing more is
// sent once the server has closed, a send did not finish, an I/O error
// happened or the TLS handshake failed. Without Tls the transfer is plain
// TCP; with Tls the server's certificate and host name are verified against
// the system's trust store. (The dialogue: SmtpSession.h; the message:
// MailMessage.h.)

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/MainThread.h"
#include "recipients/SmtpSession.h"

namespace tavo {

class TOrvoSimpleMail : public std::enable_shared_from_this<TOrvoSimpleMail> {
 public:
  using TDoneEvent = std::function<void(const std::string& aMsg)>;

  // A worker that has not started yet, with the defaults below.
  static std::shared_ptr<TOrvoSimpleMail> Create();
  ~TOrvoSimpleMail();
  TOrvoSimpleMail(const TOrvoSimpleMail&) = delete;
  TOrvoSimpleMail& operator=(const TOrvoSimpleMail&) = delete;

  // Clears the outcome and starts the thread. Call it once, on the main
  // thread, after a main thread has been installed; throws Exception when
  // there is none, when the worker has already started, or when no thread
  // can be started.
  void Send();

  // Properties, set before Send and not touched afterwards.
  std::string Host;
  std::uint16_t Port = 25;
  std::string User;  // empty: no authentication
  std::string Pwd;
  std::string FromName;
  std::string FromAddress;
  std::string ToAddress;  // one or more addresses separated by ","
  std::string Subject;
  std::string Text;                             // the body, lines separated by CR LF
  std::int32_t MaxTextLengthOnException = 255;  // <= 0: no limit
  TMailTls Tls = TMailTls::eNone;
  TMailTimeouts Timeouts = DefaultTimeouts();
  // Read and cleared on the main thread only.
  TDoneEvent OnDone;

  // The time-outs new workers start with.
  static TMailTimeouts DefaultTimeouts();
  // Installs other time-outs for new workers, or with std::nullopt the
  // built-in ones again (30 s, 60 s, 10 min). Meant for tests, which restore
  // them when done; call it while no worker is being created.
  static void SetDefaultTimeouts(const std::optional<TMailTimeouts>& aTimeouts);
  // Workers whose thread has not finished yet (tests wait for 0).
  static int RunningCount();

 private:
  TOrvoSimpleMail() = default;
  void Execute();
  void SendPlain();
  void SendWithLogin();

  std::string fsReturnMsg;
  bool fbStarted = false;
};

}  // namespace tavo
