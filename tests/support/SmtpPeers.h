#pragma once
// SMTP peers for the mail tests, both on 127.0.0.1 and a port the system
// picked:
// - ScriptedSmtpServer: a server on its own thread that answers as a test
//   scripts it, so a peer can refuse, close or stall on cue. It serves one
//   connection at a time and records every command line.
// - AiosmtpdServer: the real SMTP server python3-aiosmtpd (tests/support/
//   smtp_sink.py) as a child process; every mail it accepts arrives, parsed
//   by Python's email package, as a SinkMail.
// Accessors are thread-safe; destructors stop and join (or end) the peer.

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "LoopbackTcp.h"

namespace tavo::test {

class ScriptedSmtpServer {
 public:
  enum class TAct {
    eReply,  // send Text (lines separated by "\r\n")
    eClose,  // close the connection without a word
    eStall,  // never answer again on this connection (lines are still recorded)
  };
  struct TResponse {
    TAct What = TAct::eReply;
    std::string Text;
  };
  // Called with each command line ("" for the greeting, "." for the end of
  // the data); std::nullopt keeps the default answer.
  using TScript = std::function<std::optional<TResponse>(const std::string& aLine)>;

  explicit ScriptedSmtpServer(TScript aScript = nullptr);
  ~ScriptedSmtpServer();
  ScriptedSmtpServer(const ScriptedSmtpServer&) = delete;
  ScriptedSmtpServer& operator=(const ScriptedSmtpServer&) = delete;

  std::uint16_t Port() const { return fListener.Port(); }
  // Extension lines of the default EHLO reply; set before a client connects.
  void SetCapabilities(std::vector<std::string> aCapabilities);

  // Command lines as received, the data excluded; after a stall, every line.
  std::vector<std::string> Commands() const;
  // The data of each mail as received, dot-stuffing undone.
  std::vector<std::string> Mails() const;
  // Connections the client (or the script) has ended.
  int ClosedConnections() const { return fnClosed.load(); }
  // The first command that starts with aPrefix, or -1.
  int IndexOf(const std::string& aPrefix) const;

  static TResponse Reply(std::string aText) { return {TAct::eReply, std::move(aText)}; }
  static TResponse Close() { return {TAct::eClose, {}}; }
  static TResponse Stall() { return {TAct::eStall, {}}; }

 private:
  void Run();
  void Serve(TSocketHandle aSocket);

  TScript fScript;
  LoopbackTcpListener fListener;
  std::atomic<bool> fbStop{false};
  std::atomic<int> fnClosed{0};
  mutable std::mutex fMutex;
  std::vector<std::string> fslCapabilities{"AUTH PLAIN LOGIN", "8BITMIME", "HELP"};
  std::vector<std::string> fslCommands;
  std::vector<std::string> fslMails;
  std::thread fThread;
};

// One mail as the sink parsed it: "key=value" records, keys may repeat
// (rcpt, body). Keys: mail_from, rcpt, from, to, subject (decoded), date,
// message-id, mime-version, content-transfer-encoding, raw_subject,
// helo, content_type, charset, body (one per line, decoded), auth_user,
// auth_password, tls ("1" or "0").
struct SinkMail {
  std::multimap<std::string, std::string> Fields;
  std::string Get(const std::string& aKey) const;  // first value, "" if none
  std::vector<std::string> All(const std::string& aKey) const;
};

class AiosmtpdServer {
 public:
  struct TOptions {
    std::string User;  // with a user, AUTH LOGIN is offered and checked
    std::string Password;
    std::string Tls;  // "", "starttls" (required before MAIL) or "implicit"
    std::string CertFile;
    std::string KeyFile;
  };
  // Starts the server with a fresh mail folder under aWorkDir; throws
  // std::runtime_error when it does not report its port within 20 s.
  AiosmtpdServer(const std::string& aWorkDir, const TOptions& aOptions);
  ~AiosmtpdServer();
  AiosmtpdServer(const AiosmtpdServer&) = delete;
  AiosmtpdServer& operator=(const AiosmtpdServer&) = delete;

  std::uint16_t Port() const { return fwPort; }
  // The mails received so far, in order of arrival.
  std::vector<SinkMail> Mails() const;

 private:
  void Stop();

  std::string fsMailDir;
  pid_t fPid = -1;
  int fhStdin = -1;
  std::uint16_t fwPort = 0;
};

// Makes ca.pem, server.pem and server.key in aDir (a test certificate
// authority and a server certificate for localhost and 127.0.0.1 signed by
// it). Throws std::runtime_error on failure.
void MakeTestCertificates(const std::string& aDir);

}  // namespace tavo::test
