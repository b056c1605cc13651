#include "platform/TrustStore.h"

namespace tavo {

std::vector<std::string> SystemRootCertificates() {
  return {};
}

}  // namespace tavo
