#include "accounting/MessageAccount.h"

#include <cerrno>
#include <filesystem>
#include <string_view>

#include "MessageAccountFixture.h"
#include "platform/Errors.h"

namespace tavo {
namespace {

using test::MessageAccountTest;
using test::SentReport;
using test::SentReports;

TEST_F(MessageAccountTest, EveryInvalidLineGivesOneError) {
  fDir.Write("t.txt", "x\n");
  struct Case {
    std::string Csv;
    std::string Reason;
  };
  const Case cases[] = {
      {"Heartbeat;3;MTWTF-@08:00;Send",
       "Invalid daily definition \"MTWTF-@08:00\" instead of \"MTWTFSS@hh:mm\""},
      {"Heartbeat;3;MTWTFSSS@08:00;Send",
       "Invalid daily definition \"MTWTFSSS@08:00\" instead of \"MTWTFSS@hh:mm\""},
      {"Heartbeat;3;daily;Send", "Invalid daily definition \"daily\" instead of \"MTWTFSS@hh:mm\""},
      {"Heartbeat;3;5;send", "Action \"send\" not supported!"},
      {"Heartbeat;3;5;Send;Nobody;t.txt", "Undefined recipient \"Nobody\""},
      {"Heartbeat;3;5;Restart;", "Undefined recipient \"\""},
      {"Heartbeat;3;5;Send;Mail1;missing.txt",
       "Report template file not found at \"" + fDir.File("missing.txt") + "\""},
      {"Heartbeat;3;5;Send;Mail1;",
       "Report template file not found at \"" + fDir.Path() + kPathDelimiter + "\""},
      {"Heartbeat;3;5;Send;Mail1", "Invalid csv index 5 to list count 5!"},
      {"Heartbeat;3", "Invalid csv index 2 to list count 2!"},
      {"Heartbeat;3;5", "Invalid csv index 3 to list count 3!"},
      {"", "Invalid csv index 1 to list count 1!"},
      {"Heartbeat;x;5;Send", "'x' is not a valid integer value"},
      {"Heartbeat;3;;Send", "'' is not a valid integer value"},
      {"Heartbeat;3;99999999999;Send", "'99999999999' is not a valid integer value"},
      {"Heartbeat;3;MTWTFSS@25:00;Send", "'25:00' is not a valid time"},
      {"Heartbeat;3;MTWTFSS@8;Send", "'8' is not a valid time"},
      {"Heartbeat;3;MTWTFSS@08:00pm;Send", "'08:00pm' is not a valid time"},
#ifndef _WIN32
      {"Heartbeat;3;5;Send;Mail1;/proc/self/mem", ErrnoText("Cannot read /proc/self/mem", EIO)},
#endif
  };
  for (const Case& c : cases) {
    fMsgs.Clear();
    Account(c.Csv);
    EXPECT_FALSE(fbInit) << c.Csv;
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Error: Invalid message config: " + c.Reason}))
        << c.Csv;
  }
}

TEST_F(MessageAccountTest, ValidLinesAnnounceThemselves) {
  fDir.Write("daily.txt", "x\n");
  std::filesystem::create_directory(fDir.File("sub"));
  fDir.Write("sub/t.txt", "x\n");
  const std::string prefix = "Info:  Loaded message \"App-100\": ";
  struct Case {
    std::string Csv;
    std::string Line;
  };
  const Case cases[] = {
      {"Heartbeat;3;5;Restart", "\"Heartbeat\" - Threshold=3; Count=5; Command=Restart"},
      {" \"Beat;1\" ; 0 ; 0 ; SendOnce ", "\"Beat;1\" - Threshold=0; Count=0; Command=SendOnce"},
      {"Daily summary;0;MTWTF--@08:00;Send;Mail1;daily.txt",
       "\"Daily summary\" - Threshold=0; Daily=MTWTF--@08:00; Command=Send; Recipient=Mail1; "
       "Template=" +
           fDir.File("daily.txt")},
      {"Daily;0;MTWTFSS@8:05:30;SystemReboot",
       "\"Daily\" - Threshold=0; Daily=MTWTFSS@8:05:30; "
       "Command=SystemReboot"},
      {"Quiet;-1;0;Send;mail1;\"./x/../sub/t.txt\";ignored;too",
       "\"Quiet\" - Threshold=4294967295; Count=0; Command=Send; Recipient=mail1; Template=" +
           fDir.File(std::string("sub") + kPathDelimiter + "t.txt")},
      // A trailing ";" adds a seventh, empty field, which is ignored.
      {"L;0;0;Send;Mail1;daily.txt;",
       "\"L\" - Threshold=0; Count=0; Command=Send; Recipient=Mail1; Template=" +
           fDir.File("daily.txt")},
      {"Abs;2;3;Send;Mail1;" + fDir.File("daily.txt"),
       "\"Abs\" - Threshold=2; Count=3; Command=Send; Recipient=Mail1; Template=" +
           fDir.File("daily.txt")},
  };
  for (const Case& c : cases) {
    fMsgs.Clear();
    Account(c.Csv);
    EXPECT_TRUE(fbInit) << c.Csv;
    EXPECT_EQ(Lines(), (std::vector<std::string>{prefix + c.Line})) << c.Csv;
  }
}

TEST_F(MessageAccountTest, FieldsOfCountAndDailyLines) {
  auto count = Account("\"Heart;beat\";3;5;Restart");
  EXPECT_EQ(count->Id(), 100);
  EXPECT_EQ(count->Label(), "Heart;beat");
  EXPECT_EQ(count->Threshold(), 3u);
  EXPECT_EQ(count->IntervalCnt(), 5u);
  EXPECT_FALSE(count->IsDaily());
  EXPECT_EQ(count->Recipient(), "");
  EXPECT_TRUE(count->ReportTemplate().empty());

  auto daily = Account("Sum;7;MTWTF--@08:00:30;Restart");
  EXPECT_TRUE(daily->IsDaily());
  EXPECT_EQ(daily->TriggerDays(), "MTWTF--");
  EXPECT_EQ(daily->TriggerTime(), (8 * 3600 + 30) * 1000);
  EXPECT_EQ(daily->IntervalCnt(), 0u);
}

TEST_F(MessageAccountTest, CountZeroThresholdZeroReportsEveryCycleWithMessages) {
  fDir.Write("r.txt", "Alarm %COUNTER\n%TEXT\n");
  auto a = Account("Any;0;0;Send;Mail1;r.txt");
  fMsgs.Clear();
  EXPECT_EQ(Cycle(*a), (std::pair<bool, std::string>{false, ""}));
  a->Increment("first");
  a->Increment("");
  EXPECT_EQ(Cycle(*a), (std::pair<bool, std::string>{true, ""}));
  EXPECT_EQ(Cycle(*a).first, false);
  a->Increment("");
  EXPECT_TRUE(Cycle(*a).first);
  EXPECT_EQ(SentReports(), (std::vector<SentReport>{{"Mail1", "Alarm 2\r\nfirst\r\n"},
                                                    {"Mail1", "Alarm 1\r\n\r\n"}}));
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Trace: Report \"App-100\": Counter = 2 > 0",
                                               "Trace: Report \"App-100\": Counter = 1 > 0"}));
  EXPECT_FALSE(a->OnceSent());
}

TEST_F(MessageAccountTest, WindowOfThreeCyclesHandsRestartWhenTooFewArrived) {
  auto a = Account("Heartbeat;3;2;Restart");
  fMsgs.Clear();
  a->Increment("one");
  EXPECT_FALSE(Cycle(*a).first);
  a->Increment("two");
  EXPECT_FALSE(Cycle(*a).first);
  EXPECT_EQ(a->IntervalCounter(), 2u);
  EXPECT_EQ(Cycle(*a), (std::pair<bool, std::string>{true, "Restart"}));
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Info:  Execute \"Restart\" because of message id "
                                               "100 from \"App\" (Counter = 2 < 3)"}));
  EXPECT_EQ(a->EventCounter(), 0u);
  EXPECT_EQ(a->IntervalCounter(), 0u);
  EXPECT_EQ(a->Text(), "");

  // Three in the next window: enough, and the window still resets.
  for (int i = 0; i < 3; ++i)
    a->Increment("beat");
  EXPECT_FALSE(Cycle(*a).first);
  EXPECT_FALSE(Cycle(*a).first);
  EXPECT_EQ(Cycle(*a), (std::pair<bool, std::string>{false, ""}));
  EXPECT_EQ(a->EventCounter(), 0u);
  EXPECT_EQ(a->Text(), "");
}

TEST_F(MessageAccountTest, ThresholdsCompareUnsigned) {
  // -1 is 4294967295: every window has fewer messages than that.
  auto a = Account("Always;-1;0;SystemReboot");
  for (int i = 0; i < 5; ++i)
    a->Increment("");
  EXPECT_EQ(Cycle(*a), (std::pair<bool, std::string>{true, "SystemReboot"}));
  EXPECT_EQ(a->ReadCounter(), "> Message id 100 \"Always\" counter = 0 < 4294967295 (True)");
}

TEST_F(MessageAccountTest, SendOnceHoldsBackLaterReportsButStillResets) {
  auto a = Account("Once;0;1;SendOnce");
  fMsgs.Clear();
  for (int window = 0; window < 3; ++window) {
    a->Increment("x");
    EXPECT_FALSE(Cycle(*a).first);
    EXPECT_TRUE(Cycle(*a).first) << window;
    EXPECT_EQ(a->EventCounter(), 0u);
    EXPECT_EQ(a->Text(), "");
  }
  // No recipient: the report goes to the empty name, which the list rejects.
  EXPECT_TRUE(SentReports().empty());
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "Trace: Report \"App-100\": Counter = 1 > 0",
                         "Error: Recipient \"\" not found!",
                         "Trace: Report \"App-100\": already send once",
                         "Trace: Report \"App-100\": already send once",
                     }));
  EXPECT_TRUE(a->OnceSent());
}

TEST_F(MessageAccountTest, DailyRunsOncePerActiveDayAndReArmsBeforeTheTriggerTime) {
  auto a = Account("Sum;0;MTWTF--@08:00;Restart");
  fMsgs.Clear();
  struct Step {
    int Day;  // of March 2024: the 4th is a Monday
    int Hour, Minute, Second, Ms;
    bool Held;
  };
  const Step steps[] = {
      {4, 9, 0, 0, 0, true},       // started on Monday at 09:00: runs at once
      {4, 9, 10, 0, 0, false},     // once a day
      {5, 7, 59, 59, 999, false},  // Tuesday before 08:00 re-arms
      {5, 8, 0, 0, 0, true},       // and runs at 08:00 sharp
      {5, 23, 0, 0, 0, false},    {8, 9, 0, 0, 0, false},  // Friday: not re-armed before 08:00
      {9, 7, 0, 0, 0, false},  // Saturday "-": nothing, not even re-armed
      {9, 9, 0, 0, 0, false},     {11, 7, 0, 0, 0, false},  // Monday morning re-arms
      {11, 8, 0, 1, 0, true},
  };
  for (const Step& s : steps) {
    fClock.Set(2024, 3, s.Day, s.Hour, s.Minute, s.Second, s.Ms);
    const auto [held, cmd] = Cycle(*a);
    EXPECT_EQ(held, s.Held) << s.Day << " " << s.Hour << ":" << s.Minute;
    EXPECT_EQ(cmd, held ? "Restart" : "");
    if (s.Day == 9) {
      EXPECT_TRUE(a->OnceSent()) << "Saturday leaves the flag alone";
    }
  }
  EXPECT_EQ(Lines().size(), 3u);
  EXPECT_EQ(Lines()[0], "Info:  Execute \"Restart\" because of message id 100 from \"App\"");
}

TEST_F(MessageAccountTest, DailyAtMidnightIsNeverReArmed) {
  auto a = Account("Midnight;0;MTWTFSS@00:00;Restart");
  fClock.Set(2024, 3, 4, 0, 0, 0, 0);
  EXPECT_TRUE(Cycle(*a).first);
  for (int day = 5; day <= 7; ++day) {
    fClock.Set(2024, 3, day, 0, 0, 0, 0);
    EXPECT_FALSE(Cycle(*a).first);
    fClock.Set(2024, 3, day, 12, 0, 0, 0);
    EXPECT_FALSE(Cycle(*a).first);
  }
}

TEST_F(MessageAccountTest, DailyReportsWhatWasCountedAndSendOnceSendsOncePerDay) {
  fDir.Write("d.txt", "Daily %LABEL: %COUNTER\n");
  auto send = Account("Sum;0;MTWTFSS@08:00;Send;Mail1;d.txt");
  auto once = Account("Once;0;MTWTFSS@08:00;SendOnce;Mail1;d.txt", 200);
  fMsgs.Clear();
  fClock.Set(2024, 3, 4, 7, 0);
  send->Increment("a");
  send->Increment("b");
  EXPECT_FALSE(Cycle(*send).first);
  EXPECT_FALSE(Cycle(*once).first);
  fClock.Set(2024, 3, 4, 8, 0);
  EXPECT_EQ(Cycle(*send), (std::pair<bool, std::string>{true, ""}));
  EXPECT_EQ(Cycle(*once), (std::pair<bool, std::string>{true, ""}));
  EXPECT_EQ(send->EventCounter(), 0u);
  fClock.Set(2024, 3, 5, 7, 0);
  Cycle(*once);
  fClock.Set(2024, 3, 5, 8, 0);
  EXPECT_EQ(Cycle(*once), (std::pair<bool, std::string>{true, ""}));
  EXPECT_EQ(SentReports(), (std::vector<SentReport>{{"Mail1", "Daily Sum: 2\r\n"},
                                                    {"Mail1", "Daily Once: 0\r\n"},
                                                    {"Mail1", "Daily Once: 0\r\n"}}));
  EXPECT_EQ(Lines()[0], "Trace: Daily report \"App-100\": Event counter = 2");
  EXPECT_EQ(Lines()[1], "Trace: Daily report \"App-200\": Event counter = 0");
}

TEST_F(MessageAccountTest, ReportFillsPlaceholdersInOrder) {
  fDir.Write("r.txt",
             "%CLIENT_NAME|%ID|%LABEL|%THRESHOLD|%COUNTER|%DATE|%TIME|%TEXT\r\n"
             "%ID%ID %UNKNOWN %client_name\n");
  const std::string date = ShortDateText(fClock.fNow);
  const std::string time = LongTimeText(fClock.fNow);
  struct Case {
    std::string Label;
    std::string Text;
    std::string Report;
  };
  const Case cases[] = {
      {"Plain", "disk full", "App|-7|Plain|5|1|" + date + "|" + time + "|disk full\r\n"},
      {"Seen %DATE", "t", "App|-7|Seen " + date + "|5|1|" + date + "|" + time + "|t\r\n"},
      {"%TEXT", "last words", "App|-7|last words|5|1|" + date + "|" + time + "|last words\r\n"},
      {"L", "at %DATE %ID", "App|-7|L|5|1|" + date + "|" + time + "|at %DATE %ID\r\n"},
  };
  for (const Case& c : cases) {
    auto a = Account(c.Label + ";5;0;Send;Mail1;r.txt", -7);
    a->Increment(c.Text);
    EXPECT_EQ(a->BuildReport(), c.Report + "-7-7 %UNKNOWN %client_name\r\n") << c.Label;
  }
  auto none = Account("No template;0;0;Send");
  EXPECT_EQ(none->BuildReport(), "");
}

std::string Utf16(std::u16string_view aText, bool aBigEndian) {
  std::string bytes = aBigEndian ? "\xfe\xff" : "\xff\xfe";
  for (char16_t c : aText) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    bytes += aBigEndian ? hi : lo;
    bytes += aBigEndian ? lo : hi;
  }
  return bytes;
}

TEST_F(MessageAccountTest, TemplatesHonourByteOrderMarks) {
  const std::string expected =
      "Stra\xc3\x9f"
      "e \xe2\x82\xac\r\nline 2\r\n";
  struct Case {
    const char* Name;
    std::string Bytes;
  };
  const Case cases[] = {
      {"utf8-bom",
       "\xef\xbb\xbfStra\xc3\x9f"
       "e \xe2\x82\xac\r\nline 2"},
      {"utf8",
       "Stra\xc3\x9f"
       "e \xe2\x82\xac\nline 2\n"},
      {"cp1252",
       "Stra\xdf"
       "e \x80\rline 2\r\n"},
      {"utf16le", Utf16(u"Stra\u00dfe \u20ac\r\nline 2\r\n", false)},
      {"utf16be", Utf16(u"Stra\u00dfe \u20ac\nline 2", true)},
  };
  for (const Case& c : cases) {
    fDir.Write(c.Name, c.Bytes);
    auto a = Account(std::string("T;0;0;Send;Mail1;") + c.Name);
    ASSERT_TRUE(fbInit) << c.Name;
    EXPECT_EQ(a->BuildReport(), expected) << c.Name;
  }
}

TEST_F(MessageAccountTest, ReadCounterDescribesTheCondition) {
  auto daily = Account("Sum;3;MTWTFSS@08:00;Restart");
  auto below = Account("Beat;3;5;Restart", 7);
  auto any = Account("Errors;0;5;Restart", 8);
  daily->Increment("");
  below->Increment("");
  EXPECT_EQ(daily->ReadCounter(), "> Message id 100 \"Sum\" counter = 1");
  EXPECT_EQ(below->ReadCounter(), "> Message id 7 \"Beat\" counter = 1 < 3 (True)");
  EXPECT_EQ(any->ReadCounter(), "> Message id 8 \"Errors\" counter = 0 > 0 (False)");
  for (int i = 0; i < 3; ++i)
    below->Increment("");
  any->Increment("");
  EXPECT_EQ(below->ReadCounter(), "> Message id 7 \"Beat\" counter = 4 < 3 (False)");
  EXPECT_EQ(any->ReadCounter(), "> Message id 8 \"Errors\" counter = 1 > 0 (True)");
}

}  // namespace
}  // namespace tavo
