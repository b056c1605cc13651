#pragma once
// The SMTP session's connection to its server: one TCP connection,
// optionally under TLS with the server's certificate and host name verified
// against the system's trust store (SSL_CERT_FILE names another bundle),
// read line by line. Every wait is bounded, by a time-out or by a deadline
// that the caller shares across the lines of one reply.
//
// Used by one thread at a time (the mail worker's). Failures throw the
// session's classes (SmtpSession.h): EBrokenConnection when the connection
// is unusable, EOutOfStep when a reply does not come in time or grows too
// long while the connection stands. Close() and the destructor end TLS (one
// attempt, without waiting) and close the socket.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Socket.h"

struct ssl_st;
struct ssl_ctx_st;

namespace tavo {

struct TOpenSsl;

using TSmtpDeadline = std::chrono::steady_clock::time_point;

// aMs milliseconds from now (now for a negative aMs).
TSmtpDeadline DeadlineIn(int aMs);

// Longest reply we accept: far beyond what any server sends.
constexpr std::size_t kMaxReplyBytes = 64 * 1024;

class TSmtpChannel {
 public:
  TSmtpChannel() = default;
  ~TSmtpChannel();
  TSmtpChannel(const TSmtpChannel&) = delete;
  TSmtpChannel& operator=(const TSmtpChannel&) = delete;

  // Tries each address of aHost, each within aTimeoutMs.
  void Connect(const std::string& aHost, std::uint16_t aPort, int aTimeoutMs);
  // The TLS handshake on the open connection, within aTimeoutMs; what was
  // received before it is dropped, as it cannot count as protected. Loads
  // OpenSSL on first use. When the protocol floor, the server name or the
  // host name or address check cannot be set, it throws EBrokenConnection
  // ("TLS: ...") before anything is sent.
  void StartTls(const std::string& aHost, int aTimeoutMs);
  // Sends all of aData; a send that does not finish within aTimeoutMs
  // breaks the connection.
  void Write(std::string_view aData, int aTimeoutMs);
  // The next line without its line end (CR LF or LF).
  std::string ReadLine(TSmtpDeadline aDeadline);
  // Forgets what has been received and not yet read: after a lost step it
  // belongs to no command we know of.
  void DropInput() { fsIn.clear(); }
  void Close();

 private:
  bool WaitFor(bool aReadable, TSmtpDeadline aDeadline);
  std::size_t ReadSome(char* aBuf, std::size_t aLen, TSmtpDeadline aDeadline);

  TTcpStream fStream;
  const TOpenSsl* fOpenSsl = nullptr;  // set with TLS
  ssl_ctx_st* fCtx = nullptr;
  ssl_st* fSsl = nullptr;
  std::string fsIn;
};

}  // namespace tavo
