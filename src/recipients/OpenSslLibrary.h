#pragma once
// OpenSSL for the mail channel's TLS, called through the table below, typed
// by OpenSSL's own declarations. On Linux the table is loaded (libssl.so.3,
// through platform/SharedLibrary) when a mail first asks for TLS rather
// than at start: most runs never use it, and it would take well over a
// megabyte of every run's memory. On Windows OpenSSL is linked statically
// and the table holds its functions directly.
//
// Any thread may ask for the table; it is loaded once per process, read
// only afterwards and never unloaded. Tests may put another table in its
// place (SetOpenSsl), e.g. one whose set-up calls fail.

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <string>

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
  X(SSL_CTX_get_cert_store) \
  X(X509_STORE_add_cert) \
  X(d2i_X509) \
  X(X509_free) \
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

namespace tavo {

struct TOpenSsl {
#define TAVO_OPENSSL_POINTER(name) decltype(&::name) name = nullptr;
  TAVO_OPENSSL_FUNCTIONS(TAVO_OPENSSL_POINTER)
#undef TAVO_OPENSSL_POINTER
};

// The table installed with SetOpenSsl, else the loaded library's. Throws
// Exception with the reason (the loader's text, or the function the library
// lacks) when the library cannot be loaded, on this and every later call.
const TOpenSsl& OpenSsl();
// Installs aTable for the TLS connections set up from now on, or with
// nullptr the loaded library again. Meant for tests; the table must outlive
// every connection that uses it.
void SetOpenSsl(const TOpenSsl* aTable);
// Fills aTable from this platform's OpenSSL; false with aError set (the
// loader's text, or the function the library lacks) when it cannot.
bool FillOpenSslTable(TOpenSsl& aTable, std::string& aError);
// The texts of the errors OpenSSL has queued on this thread, separated by
// "; "; the queue is empty afterwards.
std::string OpenSslErrors(const TOpenSsl& aSsl);

}  // namespace tavo
