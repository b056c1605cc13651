#include "platform/Network.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/NameLookup.h"
#include "platform/Socket.h"

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

// A resolver that answers only after half a second, as a dead DNS server
// would after much longer.
int SlowResolver(const char* aHost, const char* aService, const addrinfo* aHints,
                 addrinfo** aResult) {
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  return ::getaddrinfo(aHost, aService, aHints, aResult);
}

TEST(NetworkTest, ALookUpThatTakesTooLongGivesUpInTime) {
  SetNameResolver(&SlowResolver);
  addrinfo hints{};
  hints.ai_family = AF_INET;
  TAddrInfo result;
  int err = 0;
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_EQ(LookUpAddresses("localhost", "", hints, result, err, 50), EAI_AGAIN);
  EXPECT_EQ(err, ETIMEDOUT);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(400));
  EXPECT_EQ(result, nullptr);
  // Within the bound it answers; numbers never wait for a resolver.
  EXPECT_EQ(LookUpAddresses("localhost", "", hints, result, err, 5000), 0);
  EXPECT_NE(result, nullptr);
  EXPECT_EQ(ResolveAddress("127.0.0.1", 162, TSockType::eDatagram).ToString(), "127.0.0.1:162");
  SetNameResolver(nullptr);
  // The abandoned look-up finishes on its own and frees what it got.
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
}

}  // namespace
}  // namespace tavo
