#pragma once
// A message account watches one message id of one client: it counts the
// messages that arrive with that id, and at every check cycle tests its
// condition and, when it holds, sends a report to a recipient or hands its
// client a command ("Restart", "SystemReboot").
//
// Configuration line (value of a client section key = the message id):
//   label;threshold;count-or-daily;action[;recipient;template]
// Count mode ("Count=N"): a window spans N + 1 check cycles; when it closes,
// threshold 0 holds when any message arrived, threshold T when fewer than T
// arrived. Daily mode ("MTWTF--@08:00"): once a day on the marked weekdays,
// at the first check at or after the trigger time.
//
// Main thread only (trap dispatch and check cycle). The account reads the
// time through Clock() (platform/Clock.h) and reports through
// TRecipientList::Instance(). It does not own its client.

#include <cstdint>
#include <string>
#include <string_view>

#include "config/IniFileIo.h"

namespace tavo {

class TClient;

class TMessageAccount {
 public:
  TMessageAccount() = default;
  TMessageAccount(const TMessageAccount&) = delete;
  TMessageAccount& operator=(const TMessageAccount&) = delete;

  // Configures the account from its line. true when the line is valid (an
  // Info line "Loaded message ..." has been emitted); false after one Error
  // "Invalid message config: <reason>". Never throws.
  bool Init(const TClient* aClient, std::int32_t aId, const std::string& aCsv);
  // Counts one message; a non-empty text replaces the kept one.
  void Increment(const std::string& aText);
  // One line describing the counter, for the console.
  std::string ReadCounter() const;
  // true when the condition held at this check cycle (also when a
  // "SendOnce" report was held back). aCmdToExe is cleared and receives the
  // action when it is a client command.
  bool CheckCondition(std::string& aCmdToExe);
  // The report text from the template, with its placeholders filled in.
  std::string BuildReport() const;

  std::int32_t Id() const { return FiId; }
  const std::string& Label() const { return fsLabel; }
  const std::string& Text() const { return fsText; }
  std::uint32_t EventCounter() const { return fnEventCounter; }
  std::uint32_t IntervalCounter() const { return fnIntervalCounter; }
  std::uint32_t IntervalCnt() const { return fnIntervalCnt; }
  std::uint32_t Threshold() const { return fnThreshold; }
  // Trigger time in milliseconds since midnight (daily mode).
  std::int64_t TriggerTime() const { return fTriggerTime; }
  const std::string& TriggerDays() const { return fTriggerDays; }
  bool IsDaily() const { return !fTriggerDays.empty(); }
  const std::string& ActionCmd() const { return fsActionCmd; }
  bool OnceSent() const { return fbOnceSent; }
  const std::string& Recipient() const { return fsRecipient; }
  const TStringList& ReportTemplate() const { return fslReportTemplate; }
  // The template file the report was read from; empty without one.
  const std::string& TemplatePath() const { return fsTemplatePath; }

 private:
  void ParseDaily(const std::string& aText);
  bool CheckCount(std::string& aCmdToExe);
  bool CheckDaily(std::string& aCmdToExe);
  void Reset();
  const std::string& ClientName() const;

  std::int32_t FiId = 0;
  std::string fsText;
  const TClient* fClient = nullptr;
  std::string fsLabel;
  std::uint32_t fnEventCounter = 0;
  std::uint32_t fnIntervalCounter = 0;
  std::uint32_t fnIntervalCnt = 0;
  std::uint32_t fnThreshold = 0;
  std::int64_t fTriggerTime = 0;  // ms since midnight
  std::string fTriggerDays;       // the seven weekday marks; empty in count mode
  bool fbActiveDay[7] = {};       // mark d + 1 is not "-"
  std::string fsActionCmd;
  bool fbOnceSent = false;
  std::string fsRecipient;
  TStringList fslReportTemplate;
  std::string fsTemplatePath;
};

}  // namespace tavo
