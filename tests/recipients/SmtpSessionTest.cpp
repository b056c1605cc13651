// The SMTP dialogue against a scripted server that answers, refuses, closes
// or stalls on cue: the steps and their replies, and how the session ends
// after each way of failing.

#include "recipients/SmtpSession.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>

#include "SmtpPeers.h"
#include "platform/Network.h"
#include "recipients/MailMessage.h"

namespace tavo {
namespace {

using test::ScriptedSmtpServer;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string EhloName() {
  const std::string name = HostName();
  return name.empty() ? "localhost" : name;
}

// How Run() ended: Class "" after success, else the failure's class and text.
struct TEnd {
  std::string Class;
  std::string Text;
};

TEnd RunSteps(TSmtpSession& aSession, const std::function<void()>& aSteps) {
  try {
    aSession.Run(aSteps);
    return {};
  } catch (const EBrokenConnection& e) {
    return {"broken", e.what()};
  } catch (const EOutOfStep& e) {
    return {"outOfStep", e.what()};
  } catch (const ESmtpError& e) {
    return {"refused", e.what()};
  } catch (const std::exception& e) {
    return {"other", e.what()};
  }
}

// The client hangs up after its farewell (or at once), so the command list
// is complete once the server has seen the connection end.
bool WaitClosed(const ScriptedSmtpServer& aServer) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (aServer.ClosedConnections() < 1 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return aServer.ClosedConnections() >= 1;
}

class SmtpSessionTest : public ::testing::Test {
 protected:
  TMailMessage Message(const std::string& aTo = "ops@example.org",
                       const std::string& aText = "line 1\r\nline 2\r\n") {
    return ComposeMessage({"", "tavo@example.org"}, aTo, "Disk full", aText, false);
  }

  // Open, Hello, AuthLogin with aUser (if any) and Transfer of aMessage.
  TEnd Deliver(std::uint16_t aPort, const TMailMessage& aMessage, const std::string& aUser = "",
               const std::string& aPwd = "") {
    TSmtpSession session(fTimeouts);
    return RunSteps(session, [&] {
      session.Open("127.0.0.1", aPort, TMailTls::eNone);
      session.Hello(TMailTls::eNone);
      if (!aUser.empty())
        session.AuthLogin(aUser, aPwd);
      session.Transfer(aMessage);
    });
  }

  TMailTimeouts fTimeouts{2000, 2000, 2000};
};

TEST_F(SmtpSessionTest, PlainDialogueSendsOneRcptPerAddressAndStuffsDots) {
  ScriptedSmtpServer server;
  const TEnd end = Deliver(
      server.Port(),
      Message("ops@example.org, Night Shift <night@example.org>", "first\r\n.hidden\r\n..two\r\n"));
  EXPECT_EQ(end.Class, "") << end.Text;
  EXPECT_THAT(server.Commands(), ElementsAre("EHLO " + EhloName(), "MAIL FROM:<tavo@example.org>",
                                             "RCPT TO:<ops@example.org>",
                                             "RCPT TO:<night@example.org>", "DATA", ".", "QUIT"));
  ASSERT_EQ(server.Mails().size(), 1u);
  const std::string data = server.Mails()[0];
  EXPECT_THAT(data, HasSubstr("\r\nTo: ops@example.org,\r\n Night Shift <night@example.org>\r\n"));
  EXPECT_THAT(data, HasSubstr("\r\nSubject: Disk full\r\n"));
  EXPECT_THAT(data, HasSubstr("\r\nContent-Type: text/plain; charset=us-ascii\r\n"));
  EXPECT_THAT(data, HasSubstr("\r\nMIME-Version: 1.0\r\n"));
  EXPECT_THAT(data, HasSubstr("\r\nMessage-ID: <"));
  EXPECT_TRUE(data.starts_with("Date: ")) << data;
  EXPECT_TRUE(data.ends_with("\r\n\r\nfirst\r\n.hidden\r\n..two\r\n")) << data;
}

TEST_F(SmtpSessionTest, RefusedEhloFallsBackToHeloWithTheSameName) {
  ScriptedSmtpServer server(
      [](const std::string& aLine) -> std::optional<ScriptedSmtpServer::TResponse> {
        if (aLine.starts_with("EHLO"))
          return ScriptedSmtpServer::Reply("502 5.5.2 not here");
        return std::nullopt;
      });
  EXPECT_EQ(Deliver(server.Port(), Message()).Class, "");
  const auto commands = server.Commands();
  ASSERT_GE(commands.size(), 2u);
  EXPECT_EQ(commands[0], "EHLO " + EhloName());
  EXPECT_EQ(commands[1], "HELO " + EhloName());
  EXPECT_EQ(server.Mails().size(), 1u);
}

TEST_F(SmtpSessionTest, LoginIsOfferedOnlyByAnAuthLineThatNamesIt) {
  struct {
    std::vector<std::string> Capabilities;
    bool Login;
  } cases[] = {
      {{"AUTH PLAIN LOGIN", "8BITMIME"}, true},
      {{"AUTH=LOGIN", "AUTH PLAIN"}, true},  // the old form
      {{"auth cram-md5 login"}, true},
      {{"AUTH PLAIN CRAM-MD5", "8BITMIME"}, false},
      {{"AUTH LOGINX"}, false},
      {{"AUTHLOGIN"}, false},
      {{"X-AUTH LOGIN"}, false},
      {{}, false},
  };
  for (const auto& c : cases) {
    const std::string row = c.Capabilities.empty() ? "none" : c.Capabilities[0];
    ScriptedSmtpServer server;
    server.SetCapabilities(c.Capabilities);
    TSmtpSession session(fTimeouts);
    const TEnd end = RunSteps(session, [&] {
      session.Open("127.0.0.1", server.Port(), TMailTls::eNone);
      session.Hello(TMailTls::eNone);
      EXPECT_EQ(session.OffersLogin(), c.Login) << row;
      if (!session.OffersLogin())
        return;
      session.AuthLogin("tavo", "pw");
      session.Transfer(Message());
    });
    EXPECT_EQ(end.Class, "") << row << ": " << end.Text;
    ASSERT_TRUE(WaitClosed(server));
    if (c.Login) {
      EXPECT_EQ(server.IndexOf("AUTH LOGIN"), 1) << row;
      EXPECT_EQ(server.Mails().size(), 1u) << row;
    } else {
      EXPECT_THAT(server.Commands(), ElementsAre("EHLO " + EhloName(), "QUIT")) << row;
    }
  }
}

// One row per way a server lets the transfer down.
struct FailureCase {
  const char* Name;
  const char* Trigger;  // command prefix the script reacts to ("" greeting)
  enum { eReply, eClose, eStall } Act;
  const char* Reply;
  const char* Outcome;  // substring of the failure's text
  const char* Class;    // as RunSteps names it
  bool Rset;            // RSET expected before QUIT
  bool Quit;            // QUIT expected
  bool Login;
};

// Beyond the longest reply the client reads.
const std::string kOverlongReply(70 * 1024, 'x');

const FailureCase kFailures[] = {
    {"greeting", "", FailureCase::eReply, "554 5.3.2 no service", "554 5.3.2 no service", "refused",
     false, true, false},
    {"mail", "MAIL", FailureCase::eReply, "553 5.1.8 bad sender", "553 5.1.8 bad sender", "refused",
     false, true, false},
    {"rcpt", "RCPT", FailureCase::eReply, "550 5.1.1 no such user", "550 5.1.1 no such user",
     "refused", true, true, false},
    {"data", "DATA", FailureCase::eReply, "554 5.5.1 no valid recipients",
     "554 5.5.1 no valid recipients", "refused", true, true, false},
    {"dot", ".", FailureCase::eReply, "552 5.3.4 message too big", "552 5.3.4 message too big",
     "refused", true, true, false},
    {"multiline", "MAIL", FailureCase::eReply, "451-4.3.0 try\r\n451 4.3.0 later",
     "451-4.3.0 try\r\n451 4.3.0 later", "refused", false, true, false},
    {"password", "cHc=", FailureCase::eReply, "535 5.7.8 bad credentials",
     "535 5.7.8 bad credentials", "refused", false, true, true},
    {"closeAtRcpt", "RCPT", FailureCase::eClose, "", "Connection closed by the server", "broken",
     false, false, false},
    {"closeAtGreeting", "", FailureCase::eClose, "", "Connection closed by the server", "broken",
     false, false, false},
    // The connection still stands after these: QUIT goes out all the same.
    {"stallAtEhlo", "EHLO", FailureCase::eStall, "", "Timed out waiting for the server's reply",
     "outOfStep", false, true, false},
    {"stallAtDot", ".", FailureCase::eStall, "", "Timed out waiting for the server's reply",
     "outOfStep", false, true, false},
    {"garbledAtMail", "MAIL", FailureCase::eReply, "hello there",
     "Invalid reply from the server: \"hello there\"", "outOfStep", false, true, false},
    {"overlongAtRcpt", "RCPT", FailureCase::eReply, kOverlongReply.c_str(),
     "Reply from the server too long", "outOfStep", false, true, false},
};

class SmtpSessionFailureTest : public SmtpSessionTest,
                               public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SmtpSessionFailureTest, EndsWithTheServersReplyAndTheRightFarewell) {
  const FailureCase& c = GetParam();
  ScriptedSmtpServer server(
      [&c](const std::string& aLine) -> std::optional<ScriptedSmtpServer::TResponse> {
        const bool hit = c.Trigger[0] == '\0' ? aLine.empty() : aLine.starts_with(c.Trigger);
        if (!hit)
          return std::nullopt;
        if (c.Act == FailureCase::eClose)
          return ScriptedSmtpServer::Close();
        if (c.Act == FailureCase::eStall)
          return ScriptedSmtpServer::Stall();
        return ScriptedSmtpServer::Reply(c.Reply);
      });
  fTimeouts = {2000, 300, 300};
  const TEnd end =
      c.Login ? Deliver(server.Port(), Message(), "tavo", "pw") : Deliver(server.Port(), Message());
  EXPECT_EQ(end.Class, c.Class) << end.Text;
  EXPECT_THAT(end.Text, HasSubstr(c.Outcome));
  ASSERT_TRUE(WaitClosed(server));
  const auto commands = server.Commands();
  const int rset = server.IndexOf("RSET");
  const int quit = server.IndexOf("QUIT");
  EXPECT_EQ(rset >= 0, c.Rset);
  EXPECT_EQ(quit >= 0, c.Quit);
  if (c.Rset) {
    EXPECT_EQ(quit, rset + 1);
  }
  if (c.Quit) {
    EXPECT_EQ(commands.back(), "QUIT");
  }
  EXPECT_EQ(server.IndexOf("DATA") >= 0,
            std::string(c.Trigger) == "DATA" || std::string(c.Trigger) == ".");
  EXPECT_TRUE(server.Mails().size() == (std::string(c.Trigger) == "." ? 1u : 0u));
}

INSTANTIATE_TEST_SUITE_P(Servers, SmtpSessionFailureTest, ::testing::ValuesIn(kFailures),
                         [](const auto& aInfo) { return std::string(aInfo.param.Name); });

TEST_F(SmtpSessionTest, RsetThatIsNotAnsweredIsStillFollowedByQuit) {
  ScriptedSmtpServer server(
      [](const std::string& aLine) -> std::optional<ScriptedSmtpServer::TResponse> {
        if (aLine.starts_with("RCPT"))
          return ScriptedSmtpServer::Reply("550 no such user");
        if (aLine == "RSET")
          return ScriptedSmtpServer::Stall();
        return std::nullopt;
      });
  fTimeouts = {2000, 300, 300};
  const TEnd end = Deliver(server.Port(), Message());
  EXPECT_EQ(end.Class, "refused");
  EXPECT_EQ(end.Text, "550 no such user");
  ASSERT_TRUE(WaitClosed(server));
  const auto commands = server.Commands();
  ASSERT_GE(commands.size(), 2u);
  EXPECT_THAT(std::vector(commands.end() - 2, commands.end()), ElementsAre("RSET", "QUIT"));
}

TEST_F(SmtpSessionTest, FirstRefusedRecipientEndsTheTransfer) {
  ScriptedSmtpServer server(
      [](const std::string& aLine) -> std::optional<ScriptedSmtpServer::TResponse> {
        if (aLine == "RCPT TO:<b@example.org>")
          return ScriptedSmtpServer::Reply("550 no b");
        return std::nullopt;
      });
  const TEnd end = Deliver(server.Port(), Message("a@example.org, b@example.org, c@example.org"));
  EXPECT_EQ(end.Text, "550 no b");
  ASSERT_TRUE(WaitClosed(server));
  EXPECT_EQ(server.IndexOf("RCPT TO:<c@"), -1);
}

}  // namespace
}  // namespace tavo
