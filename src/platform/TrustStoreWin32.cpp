#include "platform/TrustStore.h"

// clang-format off
#include <windows.h>
#include <wincrypt.h>
// clang-format on

namespace tavo {

std::vector<std::string> SystemRootCertificates() {
  std::vector<std::string> certificates;
  HCERTSTORE store = ::CertOpenSystemStoreW(0, L"ROOT");
  if (!store)
    return certificates;
  PCCERT_CONTEXT cert = nullptr;
  while ((cert = ::CertEnumCertificatesInStore(store, cert)) != nullptr) {
    if (cert->dwCertEncodingType & X509_ASN_ENCODING)
      certificates.emplace_back(reinterpret_cast<const char*>(cert->pbCertEncoded),
                                cert->cbCertEncoded);
  }
  ::CertCloseStore(store, 0);
  return certificates;
}

}  // namespace tavo
