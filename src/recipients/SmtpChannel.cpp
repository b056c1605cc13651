#include "recipients/SmtpChannel.h"

#include <algorithm>
#include <vector>

#include "messages/Format.h"
#include "platform/Environment.h"
#include "platform/Network.h"
#include "platform/TrustStore.h"
#include "recipients/OpenSslLibrary.h"
#include "recipients/SmtpSession.h"

namespace tavo {
namespace {

int MsLeft(TSmtpDeadline aDeadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        aDeadline - std::chrono::steady_clock::now())
                        .count();
  return static_cast<int>(std::clamp<long long>(left, 0, 24LL * 3600 * 1000));
}

// aText, then what OpenSSL queued about it.
std::string WithErrors(std::string aText, const TOpenSsl& aSsl) {
  const std::string detail = OpenSslErrors(aSsl);
  if (!detail.empty())
    aText += ": " + detail;
  return aText;
}

// The system's root certificates into the context's store; one that does
// not parse or is there already is skipped.
void AddSystemRoots(const TOpenSsl& aSsl, SSL_CTX* aCtx) {
  const std::vector<std::string> roots = SystemRootCertificates();
  if (roots.empty())
    return;
  X509_STORE* store = aSsl.SSL_CTX_get_cert_store(aCtx);
  for (const std::string& der : roots) {
    const auto* p = reinterpret_cast<const unsigned char*>(der.data());
    X509* cert = aSsl.d2i_X509(nullptr, &p, static_cast<long>(der.size()));
    if (!cert)
      continue;
    aSsl.X509_STORE_add_cert(store, cert);
    aSsl.X509_free(cert);
  }
  aSsl.ERR_clear_error();
}

}  // namespace

TSmtpDeadline DeadlineIn(int aMs) {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(aMs, 0));
}

TSmtpChannel::~TSmtpChannel() {
  Close();
}

void TSmtpChannel::Connect(const std::string& aHost, std::uint16_t aPort, int aTimeoutMs) {
  try {
    fStream.Connect(aHost, aPort, aTimeoutMs);
    // Non-blocking, so that TLS calls return instead of waiting for ever.
    fStream.SetNonBlocking();
  } catch (const ETimeout&) {
    throw EBrokenConnection(Format("Connection to %s:%d timed out", {aHost, aPort}));
  } catch (const EOSError& e) {
    throw EBrokenConnection(e.what());
  }
}

void TSmtpChannel::StartTls(const std::string& aHost, int aTimeoutMs) {
  try {
    fOpenSsl = &OpenSsl();
  } catch (const Exception& e) {
    throw EBrokenConnection(std::string("TLS: ") + e.what());
  }
  const TOpenSsl& ssl = *fOpenSsl;
  ssl.ERR_clear_error();
  fCtx = ssl.SSL_CTX_new(ssl.TLS_client_method());
  if (!fCtx)
    throw EBrokenConnection("TLS: " + OpenSslErrors(ssl));
  if (ssl.SSL_CTX_ctrl(fCtx, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr) != 1)
    throw EBrokenConnection(WithErrors("TLS: cannot require TLS 1.2 or later", ssl));
  ssl.SSL_CTX_set_verify(fCtx, SSL_VERIFY_PEER, nullptr);
  if (ssl.SSL_CTX_set_default_verify_paths(fCtx) != 1) {
    throw EBrokenConnection("TLS: cannot load the trust store: " + OpenSslErrors(ssl));
  }
  // SSL_CERT_FILE names the one bundle to trust, as OpenSSL has it;
  // otherwise the system's roots too, where OpenSSL cannot find them.
  if (EnvironmentValue("SSL_CERT_FILE").empty())
    AddSystemRoots(ssl, fCtx);
  fSsl = ssl.SSL_new(fCtx);
  if (!fSsl)
    throw EBrokenConnection("TLS: " + OpenSslErrors(ssl));
  // Without the name or address check the handshake would accept any
  // trusted certificate: a check that cannot be set fails the connection.
  if (IsIpAddress(aHost)) {
    X509_VERIFY_PARAM* param = ssl.SSL_get0_param(fSsl);
    if (!param || ssl.X509_VERIFY_PARAM_set1_ip_asc(param, aHost.c_str()) != 1)
      throw EBrokenConnection(WithErrors("TLS: cannot check the address " + aHost, ssl));
  } else {
    // SSL_set_tlsext_host_name() without its C cast.
    if (ssl.SSL_ctrl(fSsl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                     const_cast<char*>(aHost.c_str())) != 1) {
      throw EBrokenConnection(
          WithErrors("TLS: cannot set the server name " + aHost + " (SNI)", ssl));
    }
    if (ssl.SSL_set1_host(fSsl, aHost.c_str()) != 1)
      throw EBrokenConnection(WithErrors("TLS: cannot check the host name " + aHost, ssl));
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
      if (!WaitFor(err == SSL_ERROR_WANT_READ, deadline))
        throw EBrokenConnection("TLS handshake with " + aHost + " timed out");
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

void TSmtpChannel::Write(std::string_view aData, int aTimeoutMs) {
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
  const TOpenSsl& ssl = *fOpenSsl;
  const auto deadline = DeadlineIn(aTimeoutMs);
  while (!aData.empty()) {
    ssl.ERR_clear_error();
    const int chunk = static_cast<int>(std::min<std::size_t>(aData.size(), 1 << 20));
    const int rc = ssl.SSL_write(fSsl, aData.data(), chunk);
    if (rc > 0) {
      aData.remove_prefix(static_cast<std::size_t>(rc));
      continue;
    }
    const int err = ssl.SSL_get_error(fSsl, rc);
    if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
      if (!WaitFor(err == SSL_ERROR_WANT_READ, deadline))
        throw EBrokenConnection("Timed out sending to the server");
      continue;
    }
    throw EBrokenConnection("TLS send failed: " + OpenSslErrors(ssl));
  }
}

std::string TSmtpChannel::ReadLine(TSmtpDeadline aDeadline) {
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

void TSmtpChannel::Close() {
  if (fSsl) {
    // One non-blocking attempt at a clean close; the peer may be gone.
    const TOpenSsl& ssl = *fOpenSsl;
    ssl.ERR_clear_error();
    ssl.SSL_shutdown(fSsl);
    ssl.SSL_free(fSsl);
    fSsl = nullptr;
    ssl.ERR_clear_error();
  }
  if (fCtx) {
    fOpenSsl->SSL_CTX_free(fCtx);
    fCtx = nullptr;
  }
  fStream.Close();
}

bool TSmtpChannel::WaitFor(bool aReadable, TSmtpDeadline aDeadline) {
  try {
    return aReadable ? fStream.WaitReadable(aDeadline) : fStream.WaitWritable(aDeadline);
  } catch (const EOSError& e) {
    throw EBrokenConnection(e.what());
  }
}

std::size_t TSmtpChannel::ReadSome(char* aBuf, std::size_t aLen, TSmtpDeadline aDeadline) {
  if (!fSsl) {
    try {
      return fStream.Receive(aBuf, aLen, MsLeft(aDeadline));
    } catch (const ETimeout&) {
      throw EOutOfStep("Timed out waiting for the server's reply");
    } catch (const EOSError& e) {
      throw EBrokenConnection(e.what());
    }
  }
  const TOpenSsl& ssl = *fOpenSsl;
  for (;;) {
    ssl.ERR_clear_error();
    const int rc = ssl.SSL_read(fSsl, aBuf, static_cast<int>(aLen));
    if (rc > 0)
      return static_cast<std::size_t>(rc);
    const int err = ssl.SSL_get_error(fSsl, rc);
    if (err == SSL_ERROR_ZERO_RETURN)
      return 0;
    if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
      if (!WaitFor(err == SSL_ERROR_WANT_READ, aDeadline))
        throw EOutOfStep("Timed out waiting for the server's reply");
      continue;
    }
    if (err == SSL_ERROR_SYSCALL && ssl.ERR_peek_error() == 0)
      return 0;  // closed without notice
    throw EBrokenConnection("TLS receive failed: " + OpenSslErrors(ssl));
  }
}

}  // namespace tavo
