// The channel on its own, against a scripted server on 127.0.0.1: lines as
// the server sends them, and each way a connection fails mapped to the
// session's two kinds of failure. TLS is proved against a real server in
// OrvoSimpleMailInteropTest and fails closed in OrvoSimpleMailTest.

#include "recipients/SmtpChannel.h"

#include <gtest/gtest.h>

#include <string>

#include "SmtpPeers.h"
#include "recipients/SmtpSession.h"

namespace tavo {
namespace {

using test::ScriptedSmtpServer;

TEST(SmtpChannelTest, LinesArriveWithoutTheirEndsAndWritesReachTheServer) {
  ScriptedSmtpServer server(
      [](const std::string& aLine) -> std::optional<ScriptedSmtpServer::TResponse> {
        if (aLine.empty())  // the greeting: a reply of several lines, LF alone in the middle
          return ScriptedSmtpServer::Reply("220-first\n220-second\r\n220 last");
        if (aLine == "NOOP")
          return ScriptedSmtpServer::Reply("250 fine");
        return std::nullopt;
      });
  TSmtpChannel channel;
  channel.Connect("127.0.0.1", server.Port(), 2000);
  const auto deadline = DeadlineIn(2000);
  EXPECT_EQ(channel.ReadLine(deadline), "220-first");
  EXPECT_EQ(channel.ReadLine(deadline), "220-second");
  EXPECT_EQ(channel.ReadLine(deadline), "220 last");
  channel.Write("NOOP\r\n", 2000);
  EXPECT_EQ(channel.ReadLine(DeadlineIn(2000)), "250 fine");
  channel.Close();
  channel.Close();  // twice is harmless
}

TEST(SmtpChannelTest, EachFailureIsBrokenOrOutOfStep) {
  enum TKind { eBroken, eOutOfStep };
  struct {
    const char* Name;
    std::optional<ScriptedSmtpServer::TResponse> Greeting;
    TKind Expected;
  } cases[] = {
      {"the server closes", ScriptedSmtpServer::Close(), eBroken},
      {"the server never answers", ScriptedSmtpServer::Stall(), eOutOfStep},
      {"a line longer than any reply", ScriptedSmtpServer::Reply(std::string(70 * 1024, 'x')),
       eOutOfStep},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ScriptedSmtpServer server(
        [&c](const std::string& aLine) { return aLine.empty() ? c.Greeting : std::nullopt; });
    TSmtpChannel channel;
    channel.Connect("127.0.0.1", server.Port(), 2000);
    try {
      channel.ReadLine(DeadlineIn(300));
      ADD_FAILURE() << "a line was read";
    } catch (const EBrokenConnection&) {
      EXPECT_EQ(c.Expected, eBroken);
    } catch (const EOutOfStep&) {
      EXPECT_EQ(c.Expected, eOutOfStep);
    }
  }
}

TEST(SmtpChannelTest, NoServerMeansABrokenConnection) {
  std::uint16_t port;
  {
    ScriptedSmtpServer gone;
    port = gone.Port();
  }  // its port is closed again
  TSmtpChannel channel;
  EXPECT_THROW(channel.Connect("127.0.0.1", port, 2000), EBrokenConnection);
}

}  // namespace
}  // namespace tavo
