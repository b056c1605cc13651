#pragma once
// The SMTP dialogue with one server, one step per operation, each with its
// expected reply:
//   Open       connect, TLS at once for eImplicit, the greeting (220)
//   Hello      EHLO (250), else HELO (250); for eStartTls: STARTTLS (220),
//              the handshake and EHLO again
//   AuthLogin  AUTH LOGIN (334), the user (334), the password (235)
//   Transfer   MAIL FROM (250), RCPT TO per recipient (250/251), DATA (354),
//              the data and "." (250)
// Run() takes the steps and is the one place that ends the dialogue: QUIT
// after the steps; after a failure RSET when a transaction was refused
// (RCPT, DATA or "."), then QUIT, as far as the connection still carries
// them (see the failure classes), and the failure goes on to the caller.
//
// Blocking, on one thread (the mail worker's); every wait is bounded by
// the session's TMailTimeouts.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/Errors.h"

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

// A failed transfer; the text becomes the mail's outcome. A refusal carries
// the server's reply as received (lines joined by CR LF). After it the
// dialogue ends with RSET (when due) and QUIT.
class ESmtpError : public Exception {
 public:
  using Exception::Exception;
};

// The connection is unusable (refused, closed by the server, an I/O error,
// a send that did not finish, a failed TLS handshake): nothing more is sent.
class EBrokenConnection : public ESmtpError {
 public:
  using ESmtpError::ESmtpError;
};

// The dialogue is out of step while the connection stands: a reply that did
// not come in time, or one that cannot be read. Only a QUIT follows, sent
// and awaited for at most 2 s (or ReplyMs, if shorter).
class EOutOfStep : public ESmtpError {
 public:
  using ESmtpError::ESmtpError;
};

struct TMailMessage;
class TSmtpChannel;
struct TSmtpReply;

class TSmtpSession {
 public:
  explicit TSmtpSession(const TMailTimeouts& aTimeouts);
  ~TSmtpSession();
  TSmtpSession(const TSmtpSession&) = delete;
  TSmtpSession& operator=(const TSmtpSession&) = delete;

  // Runs aSteps (the steps below, in order) and ends the dialogue as above;
  // rethrows what aSteps threw.
  void Run(const std::function<void()>& aSteps);

  void Open(const std::string& aHost, std::uint16_t aPort, TMailTls aTls);
  void Hello(TMailTls aTls);
  // Whether the last EHLO reply offers AUTH LOGIN ("AUTH ..." or the old
  // "AUTH=...").
  bool OffersLogin() const;
  void AuthLogin(const std::string& aUser, const std::string& aPwd);
  // Stops at the first recipient the server refuses.
  void Transfer(const TMailMessage& aMessage);

 private:
  enum class TState {
    eInStep,     // every reply so far came and was read
    eOutOfStep,  // a reply was lost or unreadable; the connection stands
    eBroken,     // closed by the server or failed: nothing more is sent
  };

  void Quit();
  void Abandon();
  void QuitOutOfStep();
  int QuitWaitMs() const;
  bool Offers(const std::string& aKeyword) const;
  void SayHello();
  TSmtpReply Command(const std::string& aLine, int aReplyMs = -1);
  TSmtpReply ReadReply(int aTimeoutMs);
  void ExpectOrReset(const TSmtpReply& aReply, std::initializer_list<int> aCodes);

  TMailTimeouts fTimeouts;
  std::unique_ptr<TSmtpChannel> fChannel;
  std::string fsHost;
  std::string fsHelloName;
  std::vector<std::string> fslCapabilities;  // EHLO extension lines
  bool fbOpen = false;
  TState fState = TState::eInStep;
  bool fbResetDue = false;
};

}  // namespace tavo
