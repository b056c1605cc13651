#include "platform/Network.h"

#include <gtest/gtest.h>

namespace tavo {
namespace {

TEST(NetworkTest, OnlyNumericAddressesAreIpAddresses) {
  struct {
    const char* Text;
    bool Ip;
  } cases[] = {
      {"127.0.0.1", true},
      {"10.20.30.40", true},
      {"::1", true},
      {"fe80::1:2", true},
      {"::ffff:192.0.2.1", true},
      {"localhost", false},
      {"mail.example.org", false},
      {"", false},
      {"1.2.3", false},         // the short forms inet_aton would take
      {"256.1.1.1", false},     // out of range
      {" 127.0.0.1", false},    // blanks are not trimmed
      {"[::1]", false},         // brackets belong to URLs
      {"fe80::1%eth0", false},  // a scope is not part of the address
      {"127.0.0.1:25", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsIpAddress(c.Text), c.Ip) << '"' << c.Text << '"';
}

}  // namespace
}  // namespace tavo
