// The mail worker against a scripted server: what it makes of its
// properties, the outcome it hands to the main thread, TLS that fails closed
// when the server's check cannot be set, and its own life (detached,
// started once, only with a main thread, outliving the main thread).

#include "recipients/OrvoSimpleMail.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

#include "ByteText.h"
#include "MailWorkerFixture.h"
#include "SmtpPeers.h"
#include "TestProcess.h"
#include "platform/Network.h"
#include "platform/TextCodec.h"
#include "recipients/OpenSslLibrary.h"

namespace tavo {
namespace {

using namespace std::chrono_literals;
using test::ScriptedSmtpServer;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

using test::Base64Decode;

std::string EhloName() {
  const std::string name = HostName();
  return name.empty() ? "localhost" : name;
}

class OrvoSimpleMailTest : public ::testing::Test {
 protected:
  OrvoSimpleMailTest() { fMail.SetDefaultTimeouts({2000, 2000, 2000}); }
  void TearDown() override {
    // No worker may outlive the loop it reports to.
    EXPECT_TRUE(fMail.WaitAllDone());
  }

  std::shared_ptr<TOrvoSimpleMail> NewMail(std::uint16_t aPort) { return fMail.NewMail(aPort); }
  std::optional<std::string> SendAndWait(const std::shared_ptr<TOrvoSimpleMail>& aMail) {
    return fMail.SendAndWait(aMail);
  }

  test::MailWorkerFixture fMail;
};

TEST_F(OrvoSimpleMailTest, LoginDialogueAuthenticatesFirstAndKeepsOneRcptPerAddress) {
  ScriptedSmtpServer server;
  auto mail = NewMail(server.Port());
  mail->User = "tavo";
  mail->Pwd = "s3cr\xC3\xA9t";
  mail->FromName = "Tavo Agent";
  mail->ToAddress = "a@example.org,b@example.org";
  EXPECT_EQ(SendAndWait(mail), "");
  const auto commands = server.Commands();
  ASSERT_GE(commands.size(), 6u);
  EXPECT_EQ(commands[1], "AUTH LOGIN");
  EXPECT_EQ(Base64Decode(commands[2]), "tavo");
  EXPECT_EQ(Base64Decode(commands[3]), "s3cr\xC3\xA9t");
  EXPECT_EQ(commands[4], "MAIL FROM:<tavo@example.org>");
  EXPECT_EQ(commands[5], "RCPT TO:<a@example.org>");
  EXPECT_EQ(commands[6], "RCPT TO:<b@example.org>");
  ASSERT_EQ(server.Mails().size(), 1u);
  EXPECT_THAT(server.Mails()[0], HasSubstr("\r\nFrom: Tavo Agent <tavo@example.org>\r\n"));
  EXPECT_THAT(server.Mails()[0], HasSubstr("charset=UTF-8"));
}

TEST_F(OrvoSimpleMailTest, WithoutLoginAmongAuthMechanismsNothingIsSent) {
  ScriptedSmtpServer server;
  server.SetCapabilities({"AUTH PLAIN CRAM-MD5", "8BITMIME"});
  auto mail = NewMail(server.Port());
  mail->User = "tavo";
  mail->Pwd = "pw";
  EXPECT_EQ(SendAndWait(mail), "Host connection not authenticated!");
  EXPECT_THAT(server.Commands(), ElementsAre("EHLO " + EhloName(), "QUIT"));
}

TEST_F(OrvoSimpleMailTest, EveryKindOfFailureReachesTheOwnerAsOneLine) {
  struct {
    const char* Trigger;
    ScriptedSmtpServer::TAct Act;
    const char* Reply;
    const char* Outcome;
  } cases[] = {
      {"MAIL", ScriptedSmtpServer::TAct::eReply, "553 5.1.8 bad sender",
       "Exception \"553 5.1.8 bad sender\" for <<Disk full>>"},
      {"RCPT", ScriptedSmtpServer::TAct::eClose, "",
       "Exception \"Connection closed by the server\" for <<Disk full>>"},
      {"EHLO", ScriptedSmtpServer::TAct::eStall, "",
       "Exception \"Timed out waiting for the server's reply\" for <<Disk full>>"},
  };
  for (const auto& c : cases) {
    ScriptedSmtpServer server(
        [&c](const std::string& aLine) -> std::optional<ScriptedSmtpServer::TResponse> {
          if (!aLine.starts_with(c.Trigger))
            return std::nullopt;
          return ScriptedSmtpServer::TResponse{c.Act, c.Reply};
        });
    auto mail = NewMail(server.Port());
    mail->Timeouts = {2000, 300, 300};
    EXPECT_EQ(SendAndWait(mail), c.Outcome);
  }
}

TEST_F(OrvoSimpleMailTest, LongSubjectIsCutInTheOutcomeOnly) {
  ScriptedSmtpServer server(
      [](const std::string& aLine) -> std::optional<ScriptedSmtpServer::TResponse> {
        if (aLine.starts_with("MAIL"))
          return ScriptedSmtpServer::Reply("451 later");
        return std::nullopt;
      });
  // 300 characters, the euro sign (one UTF-16 unit, three bytes) among them.
  std::string subject;
  for (int i = 0; i < 100; ++i)
    subject += "ab\xE2\x82\xAC";
  for (int limit : {255, 0}) {
    auto mail = NewMail(server.Port());
    mail->Subject = subject;
    mail->MaxTextLengthOnException = limit;
    const auto outcome = SendAndWait(mail);
    ASSERT_TRUE(outcome);
    const std::string shown = limit > 0 ? Utf16Left(subject, 255) : subject;
    EXPECT_EQ(*outcome, "Exception \"451 later\" for <<" + shown + ">>");
  }
  EXPECT_EQ(Utf16Length(Utf16Left(subject, 255)), 255u);
}

TEST_F(OrvoSimpleMailTest, EmptySenderGivesNullReversePath) {
  ScriptedSmtpServer server;
  auto mail = NewMail(server.Port());
  mail->FromAddress = "";
  EXPECT_EQ(SendAndWait(mail), "");
  EXPECT_EQ(server.IndexOf("MAIL FROM:<>"), 1);
  ASSERT_EQ(server.Mails().size(), 1u);
  EXPECT_THAT(server.Mails()[0], HasSubstr("\r\nFrom: Tavo:;\r\n"));
}

TEST_F(OrvoSimpleMailTest, ConnectionAndAddressFailuresAreReported) {
  // A port nothing listens on: bind one, note it, close it.
  std::uint16_t deadPort = 0;
  {
    ScriptedSmtpServer probe;
    deadPort = probe.Port();
  }
  struct {
    std::string Host;
    std::string To;
    const char* Outcome;
  } cases[] = {
      {"127.0.0.1", "ops@example.org", "Connection refused"},
      {"no-such-host.invalid", "ops@example.org", "Cannot resolve \"no-such-host.invalid\""},
      {"127.0.0.1", " , ", "No recipient address"},
      {"127.0.0.1", "ops@example.org\r\nRSET", "Invalid mail address"},
  };
  for (const auto& c : cases) {
    auto mail = NewMail(deadPort);
    mail->Host = c.Host;
    mail->ToAddress = c.To;
    const auto outcome = SendAndWait(mail);
    ASSERT_TRUE(outcome) << c.Host;
    EXPECT_THAT(*outcome, HasSubstr(c.Outcome));
    EXPECT_TRUE(outcome->starts_with("Exception \"")) << *outcome;
  }
}

TEST_F(OrvoSimpleMailTest, DetachedWorkerReportsToNoOne) {
  // The server holds the mail until the owner has let go.
  ScriptedSmtpServer server(
      [](const std::string& aLine) -> std::optional<ScriptedSmtpServer::TResponse> {
        if (aLine.starts_with("MAIL"))
          return ScriptedSmtpServer::Stall();
        return std::nullopt;
      });
  bool called = false;
  auto mail = NewMail(server.Port());
  mail->Timeouts = {2000, 500, 500};
  mail->OnDone = [&](const std::string&) { called = true; };
  std::weak_ptr<TOrvoSimpleMail> watch = mail;
  mail->Send();
  ASSERT_TRUE(fMail.Loop().RunUntil([&] { return server.IndexOf("MAIL") >= 0; }));
  mail->OnDone = nullptr;  // what the owner does when it goes
  mail.reset();
  EXPECT_TRUE(fMail.WaitAllDone(std::chrono::seconds(10)));
  EXPECT_FALSE(called);
  EXPECT_TRUE(watch.expired());  // the worker freed itself
}

TEST_F(OrvoSimpleMailTest, SendNeedsAMainThreadAndStartsOnce) {
  ScriptedSmtpServer server;
  auto mail = NewMail(server.Port());
  EXPECT_EQ(SendAndWait(mail), "");
  EXPECT_THROW(mail->Send(), Exception);
  SetMainThread(nullptr);
  EXPECT_THROW(NewMail(server.Port())->Send(), Exception);
  SetMainThread(&fMail.Loop());
}

// An OpenSSL table whose check set-up fails where a row says; it counts
// the handshakes that were tried anyway.
std::atomic<int> gHandshakes{0};
const TOpenSsl* gRealSsl = nullptr;

TEST_F(OrvoSimpleMailTest, TlsFailsClosedWhenTheServerCheckCannotBeSet) {
  gRealSsl = &OpenSsl();
  struct {
    const char* Host;
    void (*Break)(TOpenSsl&);
    const char* Outcome;
  } cases[] = {
      {"localhost",
       [](TOpenSsl& aSsl) { aSsl.SSL_set1_host = [](SSL*, const char*) { return 0; }; },
       "TLS: cannot check the host name localhost"},
      {"127.0.0.1",
       [](TOpenSsl& aSsl) {
         aSsl.X509_VERIFY_PARAM_set1_ip_asc = [](X509_VERIFY_PARAM*, const char*) { return 0; };
       },
       "TLS: cannot check the address 127.0.0.1"},
      {"localhost",
       [](TOpenSsl& aSsl) {
         aSsl.SSL_ctrl = [](SSL* aS, int aCmd, long aLarg, void* aParg) -> long {
           if (aCmd == SSL_CTRL_SET_TLSEXT_HOSTNAME)
             return 0;
           return gRealSsl->SSL_ctrl(aS, aCmd, aLarg, aParg);
         };
       },
       "TLS: cannot set the server name localhost (SNI)"},
      {"localhost",
       [](TOpenSsl& aSsl) {
         aSsl.SSL_CTX_ctrl = [](SSL_CTX*, int, long, void*) -> long { return 0; };
       },
       "TLS: cannot require TLS 1.2 or later"},
  };
  for (const auto& c : cases) {
    for (TMailTls tls : {TMailTls::eImplicit, TMailTls::eStartTls}) {
      SCOPED_TRACE(std::string(c.Outcome) +
                   (tls == TMailTls::eImplicit ? " implicit" : " STARTTLS"));
      ScriptedSmtpServer server(
          [](const std::string& aLine) -> std::optional<ScriptedSmtpServer::TResponse> {
            if (aLine == "STARTTLS")
              return ScriptedSmtpServer::Reply("220 go ahead");
            return std::nullopt;
          });
      server.SetCapabilities({"STARTTLS", "8BITMIME"});
      TOpenSsl broken = *gRealSsl;
      broken.SSL_connect = [](SSL*) {
        ++gHandshakes;
        return -1;
      };
      c.Break(broken);
      gHandshakes = 0;
      SetOpenSsl(&broken);
      auto mail = NewMail(server.Port());
      mail->Host = c.Host;
      mail->Tls = tls;
      const auto outcome = SendAndWait(mail);
      SetOpenSsl(nullptr);
      EXPECT_EQ(outcome, "Exception \"" + std::string(c.Outcome) + "\" for <<Disk full>>");
      EXPECT_EQ(gHandshakes, 0);
      EXPECT_TRUE(server.Mails().empty());
    }
  }
}

TEST_F(OrvoSimpleMailTest, AWorkerThatCompletesAfterTheMainThreadIsGoneTellsNoOne) {
  struct {
    const char* When;
    bool Stall;  // the server holds the mail until the reply time-out
    int Rounds;  // without the wait, a released worker races the freeing: rounds catch it
  } cases[] = {
      {"waiting in the hand-off when it goes", false, 5},
      {"still talking to the server when it goes", true, 1},
  };
  for (const auto& c : cases) {
    for (int round = 0; round < c.Rounds; ++round) {
      SCOPED_TRACE(c.When);
      ScriptedSmtpServer server(
          [&c](const std::string& aLine) -> std::optional<ScriptedSmtpServer::TResponse> {
            if (c.Stall && aLine.starts_with("MAIL"))
              return ScriptedSmtpServer::Stall();
            return std::nullopt;
          });
      // A hand-off of its own, on the heap, so that a worker touching it after
      // it has gone is a use after free.
      auto handOff = std::make_unique<test::TestMainLoop>();
      auto called = std::make_shared<std::atomic<bool>>(false);
      auto mail = NewMail(server.Port());
      mail->Timeouts = {2000, 300, 300};
      mail->OnDone = [called](const std::string&) { *called = true; };
      std::weak_ptr<TOrvoSimpleMail> watch = mail;
      mail->Send();
      mail.reset();
      if (c.Stall) {
        ASSERT_TRUE(test::WaitFor([&] { return server.IndexOf("MAIL") >= 0; }, 10s));
      } else {
        ASSERT_TRUE(test::WaitFor([&] { return handOff->Waiting() == 1; }, 10s));
      }
      handOff.reset();  // it never ran the worker's hand-off
      EXPECT_EQ(MainThread(), nullptr);
      EXPECT_TRUE(test::WaitFor([] { return TOrvoSimpleMail::RunningCount() == 0; }, 10s));
      EXPECT_FALSE(*called);
      EXPECT_TRUE(watch.expired());
    }
  }
  SetMainThread(&fMail.Loop());
}

TEST_F(OrvoSimpleMailTest, DefaultTimeoutsAreInstalledAndRestored) {
  fMail.SetDefaultTimeouts({1, 2, 3});
  const TMailTimeouts set = NewMail(25)->Timeouts;
  EXPECT_EQ(set.ConnectMs, 1);
  EXPECT_EQ(set.DataEndMs, 3);
  TOrvoSimpleMail::SetDefaultTimeouts(std::nullopt);
  const TMailTimeouts builtIn = NewMail(25)->Timeouts;
  EXPECT_EQ(builtIn.ConnectMs, 30 * 1000);
  EXPECT_EQ(builtIn.ReplyMs, 60 * 1000);
  EXPECT_EQ(builtIn.DataEndMs, 10 * 60 * 1000);
}

}  // namespace
}  // namespace tavo
