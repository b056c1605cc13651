// The ROOT store as Windows (here Wine, which fills it from the host's
// bundle) holds it: certificates in DER form, each one SEQUENCE.

#include "platform/TrustStore.h"

#include <gtest/gtest.h>

namespace tavo {
namespace {

TEST(TrustStoreTest, TheRootStoreGivesCertificatesInDerForm) {
  const auto roots = SystemRootCertificates();
  ASSERT_FALSE(roots.empty());
  for (const std::string& der : roots) {
    ASSERT_GE(der.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(der[0]), 0x30);  // SEQUENCE
  }
}

}  // namespace
}  // namespace tavo
