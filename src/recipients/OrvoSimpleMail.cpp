#include "recipients/OrvoSimpleMail.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <nettle/base64.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <random>
#include <thread>

#include "messages/Format.h"
#include "platform/Network.h"
#include "platform/SharedLibrary.h"
#include "platform/Socket.h"
#include "platform/TextCodec.h"
#include "platform/TextUtils.h"

namespace tavo {
namespace {

using SteadyClock = std::chrono::steady_clock;

std::atomic<int> gRunning{0};
std::mutex gTimeoutsMutex;
TMailTimeouts gDefaultTimeouts;

// Longest reply we accept: far beyond what any server sends.
constexpr std::size_t kMaxReplyBytes = 64 * 1024;
// Header lines may not exceed 998 octets; keep well below.
constexpr std::size_t kMaxPlainHeaderText = 900;
// RFC 2047: an encoded word is at most 75 characters; "=?UTF-8?B?" and "?="
// take 12, leaving 60 Base64 characters for 45 bytes.
constexpr std::size_t kEncodedWordBytes = 45;
constexpr std::size_t kMaxBodyLine = 998;

// Failures of the transfer; their text becomes the outcome.
class ESmtpError : public Exception {
 public:
  using Exception::Exception;
};

std::string Base64(std::string_view aBytes) {
  std::string out(BASE64_ENCODE_RAW_LENGTH(aBytes.size()), '\0');
  base64_encode_raw(out.data(), aBytes.size(),
                    reinterpret_cast<const std::uint8_t*>(aBytes.data()));
  return out;
}

bool IsAscii(std::string_view aText) {
  return std::all_of(aText.begin(), aText.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Blanks and tabs around an address; controls stay, for the address check
// to refuse.
std::string Trim(std::string_view aText) {
  return TrimChars(aText, " \t");
}

// Controls (CR and LF included) become blanks, so no text can start a new
// header line or an SMTP command.
std::string NoControls(std::string_view aText) {
  std::string out = SanitizeUtf8(aText);
  for (char& c : out) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F)
      c = ' ';
  }
  return out;
}

// Length of the UTF-8 sequence that starts with aLead (1 for stray bytes).
std::size_t Utf8SeqLength(unsigned char aLead) {
  if (aLead >= 0xF0)
    return 4;
  if (aLead >= 0xE0)
    return 3;
  if (aLead >= 0xC0)
    return 2;
  return 1;
}

std::string EncodedWords(std::string_view aText) {
  std::string out;
  std::size_t pos = 0;
  while (pos < aText.size()) {
    std::size_t end = pos;
    while (end < aText.size()) {
      const std::size_t len = Utf8SeqLength(static_cast<unsigned char>(aText[end]));
      if (end + len - pos > kEncodedWordBytes)
        break;
      end += len;
    }
    if (!out.empty())
      out += "\r\n ";
    out += "=?UTF-8?B?" + Base64(aText.substr(pos, end - pos)) + "?=";
    pos = end;
  }
  return out;
}

// --- Date and message id ------------------------------------------------------

std::string DateHeaderValue() {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  ::localtime_r(&now, &t);
  const long offset = t.tm_gmtoff / 60;
  const long absOffset = offset < 0 ? -offset : offset;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[t.tm_wday],
                t.tm_mday, kMonths[t.tm_mon], t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec,
                offset < 0 ? '-' : '+', absOffset / 60, absOffset % 60);
  return buf;
}

// The domain part of the id: the sender's domain, else the host name, kept
// to the characters a domain may hold.
std::string MessageIdDomain(const std::string& aSender) {
  std::string domain;
  const auto at = aSender.rfind('@');
  if (at != std::string::npos)
    domain = aSender.substr(at + 1);
  if (domain.empty())
    domain = HostName();
  std::string clean;
  for (char c : domain) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
        c == '-') {
      clean += c;
    }
  }
  return clean.empty() ? "localhost" : clean;
}

std::string MessageIdValue(const std::string& aSender) {
  std::random_device rd;
  std::mt19937_64 gen((static_cast<std::uint64_t>(rd()) << 32) ^ rd());
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
  char buf[64];
  std::snprintf(buf, sizeof buf, "%llx.%016llx", static_cast<unsigned long long>(ms),
                static_cast<unsigned long long>(gen()));
  return std::string("<") + buf + "@" + MessageIdDomain(aSender) + ">";
}

// --- Message -----------------------------------------------------------------

struct TMailMessage {
  std::string Sender;                   // for MAIL FROM, may be empty
  std::vector<std::string> Recipients;  // for RCPT TO
  std::string Data;                     // dot-stuffed, ending in ".\r\n"
};

// Every line ends in CR LF, whatever ended it before.
std::string NormalizeLineEnds(std::string_view aText) {
  std::string out;
  out.reserve(aText.size() + 2);
  for (std::size_t i = 0; i < aText.size(); ++i) {
    const char c = aText[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < aText.size() && aText[i + 1] == '\n')
        ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  if (!out.empty() && !out.ends_with("\r\n"))
    out += "\r\n";
  return out;
}

bool FitsSevenBit(std::string_view aBody) {
  std::size_t lineLength = 0;
  for (char c : aBody) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80 || b == 0)
      return false;
    if (c == '\n') {
      lineLength = 0;
    } else if (++lineLength > kMaxBodyLine + 1) {  // + the CR
      return false;
    }
  }
  return true;
}

std::string Base64Lines(std::string_view aBytes) {
  const std::string flat = Base64(aBytes);
  std::string out;
  for (std::size_t pos = 0; pos < flat.size(); pos += 76)
    out += flat.substr(pos, 76) + "\r\n";
  return out;
}

// A line that starts with "." gets another one, so that the server never
// takes it for the end of the data.
std::string DotStuff(std::string_view aData) {
  std::string out;
  out.reserve(aData.size() + 16);
  bool lineStart = true;
  for (char c : aData) {
    if (lineStart && c == '.')
      out += '.';
    out += c;
    lineStart = c == '\n';
  }
  return out;
}

// aUtf8Only: the charset is UTF-8 whatever the text; otherwise us-ascii as
// long as the body is ASCII.
TMailMessage ComposeMessage(const TMailAddress& aFrom, const std::string& aTo,
                            const std::string& aSubject, const std::string& aText, bool aUtf8Only) {
  TMailMessage msg;
  msg.Sender = aFrom.Address;
  const std::vector<TMailAddress> to = ParseMailAddressList(aTo);
  if (to.empty())
    throw ESmtpError("No recipient address in \"" + NoControls(aTo) + "\"");

  std::string toHeader;
  for (const TMailAddress& a : to) {
    msg.Recipients.push_back(a.Address);
    if (!toHeader.empty())
      toHeader += ",\r\n ";
    toHeader += FormatMailbox(a);
  }

  std::string fromHeader;
  if (aFrom.Address.empty()) {
    // No address to show: an empty group is the valid form of that.
    fromHeader = EncodeHeaderText(aFrom.Name.empty() ? std::string("Tavo") : aFrom.Name) + ":;";
  } else {
    fromHeader = FormatMailbox(aFrom);
  }

  const std::string body = NormalizeLineEnds(SanitizeUtf8(aText));
  const bool ascii = IsAscii(body);
  const std::string charset = aUtf8Only || !ascii ? "UTF-8" : "us-ascii";
  const bool sevenBit = FitsSevenBit(body);

  std::string data;
  data += "Date: " + DateHeaderValue() + "\r\n";
  data += "From: " + fromHeader + "\r\n";
  data += "To: " + toHeader + "\r\n";
  data += "Subject: " + EncodeHeaderText(aSubject) + "\r\n";
  data += "Message-ID: " + MessageIdValue(aFrom.Address) + "\r\n";
  data += "MIME-Version: 1.0\r\n";
  data += "Content-Type: text/plain; charset=" + charset + "\r\n";
  data += std::string("Content-Transfer-Encoding: ") + (sevenBit ? "7bit" : "base64") + "\r\n";
  data += "\r\n";
  data += sevenBit ? body : Base64Lines(body);
  msg.Data = DotStuff(data) + ".\r\n";
  return msg;
}

// --- Connection --------------------------------------------------------------

int MsLeft(SteadyClock::time_point aDeadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(aDeadline - SteadyClock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 24LL * 3600 * 1000));
}

SteadyClock::time_point DeadlineIn(int aMs) {
  return SteadyClock::now() + std::chrono::milliseconds(std::max(aMs, 0));
}

// Failures that leave the connection unusable (closed by the server, an I/O
// error, a send that did not finish, a failed TLS handshake): nothing more is
// sent.
class EBrokenConnection : public ESmtpError {
 public:
  using ESmtpError::ESmtpError;
};

// Failures that leave the dialogue out of step while the connection stands: a
// reply that did not come in time, or one we cannot read. Only a QUIT is sent
// after them, without waiting long for its reply.
class EOutOfStep : public ESmtpError {
 public:
  using ESmtpError::ESmtpError;
};

// How long the QUIT after a lost step may take to send and to be answered: the
// server has already kept us waiting once.
constexpr int kQuitOutOfStepMs = 2000;

// OpenSSL is loaded when a mail first asks for TLS, not at start: most runs
// never use it, and it would take well over a megabyte of every run's memory.
// Its functions are called through this table, typed by OpenSSL's own
// declarations.
// clang-format off
#define TAVO_OPENSSL_FUNCTIONS(X) \
  X(OPENSSL_init_ssl) \
  X(ERR_get_error) \
  X(ERR_peek_error) \
  X(ERR_error_string_n) \
  X(ERR_clear_error) \
  X(TLS_client_method) \
  X(SSL_CTX_new) \
  X(SSL_CTX_free) \
  X(SSL_CTX_ctrl) \
  X(SSL_CTX_set_verify) \
  X(SSL_CTX_set_default_verify_paths) \
  X(SSL_new) \
  X(SSL_free) \
  X(SSL_get0_param) \
  X(SSL_ctrl) \
  X(SSL_set1_host) \
  X(SSL_set_fd) \
  X(SSL_connect) \
  X(SSL_get_error) \
  X(SSL_get_verify_result) \
  X(SSL_write) \
  X(SSL_read) \
  X(SSL_shutdown) \
  X(X509_VERIFY_PARAM_set1_ip_asc) \
  X(X509_verify_cert_error_string)
// clang-format on

struct TOpenSsl {
#define TAVO_OPENSSL_POINTER(name) decltype(&::name) name = nullptr;
  TAVO_OPENSSL_FUNCTIONS(TAVO_OPENSSL_POINTER)
#undef TAVO_OPENSSL_POINTER
};

constexpr const char* kLibSsl = "libssl.so.3";

TOpenSsl gOpenSsl;
std::string gOpenSslError;  // why it could not be loaded; empty once it is

// The loaded library's functions; throws when it cannot be loaded.
const TOpenSsl& OpenSsl() {
  static std::once_flag once;
  std::call_once(once, [] {
    void* library = LoadSharedLibrary(kLibSsl, gOpenSslError);
    if (!library)
      return;
#define TAVO_OPENSSL_RESOLVE(name)                                                          \
  gOpenSsl.name = reinterpret_cast<decltype(&::name)>(SharedLibrarySymbol(library, #name)); \
  if (!gOpenSsl.name && gOpenSslError.empty())                                              \
    gOpenSslError = std::string(kLibSsl) + " lacks " #name;
    TAVO_OPENSSL_FUNCTIONS(TAVO_OPENSSL_RESOLVE)
#undef TAVO_OPENSSL_RESOLVE
    if (!gOpenSslError.empty())
      return;
    // No exit handler: a detached worker may still be inside OpenSSL while
    // the process ends.
    gOpenSsl.OPENSSL_init_ssl(OPENSSL_INIT_NO_ATEXIT | OPENSSL_INIT_LOAD_SSL_STRINGS, nullptr);
  });
  if (!gOpenSslError.empty())
    throw EBrokenConnection("TLS: " + gOpenSslError);
  return gOpenSsl;
}

std::string OpenSslErrors(const TOpenSsl& aSsl) {
  std::string text;
  while (const unsigned long e = aSsl.ERR_get_error()) {
    char buf[256];
    aSsl.ERR_error_string_n(e, buf, sizeof buf);
    if (!text.empty())
      text += "; ";
    text += buf;
  }
  return text;
}

bool IsIpAddress(const std::string& aHost) {
  unsigned char buf[sizeof(in6_addr)];
  return ::inet_pton(AF_INET, aHost.c_str(), buf) == 1 ||
         ::inet_pton(AF_INET6, aHost.c_str(), buf) == 1;
}

// One TCP connection to the server, optionally under TLS, with line reading
// and every wait bounded by a deadline.
class TSmtpChannel {
 public:
  TSmtpChannel() = default;
  ~TSmtpChannel() { Close(); }
  TSmtpChannel(const TSmtpChannel&) = delete;
  TSmtpChannel& operator=(const TSmtpChannel&) = delete;

  void Connect(const std::string& aHost, std::uint16_t aPort, int aTimeoutMs) {
    try {
      fStream.Connect(aHost, aPort, aTimeoutMs);
    } catch (const ETimeout&) {
      throw EBrokenConnection(Format("Connection to %s:%d timed out", {aHost, aPort}));
    } catch (const EOSError& e) {
      throw EBrokenConnection(e.what());
    }
    // Non-blocking, so that TLS calls return instead of waiting for ever.
    const int fd = fStream.Handle();
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  }

  void StartTls(const std::string& aHost, int aTimeoutMs) {
    const TOpenSsl& ssl = OpenSsl();
    ssl.ERR_clear_error();
    fCtx = ssl.SSL_CTX_new(ssl.TLS_client_method());
    if (!fCtx)
      throw EBrokenConnection("TLS: " + OpenSslErrors(ssl));
    ssl.SSL_CTX_ctrl(fCtx, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
    ssl.SSL_CTX_set_verify(fCtx, SSL_VERIFY_PEER, nullptr);
    if (ssl.SSL_CTX_set_default_verify_paths(fCtx) != 1) {
      throw EBrokenConnection("TLS: cannot load the trust store: " + OpenSslErrors(ssl));
    }
    fSsl = ssl.SSL_new(fCtx);
    if (!fSsl)
      throw EBrokenConnection("TLS: " + OpenSslErrors(ssl));
    if (IsIpAddress(aHost)) {
      ssl.X509_VERIFY_PARAM_set1_ip_asc(ssl.SSL_get0_param(fSsl), aHost.c_str());
    } else {
      // SSL_set_tlsext_host_name() without its C cast.
      ssl.SSL_ctrl(fSsl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                   const_cast<char*>(aHost.c_str()));
      ssl.SSL_set1_host(fSsl, aHost.c_str());
    }
    ssl.SSL_set_fd(fSsl, fStream.Handle());
    // Anything the server sent before the handshake must not count as
    // protected.
    fsIn.clear();
    const auto deadline = DeadlineIn(aTimeoutMs);
    for (;;) {
      const int rc = ssl.SSL_connect(fSsl);
      if (rc == 1)
        return;
      const int err = ssl.SSL_get_error(fSsl, rc);
      if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
        if (!WaitFor(err == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline)) {
          throw EBrokenConnection("TLS handshake with " + aHost + " timed out");
        }
        continue;
      }
      const long verify = ssl.SSL_get_verify_result(fSsl);
      if (verify != X509_V_OK) {
        ssl.ERR_clear_error();
        throw EBrokenConnection("TLS: certificate of " + aHost +
                                " not accepted: " + ssl.X509_verify_cert_error_string(verify));
      }
      const std::string detail = OpenSslErrors(ssl);
      throw EBrokenConnection("TLS handshake with " + aHost + " failed" +
                              (detail.empty() ? std::string() : ": " + detail));
    }
  }

  void Write(std::string_view aData, int aTimeoutMs) {
    if (!fSsl) {
      try {
        fStream.SendAll(aData, aTimeoutMs);
      } catch (const ETimeout&) {
        throw EBrokenConnection("Timed out sending to the server");
      } catch (const EOSError& e) {
        throw EBrokenConnection(e.what());
      }
      return;
    }
    const auto deadline = DeadlineIn(aTimeoutMs);
    while (!aData.empty()) {
      gOpenSsl.ERR_clear_error();
      const int chunk = static_cast<int>(std::min<std::size_t>(aData.size(), 1 << 20));
      const int rc = gOpenSsl.SSL_write(fSsl, aData.data(), chunk);
      if (rc > 0) {
        aData.remove_prefix(static_cast<std::size_t>(rc));
        continue;
      }
      const int err = gOpenSsl.SSL_get_error(fSsl, rc);
      if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
        if (!WaitFor(err == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline)) {
          throw EBrokenConnection("Timed out sending to the server");
        }
        continue;
      }
      throw EBrokenConnection("TLS send failed: " + OpenSslErrors(gOpenSsl));
    }
  }

  // One line without its line end.
  std::string ReadLine(SteadyClock::time_point aDeadline) {
    for (;;) {
      const auto lf = fsIn.find('\n');
      if (lf != std::string::npos) {
        std::string line = fsIn.substr(0, lf);
        fsIn.erase(0, lf + 1);
        if (!line.empty() && line.back() == '\r')
          line.pop_back();
        return line;
      }
      if (fsIn.size() > kMaxReplyBytes)
        throw EOutOfStep("Reply from the server too long");
      char buf[4096];
      const std::size_t n = ReadSome(buf, sizeof buf, aDeadline);
      if (n == 0)
        throw EBrokenConnection("Connection closed by the server");
      fsIn.append(buf, n);
    }
  }

  // Forgets what has been received and not yet read: after a lost step it
  // belongs to no command we know of.
  void DropInput() { fsIn.clear(); }

  void Close() {
    if (fSsl) {
      // One non-blocking attempt at a clean close; the peer may be gone.
      gOpenSsl.ERR_clear_error();
      gOpenSsl.SSL_shutdown(fSsl);
      gOpenSsl.SSL_free(fSsl);
      fSsl = nullptr;
      gOpenSsl.ERR_clear_error();
    }
    if (fCtx) {
      gOpenSsl.SSL_CTX_free(fCtx);
      fCtx = nullptr;
    }
    fStream.Close();
  }

 private:
  bool WaitFor(short aEvents, SteadyClock::time_point aDeadline) {
    for (;;) {
      pollfd p{fStream.Handle(), aEvents, 0};
      const int n = ::poll(&p, 1, MsLeft(aDeadline));
      if (n > 0)
        return true;
      if (n == 0)
        return false;
      if (errno != EINTR)
        throw EBrokenConnection(ErrnoText("poll", errno));
    }
  }

  std::size_t ReadSome(char* aBuf, std::size_t aLen, SteadyClock::time_point aDeadline) {
    if (!fSsl) {
      try {
        return fStream.Receive(aBuf, aLen, MsLeft(aDeadline));
      } catch (const ETimeout&) {
        throw EOutOfStep("Timed out waiting for the server's reply");
      } catch (const EOSError& e) {
        throw EBrokenConnection(e.what());
      }
    }
    for (;;) {
      gOpenSsl.ERR_clear_error();
      const int rc = gOpenSsl.SSL_read(fSsl, aBuf, static_cast<int>(aLen));
      if (rc > 0)
        return static_cast<std::size_t>(rc);
      const int err = gOpenSsl.SSL_get_error(fSsl, rc);
      if (err == SSL_ERROR_ZERO_RETURN)
        return 0;
      if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
        if (!WaitFor(err == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, aDeadline)) {
          throw EOutOfStep("Timed out waiting for the server's reply");
        }
        continue;
      }
      if (err == SSL_ERROR_SYSCALL && gOpenSsl.ERR_peek_error() == 0)
        return 0;  // closed without notice
      throw EBrokenConnection("TLS receive failed: " + OpenSslErrors(gOpenSsl));
    }
  }

  TcpStream fStream;
  SSL_CTX* fCtx = nullptr;
  SSL* fSsl = nullptr;
  std::string fsIn;
};

// --- Dialogue ----------------------------------------------------------------

struct TSmtpReply {
  int Code = 0;
  std::vector<std::string> Lines;  // as received, code included
  // The reply as the server sent it, for error texts.
  std::string Text() const {
    std::string text;
    for (const std::string& line : Lines) {
      if (!text.empty())
        text += "\r\n";
      text += line;
    }
    return text;
  }
};

// The SMTP dialogue, one step per operation, each with its expected reply.
// A failure raises ESmtpError; Abandon() then ends the dialogue as far as
// the connection still allows.
class TSmtpSession {
 public:
  explicit TSmtpSession(const TMailTimeouts& aTimeouts) : fTimeouts(aTimeouts) {}

  void Open(const std::string& aHost, std::uint16_t aPort, TMailTls aTls) {
    fsHost = aHost;
    fChannel.Connect(aHost, aPort, fTimeouts.ConnectMs);
    fbOpen = true;
    if (aTls == TMailTls::eImplicit)
      fChannel.StartTls(aHost, fTimeouts.ReplyMs);
    Expect(ReadReply(fTimeouts.ReplyMs), {220});
  }

  void Hello(TMailTls aTls) {
    std::string name = HostName();
    if (name.empty())
      name = "localhost";
    fsHelloName = NoControls(name);
    SayHello();
    if (aTls != TMailTls::eStartTls)
      return;
    if (!Offers("STARTTLS"))
      throw ESmtpError("The server does not offer STARTTLS");
    Expect(Command("STARTTLS"), {220});
    fChannel.StartTls(fsHost, fTimeouts.ReplyMs);
    SayHello();
  }

  bool OffersLogin() const {
    for (const std::string& ext : fslCapabilities) {
      if (ext.size() < 5 || !SameText(ext.substr(0, 4), "AUTH"))
        continue;
      if (ext[4] != ' ' && ext[4] != '=')
        continue;
      std::size_t pos = 5;
      while (pos < ext.size()) {
        const auto end = std::min(ext.find(' ', pos), ext.size());
        if (SameText(ext.substr(pos, end - pos), "LOGIN"))
          return true;
        pos = end + 1;
      }
    }
    return false;
  }

  void AuthLogin(const std::string& aUser, const std::string& aPwd) {
    Expect(Command("AUTH LOGIN"), {334});
    Expect(Command(Base64(aUser)), {334});
    std::string secret = Base64(aPwd);
    const TSmtpReply reply = Command(secret);
    std::fill(secret.begin(), secret.end(), '\0');
    Expect(reply, {235});
  }

  void Transfer(const TMailMessage& aMessage) {
    Expect(Command("MAIL FROM:<" + aMessage.Sender + ">"), {250});
    for (const std::string& rcpt : aMessage.Recipients) {
      ExpectOrReset(Command("RCPT TO:<" + rcpt + ">"), {250, 251});
    }
    ExpectOrReset(Command("DATA"), {354});
    fChannel.Write(aMessage.Data, fTimeouts.ReplyMs);
    ExpectOrReset(ReadReply(fTimeouts.DataEndMs), {250});
  }

  // QUIT at the regular end: the mail is out, so its reply changes nothing.
  void Quit() {
    try {
      Command("QUIT", QuitWaitMs());
    } catch (const std::exception&) {
    }
    fChannel.Close();
    fbOpen = false;
  }

  // After a failure: RSET when a transaction was refused, then QUIT, as far
  // as the connection still carries them.
  void Abandon() {
    if (fbOpen && fState == TState::eInStep && fbResetDue) {
      try {
        Command("RSET", QuitWaitMs());
      } catch (const EOutOfStep&) {
        fState = TState::eOutOfStep;
      } catch (const std::exception&) {
        fState = TState::eBroken;
      }
    }
    if (fbOpen && fState == TState::eInStep) {
      try {
        Command("QUIT", QuitWaitMs());
      } catch (const std::exception&) {
      }
    } else if (fbOpen && fState == TState::eOutOfStep) {
      QuitOutOfStep();
    }
    fChannel.Close();
    fbOpen = false;
  }

  // Marks the connection unusable after an I/O failure.
  void Broken() { fState = TState::eBroken; }
  // Marks the dialogue out of step after a lost or unreadable reply.
  void OutOfStep() { fState = TState::eOutOfStep; }

 private:
  int QuitWaitMs() const { return std::min(fTimeouts.ReplyMs, 10 * 1000); }

  // QUIT with a short, bounded send. Late replies to earlier commands may
  // still come before its own, so whatever arrives is read and dropped until
  // the 221, the server's close or the deadline: closing with unread input
  // resets the connection, which may cost the server the QUIT.
  void QuitOutOfStep() {
    const int waitMs = std::min(fTimeouts.ReplyMs, kQuitOutOfStepMs);
    try {
      fChannel.DropInput();
      fChannel.Write("QUIT\r\n", waitMs);
      const auto deadline = DeadlineIn(waitMs);
      for (;;) {
        const std::string line = fChannel.ReadLine(deadline);
        if (line.starts_with("221") && (line.size() == 3 || line[3] != '-'))
          return;
      }
    } catch (const std::exception&) {
      // Timed out, closed or unreadable: the connection ends here anyway.
    }
  }

  bool Offers(std::string_view aKeyword) const {
    for (const std::string& ext : fslCapabilities) {
      const auto end = std::min(ext.find(' '), ext.size());
      if (SameText(std::string_view(ext).substr(0, end), aKeyword))
        return true;
    }
    return false;
  }

  void SayHello() {
    fslCapabilities.clear();
    const TSmtpReply ehlo = Command("EHLO " + fsHelloName);
    if (ehlo.Code == 250) {
      for (std::size_t i = 1; i < ehlo.Lines.size(); ++i) {
        fslCapabilities.push_back(ehlo.Lines[i].size() > 4 ? ehlo.Lines[i].substr(4) : "");
      }
      return;
    }
    Expect(Command("HELO " + fsHelloName), {250});
  }

  TSmtpReply Command(const std::string& aLine, int aReplyMs = -1) {
    fChannel.Write(aLine + "\r\n", fTimeouts.ReplyMs);
    return ReadReply(aReplyMs < 0 ? fTimeouts.ReplyMs : aReplyMs);
  }

  TSmtpReply ReadReply(int aTimeoutMs) {
    const auto deadline = DeadlineIn(aTimeoutMs);
    TSmtpReply reply;
    std::size_t total = 0;
    for (;;) {
      std::string line = ReceivedTextToUtf8(fChannel.ReadLine(deadline));
      total += line.size();
      if (total > kMaxReplyBytes)
        throw EOutOfStep("Reply from the server too long");
      if (line.size() < 3 || !std::all_of(line.begin(), line.begin() + 3,
                                          [](char c) { return c >= '0' && c <= '9'; })) {
        throw EOutOfStep("Invalid reply from the server: \"" + NoControls(line) + "\"");
      }
      reply.Code = std::stoi(line.substr(0, 3));
      const bool more = line.size() > 3 && line[3] == '-';
      reply.Lines.push_back(NoControls(line));
      if (!more)
        return reply;
    }
  }

  static void Expect(const TSmtpReply& aReply, std::initializer_list<int> aCodes) {
    if (std::find(aCodes.begin(), aCodes.end(), aReply.Code) == aCodes.end()) {
      throw ESmtpError(aReply.Text());
    }
  }

  void ExpectOrReset(const TSmtpReply& aReply, std::initializer_list<int> aCodes) {
    if (std::find(aCodes.begin(), aCodes.end(), aReply.Code) == aCodes.end()) {
      fbResetDue = true;
      throw ESmtpError(aReply.Text());
    }
  }

  TMailTimeouts fTimeouts;
  TSmtpChannel fChannel;
  std::string fsHost;
  std::string fsHelloName;
  std::vector<std::string> fslCapabilities;  // EHLO extension lines
  enum class TState {
    eInStep,     // every reply so far came and was read
    eOutOfStep,  // a reply was lost or unreadable; the connection stands
    eBroken,     // closed by the server or failed: nothing more is sent
  };
  bool fbOpen = false;
  TState fState = TState::eInStep;
  bool fbResetDue = false;
};

// Runs aSteps on a session and ends the dialogue properly after a failure.
template <typename F>
void RunSession(TSmtpSession& aSession, F&& aSteps) {
  try {
    aSteps();
  } catch (const EBrokenConnection&) {
    aSession.Broken();
    aSession.Abandon();
    throw;
  } catch (const EOutOfStep&) {
    aSession.OutOfStep();
    aSession.Abandon();
    throw;
  } catch (...) {
    aSession.Abandon();
    throw;
  }
}

}  // namespace

// --- Helpers -----------------------------------------------------------------

TMailAddress ParseMailAddress(std::string_view aText) {
  TMailAddress result;
  const std::string text = Trim(aText);
  const auto lt = text.rfind('<');
  if (lt != std::string::npos) {
    const auto gt = text.find('>', lt);
    if (gt == std::string::npos)
      throw Exception("Invalid mail address \"" + NoControls(text) + "\"");
    result.Address = Trim(std::string_view(text).substr(lt + 1, gt - lt - 1));
    std::string name = Trim(std::string_view(text).substr(0, lt));
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
      std::string unquoted;
      for (std::size_t i = 1; i + 1 < name.size(); ++i) {
        if (name[i] == '\\' && i + 2 < name.size())
          ++i;
        unquoted += name[i];
      }
      name = unquoted;
    }
    result.Name = name;
  } else {
    result.Address = text;
  }
  const bool bad = result.Address.empty() ||
                   std::any_of(result.Address.begin(), result.Address.end(), [](char c) {
                     const auto b = static_cast<unsigned char>(c);
                     return b <= 0x20 || b == 0x7F || c == '<' || c == '>' || c == ',';
                   });
  if (bad)
    throw Exception("Invalid mail address \"" + NoControls(text) + "\"");
  return result;
}

std::vector<TMailAddress> ParseMailAddressList(std::string_view aText) {
  std::vector<TMailAddress> list;
  std::string item;
  bool quoted = false;
  bool angled = false;
  auto flush = [&] {
    if (!Trim(item).empty())
      list.push_back(ParseMailAddress(item));
    item.clear();
  };
  for (std::size_t i = 0; i < aText.size(); ++i) {
    const char c = aText[i];
    if (quoted && c == '\\' && i + 1 < aText.size()) {
      item += c;
      item += aText[++i];
      continue;
    }
    if (c == '"' && !angled)
      quoted = !quoted;
    if (!quoted && c == '<')
      angled = true;
    if (!quoted && c == '>')
      angled = false;
    if (c == ',' && !quoted && !angled) {
      flush();
      continue;
    }
    item += c;
  }
  flush();
  return list;
}

std::string EncodeHeaderText(std::string_view aText) {
  const std::string text = NoControls(aText);
  if (IsAscii(text) && text.find("=?") == std::string::npos && text.size() <= kMaxPlainHeaderText) {
    return text;
  }
  return EncodedWords(text);
}

std::string FormatMailbox(const TMailAddress& aAddress) {
  if (aAddress.Name.empty())
    return aAddress.Address;
  const std::string name = NoControls(aAddress.Name);
  std::string shown = EncodeHeaderText(name);
  if (shown == name && name.find_first_of("()<>[]:;@\\,.\"") != std::string::npos) {
    shown = "\"";
    for (char c : name) {
      if (c == '"' || c == '\\')
        shown += '\\';
      shown += c;
    }
    shown += '"';
  }
  return shown + " <" + aAddress.Address + ">";
}

// --- TOrvoSimpleMail ----------------------------------------------------------

std::shared_ptr<TOrvoSimpleMail> TOrvoSimpleMail::Create() {
  return std::shared_ptr<TOrvoSimpleMail>(new TOrvoSimpleMail());
}

TOrvoSimpleMail::~TOrvoSimpleMail() {
  std::fill(Pwd.begin(), Pwd.end(), '\0');
}

TMailTimeouts TOrvoSimpleMail::DefaultTimeouts() {
  std::lock_guard lock(gTimeoutsMutex);
  return gDefaultTimeouts;
}

void TOrvoSimpleMail::SetDefaultTimeouts(const std::optional<TMailTimeouts>& aTimeouts) {
  std::lock_guard lock(gTimeoutsMutex);
  gDefaultTimeouts = aTimeouts.value_or(TMailTimeouts{});
}

int TOrvoSimpleMail::RunningCount() {
  return gRunning.load();
}

void TOrvoSimpleMail::Send() {
  if (fbStarted)
    throw Exception("The mail worker has already been started");
  if (!MainThread())
    throw Exception("No main thread to report the mail's outcome to");
  fsReturnMsg.clear();
  fbStarted = true;
  ++gRunning;
  try {
    std::thread([self = shared_from_this()]() mutable {
      self->Execute();
      self.reset();
      --gRunning;
    }).detach();
  } catch (const std::exception& e) {
    --gRunning;
    throw Exception(std::string("Cannot start the mail worker: ") + e.what());
  }
}

void TOrvoSimpleMail::Execute() {
  fsReturnMsg.clear();
  try {
    if (!User.empty()) {
      SendWithLogin();
    } else {
      SendPlain();
    }
  } catch (const std::exception& e) {
    std::string subject = Subject;
    if (MaxTextLengthOnException > 0 &&
        Utf16Length(subject) > static_cast<std::size_t>(MaxTextLengthOnException)) {
      subject = Utf16Left(subject, static_cast<std::size_t>(MaxTextLengthOnException));
    }
    try {
      fsReturnMsg = Format("Exception \"%s\" for <<%s>>", {SanitizeUtf8(e.what()), subject});
    } catch (const std::exception&) {
      fsReturnMsg = SanitizeUtf8(e.what());
    }
  }
  // The main thread in effect now: the one of Send may have gone at
  // shutdown.
  IMainThread* mainThread = MainThread();
  if (!mainThread)
    return;
  try {
    mainThread->Synchronize([this] {
      // A copy: the owner's handler may clear OnDone while it runs.
      const TDoneEvent done = OnDone;
      if (done)
        done(fsReturnMsg);
    });
  } catch (...) {
    // Shutdown has begun, or the owner's handler failed: there is no one
    // left to tell.
  }
}

void TOrvoSimpleMail::SendPlain() {
  // The sender may carry its own display name; FromName is not used here.
  TMailAddress from;
  if (!Trim(FromAddress).empty())
    from = ParseMailAddress(FromAddress);
  const TMailMessage message = ComposeMessage(from, ToAddress, Subject, Text, false);
  TSmtpSession session(Timeouts);
  RunSession(session, [&] {
    session.Open(Host, Port, Tls);
    session.Hello(Tls);
    session.Transfer(message);
  });
  session.Quit();
}

void TOrvoSimpleMail::SendWithLogin() {
  TMailAddress from;
  if (!Trim(FromAddress).empty())
    from = ParseMailAddress(FromAddress);
  if (!FromName.empty())
    from.Name = FromName;
  const TMailMessage message = ComposeMessage(from, ToAddress, Subject, Text, true);
  TSmtpSession session(Timeouts);
  bool authenticated = false;
  RunSession(session, [&] {
    session.Open(Host, Port, Tls);
    session.Hello(Tls);
    if (!session.OffersLogin())
      return;
    session.AuthLogin(User, Pwd);
    authenticated = true;
    session.Transfer(message);
  });
  if (!authenticated)
    fsReturnMsg = "Host connection not authenticated!";
  session.Quit();
}

}  // namespace tavo
