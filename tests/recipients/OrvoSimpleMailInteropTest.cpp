// The SMTP transport against a real SMTP server (python3-aiosmtpd): plain,
// with AUTH LOGIN, with STARTTLS and implicit TLS under a test certificate
// authority. The server parses each mail with Python's email package.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "MailWorkerFixture.h"
#include "SmtpPeers.h"
#include "TestSupport.h"
#include "platform/Network.h"
#include "recipients/OrvoSimpleMail.h"

namespace tavo {
namespace {

using test::AiosmtpdServer;
using test::SinkMail;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

const char* const kUmlautSubject =
    "Gr\xC3\xBC\xC3\x9F"
    "e \xC3\xA4\xC3\xB6\xC3\xBC \xE2\x82\xAC 100";

class OrvoSimpleMailInteropTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_TRUE(fMail.WaitAllDone(std::chrono::seconds(30))); }

  std::shared_ptr<TOrvoSimpleMail> NewMail(std::uint16_t aPort) { return fMail.NewMail(aPort); }
  std::optional<std::string> SendAndWait(const std::shared_ptr<TOrvoSimpleMail>& aMail) {
    return fMail.SendAndWait(aMail, std::chrono::seconds(60));
  }

  static std::vector<SinkMail> WaitForMails(const AiosmtpdServer& aServer, std::size_t aCount) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    auto mails = aServer.Mails();
    while (mails.size() < aCount && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      mails = aServer.Mails();
    }
    return mails;
  }

  test::TempDir fDir;
  test::MailWorkerFixture fMail;
};

TEST_F(OrvoSimpleMailInteropTest, PlainMailArrivesWithEnvelopeHeadersAndBody) {
  AiosmtpdServer server(fDir.Path(), {});
  auto mail = NewMail(server.Port());
  mail->FromAddress = "Tavo Agent <tavo@example.org>";
  mail->ToAddress = "ops@example.org, Night Shift <night@example.org>";
  mail->Text = "Account 100 of client App1\r\n.starts with a dot\r\n..two dots\r\n\r\nend\r\n";
  ASSERT_EQ(SendAndWait(mail), "");
  const auto mails = WaitForMails(server, 1);
  ASSERT_EQ(mails.size(), 1u);
  const SinkMail& m = mails[0];
  EXPECT_EQ(m.Get("mail_from"), "tavo@example.org");
  EXPECT_THAT(m.All("rcpt"), ElementsAre("ops@example.org", "night@example.org"));
  EXPECT_EQ(m.Get("from"), "Tavo Agent <tavo@example.org>");
  EXPECT_EQ(m.Get("to"), "ops@example.org, Night Shift <night@example.org>");
  EXPECT_EQ(m.Get("subject"), "Disk full");
  EXPECT_EQ(m.Get("content_type"), "text/plain");
  EXPECT_EQ(m.Get("charset"), "us-ascii");
  EXPECT_EQ(m.Get("mime-version"), "1.0");
  EXPECT_FALSE(m.Get("date").empty());
  EXPECT_FALSE(m.Get("message-id").empty());
  EXPECT_EQ(m.Get("helo"), HostName().empty() ? "localhost" : HostName());
  EXPECT_EQ(m.Get("tls"), "0");
  EXPECT_THAT(m.All("body"), ElementsAre("Account 100 of client App1", ".starts with a dot",
                                         "..two dots", "", "end", ""));
}

TEST_F(OrvoSimpleMailInteropTest, UmlautsAndEuroSurviveInSubjectNamesAndBody) {
  AiosmtpdServer server(fDir.Path(), {});
  auto mail = NewMail(server.Port());
  mail->FromAddress = "J\xC3\xB6rg M\xC3\xBCller <tavo@example.org>";
  mail->Subject = kUmlautSubject;
  mail->Text = std::string("Betrag: 5 \xE2\x82\xAC\r\n") + kUmlautSubject + "\r\n";
  ASSERT_EQ(SendAndWait(mail), "");
  const auto mails = WaitForMails(server, 1);
  ASSERT_EQ(mails.size(), 1u);
  const SinkMail& m = mails[0];
  EXPECT_EQ(m.Get("subject"), kUmlautSubject);
  EXPECT_TRUE(m.Get("raw_subject").starts_with("=?UTF-8?B?")) << m.Get("raw_subject");
  EXPECT_EQ(m.Get("from"), "J\xC3\xB6rg M\xC3\xBCller <tavo@example.org>");
  EXPECT_EQ(m.Get("charset"), "utf-8");
  EXPECT_THAT(m.All("body"), ElementsAre("Betrag: 5 \xE2\x82\xAC", kUmlautSubject, ""));
}

TEST_F(OrvoSimpleMailInteropTest, LoginSendsTheCredentialsTheServerChecks) {
  AiosmtpdServer::TOptions options;
  options.User = "tavo";
  options.Password = "p\xC3\xA4ss word";
  AiosmtpdServer server(fDir.Path(), options);
  auto mail = NewMail(server.Port());
  mail->User = "tavo";
  mail->Pwd = "p\xC3\xA4ss word";
  mail->FromName = "Tavo \xE2\x82\xAC Agent";
  mail->ToAddress = "a@example.org,b@example.org";
  mail->Text = "ascii only\r\n";
  ASSERT_EQ(SendAndWait(mail), "");
  const auto mails = WaitForMails(server, 1);
  ASSERT_EQ(mails.size(), 1u);
  const SinkMail& m = mails[0];
  EXPECT_EQ(m.Get("auth_user"), "tavo");
  EXPECT_EQ(m.Get("auth_password"), "p\xC3\xA4ss word");
  EXPECT_EQ(m.Get("from"), "Tavo \xE2\x82\xAC Agent <tavo@example.org>");
  EXPECT_THAT(m.All("rcpt"), ElementsAre("a@example.org", "b@example.org"));
  EXPECT_EQ(m.Get("charset"), "utf-8");

  auto wrong = NewMail(server.Port());
  wrong->User = "tavo";
  wrong->Pwd = "guess";
  const auto outcome = SendAndWait(wrong);
  ASSERT_TRUE(outcome);
  EXPECT_TRUE(outcome->starts_with("Exception \"535 ")) << *outcome;
  EXPECT_TRUE(outcome->ends_with("\" for <<Disk full>>")) << *outcome;
  EXPECT_EQ(server.Mails().size(), 1u);
}

// TLS against the server with a certificate of a test authority, which
// OpenSSL is told about through SSL_CERT_FILE only.
class OrvoSimpleMailTlsTest : public OrvoSimpleMailInteropTest {
 protected:
  void SetUp() override {
    test::MakeTestCertificates(fDir.Path());
    fOptions.CertFile = fDir.File("server.pem");
    fOptions.KeyFile = fDir.File("server.key");
  }
  void TearDown() override {
    OrvoSimpleMailInteropTest::TearDown();
    ::unsetenv("SSL_CERT_FILE");
  }

  AiosmtpdServer::TOptions fOptions;
};

TEST_F(OrvoSimpleMailTlsTest, StartTlsAndImplicitTlsDeliverWhenTheCertificateIsTrusted) {
  ::setenv("SSL_CERT_FILE", fDir.File("ca.pem").c_str(), 1);
  struct {
    const char* Mode;
    TMailTls Tls;
    const char* Host;
    bool Login;
  } cases[] = {
      {"starttls", TMailTls::eStartTls, "localhost", true},
      {"starttls", TMailTls::eStartTls, "127.0.0.1", false},
      {"implicit", TMailTls::eImplicit, "127.0.0.1", true},
  };
  for (const auto& c : cases) {
    AiosmtpdServer::TOptions options = fOptions;
    options.Tls = c.Mode;
    if (c.Login) {
      options.User = "tavo";
      options.Password = "pw";
    }
    AiosmtpdServer server(fDir.Path(), options);
    auto mail = NewMail(server.Port());
    mail->Host = c.Host;
    mail->Tls = c.Tls;
    if (c.Login) {
      mail->User = "tavo";
      mail->Pwd = "pw";
    }
    ASSERT_EQ(SendAndWait(mail), "") << c.Mode << " " << c.Host;
    const auto mails = WaitForMails(server, 1);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].Get("tls"), "1");
    EXPECT_EQ(mails[0].Get("auth_password"), c.Login ? "pw" : "");
  }
}

TEST_F(OrvoSimpleMailTlsTest, UntrustedCertificateOrPlainServerFailsClearly) {
  // Another authority: the server's certificate is not trusted.
  test::TempDir other;
  test::MakeTestCertificates(other.Path());
  ::setenv("SSL_CERT_FILE", other.File("ca.pem").c_str(), 1);
  {
    AiosmtpdServer::TOptions options = fOptions;
    options.Tls = "starttls";
    AiosmtpdServer server(fDir.Path(), options);
    auto mail = NewMail(server.Port());
    mail->Tls = TMailTls::eStartTls;
    const auto outcome = SendAndWait(mail);
    ASSERT_TRUE(outcome);
    EXPECT_THAT(*outcome, HasSubstr("TLS: certificate of 127.0.0.1 not accepted: "));
    EXPECT_THAT(*outcome, HasSubstr("unable to get local issuer certificate")) << *outcome;
    EXPECT_TRUE(server.Mails().empty());
  }
  {
    // A server without STARTTLS is not used in clear when TLS was asked for.
    AiosmtpdServer server(fDir.Path(), {});
    auto mail = NewMail(server.Port());
    mail->Tls = TMailTls::eStartTls;
    EXPECT_EQ(SendAndWait(mail),
              "Exception \"The server does not offer STARTTLS\" for <<Disk full>>");
    EXPECT_TRUE(server.Mails().empty());
  }
}

}  // namespace
}  // namespace tavo
