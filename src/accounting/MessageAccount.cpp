#include "accounting/MessageAccount.h"

#include <exception>

#include "accounting/Client.h"
#include "config/CommaSeparatedValue.h"
#include "config/SystemUtils.h"
#include "messages/MsgClasses.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/TextUtils.h"
#include "recipients/Recipients.h"

namespace tavo {
namespace {

const char* const kActions[] = {"Send", "SendOnce", "Restart", "SystemReboot"};
// Far more than any report needs; a larger file is taken for a mistake.
constexpr std::size_t kMaxTemplateBytes = 1024 * 1024;

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// "h:mm" or "h:mm:ss" on the 24-hour clock, in ms since midnight.
bool ParseTimeOfDay(const std::string& aText, std::int64_t& aMs) {
  const std::string t = TrimText(aText);
  int parts[3] = {0, 0, 0};
  int count = 0;
  std::size_t pos = 0;
  while (count < 3) {
    std::size_t digits = 0;
    int value = 0;
    while (pos < t.size() && t[pos] >= '0' && t[pos] <= '9' && digits < 2) {
      value = value * 10 + (t[pos++] - '0');
      ++digits;
    }
    if (digits == 0)
      return false;
    parts[count++] = value;
    if (pos == t.size())
      break;
    if (t[pos++] != ':')
      return false;
  }
  if (pos != t.size() || count < 2)
    return false;
  if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59)
    return false;
  aMs = ((parts[0] * 60LL + parts[1]) * 60 + parts[2]) * 1000;
  return true;
}

void ReplaceAll(std::string& aText, std::string_view aFrom, const std::string& aTo) {
  std::size_t pos = 0;
  while ((pos = aText.find(aFrom, pos)) != std::string::npos) {
    aText.replace(pos, aFrom.size(), aTo);
    pos += aTo.size();  // the inserted value is not searched again for this placeholder
  }
}

}  // namespace

const std::string& TMessageAccount::ClientName() const {
  static const std::string kNone;
  return fClient ? fClient->Name() : kNone;
}

bool TMessageAccount::Init(const TClient* aClient, std::int32_t aId, const std::string& aCsv) {
  FiId = aId;
  fClient = aClient;
  try {
    TCommaSeparatedValue csv;
    csv.SetStringLine(aCsv + ";");  // so that the last field counts
    fsLabel = csv.GetStringTrimmed(0);
    fnThreshold = static_cast<std::uint32_t>(csv.GetInteger(1));

    std::string window;
    const std::string definition = csv.GetValueTrimmed(2);
    if (IsDigitsOnly(definition)) {
      fnIntervalCnt = static_cast<std::uint32_t>(csv.GetInteger(2));
      window = Format("Count=%d", {fnIntervalCnt});
    } else {
      ParseDaily(definition);
      window = Format("Daily=%s", {definition});
    }

    fsActionCmd = csv.GetValueTrimmed(3);
    bool known = false;
    for (const char* action : kActions)
      known = known || fsActionCmd == action;
    if (!known)
      throw Exception(Format("Action \"%s\" not supported!", {fsActionCmd}));

    if (csv.ValueCount() <= 4) {
      TMsg::Info("Loaded message \"%s-%d\": \"%s\" - Threshold=%d; %s; Command=%s",
                 {ClientName(), FiId, fsLabel, fnThreshold, window, fsActionCmd});
      return true;
    }

    fsRecipient = csv.GetValueTrimmed(4);
    if (TRecipientList::Instance().Find(fsRecipient) < 0) {
      throw Exception(Format("Undefined recipient \"%s\"", {fsRecipient}));
    }

    // The folder part resolves against the program's folder, then the name follows.
    const std::string field = csv.GetStringTrimmed(5);
    const std::string folder = CombinePath(BasePath(), ExtractFilePath(field));
    const std::string path = folder.empty()
                                 ? std::string()
                                 : IncludeTrailingPathDelimiter(folder) + ExtractFileName(field);
    // Only a regular file: a FIFO would block start-up, a device fill memory.
    if (!RegularFileExists(path)) {
      throw Exception(Format("Report template file not found at \"%s\"", {path}));
    }
    fslReportTemplate = SplitTextLines(ReadTextFile(path, kMaxTemplateBytes));
    fsTemplatePath = path;

    TMsg::Info(
        "Loaded message \"%s-%d\": \"%s\" - Threshold=%d; %s; Command=%s; Recipient=%s; "
        "Template=%s",
        {ClientName(), FiId, fsLabel, fnThreshold, window, fsActionCmd, fsRecipient, path});
    return true;
  } catch (const std::exception& e) {
    TMsg::Error(std::string("Invalid message config: ") + e.what());
    return false;
  }
}

void TMessageAccount::ParseDaily(const std::string& aText) {
  // Position of the first "@" counted in characters, not bytes.
  std::size_t at = aText.find('@');
  std::size_t chars = 0;
  for (std::size_t i = 0; i < at && i < aText.size(); ++i) {
    if (!IsContinuationByte(aText[i]))
      ++chars;
  }
  if (at == std::string::npos || chars != 7) {
    throw Exception(
        Format("Invalid daily definition \"%s\" instead of \"MTWTFSS@hh:mm\"", {aText}));
  }
  fTriggerDays = aText.substr(0, at);
  int day = -1;
  for (std::size_t i = 0; i < at; ++i) {
    if (IsContinuationByte(aText[i]))
      continue;
    ++day;
    fbActiveDay[day] = aText[i] != '-';
  }
  const std::string time = aText.substr(at + 1);
  if (!ParseTimeOfDay(time, fTriggerTime)) {
    throw EConvertError(Format("'%s' is not a valid time", {time}));
  }
}

void TMessageAccount::Increment(const std::string& aText) {
  ++fnEventCounter;  // unsigned: wraps at 2^32
  if (!aText.empty())
    fsText = aText;
}

void TMessageAccount::Reset() {
  fnIntervalCounter = 0;
  fnEventCounter = 0;
  fsText.clear();
}

std::string TMessageAccount::ReadCounter() const {
  if (IsDaily()) {
    return Format("> Message id %d \"%s\" counter = %d", {FiId, fsLabel, fnEventCounter});
  }
  std::string condition;
  if (fnThreshold != 0) {
    condition = Format("counter = %d < %d (%s)", {fnEventCounter, fnThreshold,
                                                  fnEventCounter < fnThreshold ? "True" : "False"});
  } else {
    condition =
        Format("counter = %d > 0 (%s)", {fnEventCounter, fnEventCounter > 0 ? "True" : "False"});
  }
  return Format("> Message id %d \"%s\" %s", {FiId, fsLabel, condition});
}

bool TMessageAccount::CheckCondition(std::string& aCmdToExe) {
  aCmdToExe.clear();
  return IsDaily() ? CheckDaily(aCmdToExe) : CheckCount(aCmdToExe);
}

bool TMessageAccount::CheckCount(std::string& aCmdToExe) {
  ++fnIntervalCounter;
  if (fnIntervalCounter <= fnIntervalCnt)
    return false;  // the window is still open

  // Threshold 0: messages arrived; threshold T: fewer than T arrived.
  const bool condition = fnThreshold == 0 ? fnEventCounter > 0 : fnEventCounter < fnThreshold;
  if (condition) {
    const std::string conditionText =
        fnThreshold == 0 ? Format("Counter = %d > 0", {fnEventCounter})
                         : Format("Counter = %d < %d", {fnEventCounter, fnThreshold});
    if (fsActionCmd == "Send" || fsActionCmd == "SendOnce") {
      if (fbOnceSent) {
        TMsg::Trace("Report \"%s-%d\": already send once", {ClientName(), FiId});
      } else {
        TMsg::Trace("Report \"%s-%d\": %s", {ClientName(), FiId, conditionText});
        TRecipientList::Instance().Report(fsRecipient, BuildReport());
        fbOnceSent = fsActionCmd == "SendOnce";
      }
    } else {
      TMsg::Info("Execute \"%s\" because of message id %d from \"%s\" (%s)",
                 {fsActionCmd, FiId, ClientName(), conditionText});
      aCmdToExe = fsActionCmd;
    }
  }
  Reset();
  return condition;
}

bool TMessageAccount::CheckDaily(std::string& aCmdToExe) {
  const TLocalDateTime now = Clock().Now();
  if (now.DayOfWeek < 1 || now.DayOfWeek > 7 || !fbActiveDay[now.DayOfWeek - 1])
    return false;
  if (now.MsOfDay() < fTriggerTime) {
    fbOnceSent = false;  // re-armed for today's trigger time
    return false;
  }
  if (fbOnceSent)
    return false;
  fbOnceSent = true;
  // A daily "SendOnce" reports like "Send": once per active day.
  if (fsActionCmd == "Send" || fsActionCmd == "SendOnce") {
    TMsg::Trace("Daily report \"%s-%d\": Event counter = %d", {ClientName(), FiId, fnEventCounter});
    TRecipientList::Instance().Report(fsRecipient, BuildReport());
  } else {
    TMsg::Info("Execute \"%s\" because of message id %d from \"%s\"",
               {fsActionCmd, FiId, ClientName()});
    aCmdToExe = fsActionCmd;
  }
  Reset();
  return true;
}

std::string TMessageAccount::BuildReport() const {
  std::string text;
  for (const std::string& line : fslReportTemplate)
    text += line + "\r\n";
  const TLocalDateTime now = Clock().Now();
  // In this order: a value may hold a later placeholder (a label "%DATE"
  // shows the date), and the message text, last, is never expanded.
  ReplaceAll(text, "%CLIENT_NAME", ClientName());
  ReplaceAll(text, "%ID", std::to_string(FiId));
  ReplaceAll(text, "%LABEL", fsLabel);
  ReplaceAll(text, "%THRESHOLD", std::to_string(fnThreshold));
  ReplaceAll(text, "%COUNTER", std::to_string(fnEventCounter));
  ReplaceAll(text, "%DATE", ShortDateText(now));
  ReplaceAll(text, "%TIME", LongTimeText(now));
  ReplaceAll(text, "%TEXT", fsText);
  return text;
}

}  // namespace tavo
