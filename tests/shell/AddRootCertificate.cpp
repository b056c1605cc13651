// tavo_add_root_certificate <ca.pem>: adds the PEM certificate to the ROOT
// store, so that a test's mail server is trusted the way a
// Windows machine trusts an authority, without SSL_CERT_FILE. For test
// prefixes under Wine only; exit code 0 on success.

// clang-format off
#include <windows.h>
#include <wincrypt.h>
// clang-format on

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tavo_add_root_certificate <ca.pem>\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream pem;
  pem << in.rdbuf();
  const std::string text = pem.str();
  if (!in || text.empty() || text.size() > 64 * 1024) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  DWORD size = 0;
  if (!::CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()),
                              CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
    std::fprintf(stderr, "no certificate in %s\n", argv[1]);
    return 1;
  }
  std::vector<BYTE> der(size);
  if (!::CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()),
                              CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr)) {
    std::fprintf(stderr, "no certificate in %s\n", argv[1]);
    return 1;
  }
  // The local machine's ROOT, which the current user's ROOT (what tavo
  // reads through CertOpenSystemStoreW) includes.
  HCERTSTORE store =
      ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
  if (!store) {
    std::fprintf(stderr, "cannot open the ROOT store: %lu\n", ::GetLastError());
    return 1;
  }
  const BOOL added = ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  const DWORD error = ::GetLastError();
  ::CertCloseStore(store, 0);
  if (!added) {
    std::fprintf(stderr, "cannot add the certificate: %lu\n", error);
    return 1;
  }
  return 0;
}
