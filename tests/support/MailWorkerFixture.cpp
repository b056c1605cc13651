#include "MailWorkerFixture.h"

namespace tavo::test {

MailWorkerFixture::MailWorkerFixture() = default;

MailWorkerFixture::~MailWorkerFixture() {
  WaitAllDone();
  TOrvoSimpleMail::SetDefaultTimeouts(std::nullopt);
}

void MailWorkerFixture::SetDefaultTimeouts(const TMailTimeouts& aTimeouts) {
  TOrvoSimpleMail::SetDefaultTimeouts(aTimeouts);
}

std::shared_ptr<TOrvoSimpleMail> MailWorkerFixture::NewMail(std::uint16_t aPort) const {
  auto mail = TOrvoSimpleMail::Create();
  mail->Host = "127.0.0.1";
  mail->Port = aPort;
  mail->FromAddress = "tavo@example.org";
  mail->ToAddress = "ops@example.org";
  mail->Subject = "Disk full";
  mail->Text = "line 1\r\nline 2\r\n";
  return mail;
}

std::optional<std::string> MailWorkerFixture::SendAndWait(
    const std::shared_ptr<TOrvoSimpleMail>& aMail, std::chrono::milliseconds aWait) {
  // Shared with the handler: a worker that reports after the wait has given
  // up must not write into a gone frame.
  auto outcome = std::make_shared<std::optional<std::string>>();
  aMail->OnDone = [outcome](const std::string& aMsg) { *outcome = aMsg; };
  aMail->Send();
  fLoop.RunUntil([&] { return outcome->has_value(); }, aWait);
  return *outcome;
}

bool MailWorkerFixture::WaitAllDone(std::chrono::milliseconds aWait) {
  return fLoop.RunUntil([] { return TOrvoSimpleMail::RunningCount() == 0; }, aWait);
}

}  // namespace tavo::test
