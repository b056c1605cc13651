// A mail recipient loaded from its configuration line delivers to a real
// SMTP server (python3-aiosmtpd) that checks the password of a passcode.

#include "recipients/RecipientMail.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "MailWorkerFixture.h"
#include "SmtpPeers.h"
#include "TestSupport.h"
#include "config/RC4Coder.h"

namespace tavo {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

TEST(RecipientMailInteropTest, ConfiguredRecipientWithPasscodeDeliversReports) {
  test::TempDir dir;
  test::MessageCapture msgs;
  test::MailWorkerFixture workers;
  const std::string password = "S\xC3\xBC\xC3\x9F \xE2\x82\xAC";  // Süß €
  test::AiosmtpdServer::TOptions options;
  options.User = "tavo";
  options.Password = password;
  test::AiosmtpdServer server(dir.Path(), options);

  const std::string passcode = TRC4HexCoder::Encode("Tavo" + password);
  std::unique_ptr<TRecipient> recipient = TRecipient::CreateObject(
      "Mail1", "Type=SmtpMail;Host=127.0.0.1;Port=" + std::to_string(server.Port()) +
                   ";User=tavo;Passcode=" + passcode +
                   ";FromName=Tavo;FromAddress=tavo@example.org;To=ops@example.org");
  ASSERT_NE(recipient, nullptr);
  auto& mail = dynamic_cast<TRecipientMail&>(*recipient);
  mail.Report(
      "Gr\xC3\xBC\xC3\x9F"
      "e aus App1\r\nAccount 100: 3 messages\r\n.dot line");
  mail.Report("Second");
  ASSERT_TRUE(workers.Loop().RunUntil([&] { return server.Mails().size() == 2 && !mail.Sending(); },
                                      std::chrono::seconds(60)));
  const auto mails = server.Mails();
  EXPECT_EQ(mails[0].Get("auth_password"), password);
  EXPECT_EQ(mails[0].Get("subject"),
            "Gr\xC3\xBC\xC3\x9F"
            "e aus App1");
  EXPECT_THAT(mails[0].All("body"), ElementsAre("Account 100: 3 messages", ".dot line", ""));
  EXPECT_EQ(mails[0].Get("from"), "Tavo <tavo@example.org>");
  EXPECT_EQ(mails[1].Get("subject"), "Second");
  EXPECT_EQ(msgs.Lines().back(), "Trace: Mail to \"Mail1\" sent");
  for (const std::string& line : msgs.Lines())
    EXPECT_THAT(line, Not(HasSubstr(password)));
  recipient.reset();
  EXPECT_TRUE(workers.WaitAllDone(std::chrono::seconds(10)));
}

}  // namespace
}  // namespace tavo
