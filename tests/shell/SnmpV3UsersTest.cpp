// The section of further SNMPv3 users: what loads, and the one line each
// faulty entry leaves in the log, never with a password.

#include "shell/SnmpV3Users.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace tavo {
namespace {

TEST(SnmpV3UsersTest, LinesLoadOrAreReportedByTheirFaultyField) {
  test::MessageCapture capture(eTrace);
  const std::vector<TTrapUser> users = LoadSnmpV3Users({
      "ops=SHA-256;auth secret 1;AES-256;priv secret 1",
      "watch=sha;auth secret 2",
      "quoted=MD5;\"a;b\";aes192c;\"c;d\"",
      "=MD5;auth secret 3",
      "ops=MD5;auth secret 4",
      "noauth=;auth secret 5",
      "badauth=SHA-2;auth secret 6",
      "nopwd=MD5",
      "nopriv=MD5;auth secret 7;;priv secret 7",
      "badpriv=MD5;auth secret 8;AES-512;priv secret 8",
      "noprivpwd=MD5;auth secret 9;DES",
      "extra=MD5;auth secret 10;DES;priv secret 10;more",
  });
  ASSERT_EQ(users.size(), 3u);
  EXPECT_EQ(users[0].Name, "ops");
  EXPECT_EQ(users[0].AuthMode, TV3Auth::AuthSHA256);
  EXPECT_EQ(users[0].AuthPwd, "auth secret 1");
  EXPECT_TRUE(users[0].HasPrivacy);
  EXPECT_EQ(users[0].PrivMode, TV3Priv::PrivAES256);
  EXPECT_EQ(users[0].PrivPwd, "priv secret 1");
  EXPECT_EQ(users[1].Name, "watch");
  EXPECT_EQ(users[1].AuthMode, TV3Auth::AuthSHA1);
  EXPECT_FALSE(users[1].HasPrivacy);
  EXPECT_EQ(users[2].AuthPwd, "a;b");
  EXPECT_EQ(users[2].PrivMode, TV3Priv::PrivAES192C);
  EXPECT_EQ(users[2].PrivPwd, "c;d");
  EXPECT_EQ(capture.Lines(),
            (std::vector<std::string>{
                "Error: SNMPv3 user \"\" not loaded: no name",
                "Error: SNMPv3 user \"ops\" not loaded: defined before",
                "Error: SNMPv3 user \"noauth\" not loaded: AuthProtocol missing",
                "Error: SNMPv3 user \"badauth\" not loaded: unknown AuthProtocol \"SHA-2\"",
                "Error: SNMPv3 user \"nopwd\" not loaded: AuthPassword missing",
                "Error: SNMPv3 user \"nopriv\" not loaded: PrivProtocol missing",
                "Error: SNMPv3 user \"badpriv\" not loaded: unknown PrivProtocol \"AES-512\"",
                "Error: SNMPv3 user \"noprivpwd\" not loaded: PrivPassword missing",
                "Error: SNMPv3 user \"extra\" not loaded: more than four fields",
            }));
  for (const std::string& line : capture.Lines())
    EXPECT_EQ(line.find("secret"), std::string::npos) << line;
}

TEST(SnmpV3UsersTest, UsersBeyondTheBoundAreLeftOut) {
  test::MessageCapture capture(eTrace);
  TStringList lines;
  for (std::size_t i = 0; i <= kMaxSnmpV3Users; ++i)
    lines.push_back("u" + std::to_string(i) + "=MD5;pw" + std::to_string(i));
  EXPECT_EQ(LoadSnmpV3Users(lines).size(), kMaxSnmpV3Users);
  EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"Error: SNMPv3 user \"u256\" not loaded: "
                                                       "more than 256 users"}));
}

}  // namespace
}  // namespace tavo
