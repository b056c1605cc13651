// The event log: the message table every program carries, so that the
// Event Viewer shows an entry's text, and the log a test installs.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "platform/SystemLog.h"
#include "platform/WideText.h"

namespace tavo {
namespace {

// What the Event Viewer does with an entry: the message of its id from the
// source's file (here this program), the entry's text as the insert.
std::string ViewerText(DWORD aId, const std::string& aText) {
  const std::wstring text = Utf8ToWide(aText);
  DWORD_PTR inserts[] = {reinterpret_cast<DWORD_PTR>(text.c_str())};
  wchar_t buf[512] = {};
  const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                   ::GetModuleHandleW(nullptr), aId, 0x409, buf,
                                   sizeof buf / sizeof buf[0], reinterpret_cast<va_list*>(inserts));
  return WideToUtf8(std::wstring(buf, n));
}

TEST(SystemLogTest, EachLevelsMessageIsTheTextAlone) {
  for (DWORD id : {0x40000001u, 0x80000002u, 0xC0000003u})
    EXPECT_EQ(ViewerText(id, "Service start: \xC3\xA4"), "Service start: \xC3\xA4\r\n") << id;
  EXPECT_EQ(ViewerText(0x40000004u, "x"), "");
}

TEST(SystemLogTest, EntriesGoToTheEventLogOrTheInstalledLog) {
  EXPECT_EQ(SystemLogIdent(), "");
  SetSystemLogIdent("TavoTest");
  EXPECT_EQ(SystemLogIdent(), "TavoTest");
  // The event log of the test's prefix: accepted, never shown here.
  WriteSystemLog(TSysLogLevel::eWarning, "a warning with %%1 in it");

  struct Recorder final : ISystemLog {
    void Write(TSysLogLevel aLevel, const std::string& aText) override {
      Entries.emplace_back(aLevel, aText);
    }
    std::vector<std::pair<TSysLogLevel, std::string>> Entries;
  } recorder;
  SetSystemLog(&recorder);
  WriteSystemLog(TSysLogLevel::eError, "refused");
  SetSystemLog(nullptr);
  WriteSystemLog(TSysLogLevel::eInfo, "not recorded");
  ASSERT_EQ(recorder.Entries.size(), 1u);
  EXPECT_EQ(recorder.Entries[0].first, TSysLogLevel::eError);
  EXPECT_EQ(recorder.Entries[0].second, "refused");
  SetSystemLogIdent("");
}

}  // namespace
}  // namespace tavo
