#pragma once
// The mail transport: TOrvoSimpleMail is a short-lived worker thread that
// sends one plain-text mail through an SMTP server and reports the outcome.
//
// The owner (main thread) creates a worker with Create(), sets the
// properties, sets OnDone and calls Send(). The worker then runs on its own
// thread and touches nothing but its own fields and the network. When it is
// done it hands OnDone(outcome) to the main thread through the blocking
// hand-off (platform/MainThread.h) and waits until it has run; the outcome
// is empty for success, else the error text. OnDone is read on the main
// thread only, so the owner may clear it at any time to detach the worker:
// the completion then reaches no one. The worker holds a reference to
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
// the system's trust store.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/MainThread.h"

namespace tavo {

enum class TMailTls {
  eNone,      // plain TCP
  eStartTls,  // upgrade after EHLO, then EHLO again
  eImplicit,  // TLS from the first byte
};

struct TMailTimeouts {
  int ConnectMs = 30 * 1000;
  int ReplyMs = 60 * 1000;         // each reply, and sending each command
  int DataEndMs = 10 * 60 * 1000;  // the reply to the final "."
};

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

// The pieces of a mail message, exposed for tests.
struct TMailAddress {
  std::string Name;     // display name, may be empty
  std::string Address;  // the bare address
};

// "addr", "<addr>", "Name <addr>" or "\"Name, quoted\" <addr>". Throws
// Exception for an empty address or one with blanks, controls or brackets.
TMailAddress ParseMailAddress(std::string_view aText);
// Addresses separated by "," (not inside quotes or angle brackets); empty
// items are skipped.
std::vector<TMailAddress> ParseMailAddressList(std::string_view aText);
// Header text as it goes on the wire: controls become blanks; text with
// characters outside ASCII, a "=?" or a length that no header line may
// carry becomes RFC 2047 encoded words (UTF-8, Base64), folded.
std::string EncodeHeaderText(std::string_view aText);
// A mailbox for From or To: "addr" or "Name <addr>" with the name quoted or
// encoded as needed.
std::string FormatMailbox(const TMailAddress& aAddress);

}  // namespace tavo
