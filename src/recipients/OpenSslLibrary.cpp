#include "recipients/OpenSslLibrary.h"

#include <atomic>
#include <mutex>

#include "platform/Errors.h"

namespace tavo {
namespace {

TOpenSsl gOpenSsl;
std::string gOpenSslError;  // why it could not be loaded; empty once it is
std::atomic<const TOpenSsl*> gInstalled{nullptr};

}  // namespace

const TOpenSsl& OpenSsl() {
  if (const TOpenSsl* installed = gInstalled.load(std::memory_order_acquire))
    return *installed;
  static std::once_flag once;
  std::call_once(once, [] {
    if (!FillOpenSslTable(gOpenSsl, gOpenSslError))
      return;
    // No exit handler: a detached worker may still be inside OpenSSL while
    // the process ends.
    gOpenSsl.OPENSSL_init_ssl(OPENSSL_INIT_NO_ATEXIT | OPENSSL_INIT_LOAD_SSL_STRINGS, nullptr);
  });
  if (!gOpenSslError.empty())
    throw Exception(gOpenSslError);
  return gOpenSsl;
}

void SetOpenSsl(const TOpenSsl* aTable) {
  gInstalled.store(aTable, std::memory_order_release);
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

}  // namespace tavo
