// Mails per second through the SMTP transport to a scripted server on
// loopback: one worker per mail as the mail recipient runs them, one after
// another; and the RFC 2047 encoding of a long subject with umlauts.

#include <benchmark/benchmark.h>

#include <optional>
#include <string>

#include "MailWorkerFixture.h"
#include "SmtpPeers.h"
#include "TestSupport.h"
#include "recipients/MailMessage.h"
#include "recipients/RecipientMail.h"

namespace {

void MailThroughWorker(benchmark::State& state) {
  tavo::test::MailWorkerFixture workers;
  tavo::test::ScriptedSmtpServer server;
  const std::string body(static_cast<std::size_t>(state.range(0)), 'x');
  for (auto _ : state) {
    auto mail = workers.NewMail(server.Port());
    mail->Subject = "Account 100 of App1";
    mail->Text = body + "\r\n";
    const std::optional<std::string> outcome = workers.SendAndWait(mail);
    if (!outcome || !outcome->empty()) {
      state.SkipWithError("mail failed");
      break;
    }
  }
  workers.WaitAllDone();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(MailThroughWorker)
    ->Arg(100)
    ->Arg(64 * 1024)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// 100 reports handed to one recipient at once, until the last has gone.
void QueuedReportsThroughRecipient(benchmark::State& state) {
  tavo::test::MessageCapture msgs(tavo::eNone);
  tavo::test::MailWorkerFixture workers;
  tavo::test::ScriptedSmtpServer server;
  constexpr int kReports = 100;
  for (auto _ : state) {
    std::unique_ptr<tavo::TRecipient> r = tavo::TRecipient::CreateObject(
        "Mail1", "Type=SmtpMail;Host=127.0.0.1;Port=" + std::to_string(server.Port()) +
                     ";FromAddress=tavo@example.org;To=ops@example.org");
    auto& mail = dynamic_cast<tavo::TRecipientMail&>(*r);
    const std::size_t before = server.Mails().size();
    for (int i = 0; i < kReports; ++i)
      mail.Report("Report " + std::to_string(i) + "\r\nbody");
    if (!workers.Loop().RunUntil(
            [&] { return server.Mails().size() == before + kReports && !mail.Sending(); },
            std::chrono::seconds(60))) {
      state.SkipWithError("reports did not all go out");
      break;
    }
  }
  workers.WaitAllDone();
  state.SetItemsProcessed(state.iterations() * kReports);
}
BENCHMARK(QueuedReportsThroughRecipient)->UseRealTime()->Unit(benchmark::kMillisecond);

void EncodeLongSubject(benchmark::State& state) {
  std::string subject;
  for (int i = 0; i < 50; ++i)
    subject +=
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x82\xAC ";
  for (auto _ : state)
    benchmark::DoNotOptimize(tavo::EncodeHeaderText(subject));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(subject.size()));
}
BENCHMARK(EncodeLongSubject);

}  // namespace

BENCHMARK_MAIN();
