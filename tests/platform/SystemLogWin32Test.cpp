// The event log: the message table every program carries, so that the
// Event Viewer shows an entry's text, and entries under several sources.
#include <gtest/gtest.h>
#include <windows.h>

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

TEST(SystemLogTest, TheEventLogTakesEntriesUnderSeveralSources) {
  // The event log of the test's prefix: accepted, never shown here; more
  // sources than are kept registered at once, then the evicted default.
  WriteSystemLog(TSysLogLevel::eWarning, "a warning with %%1 in it");
  for (const char* source : {"TavoTest1", "TavoTest2", "TavoTest3", "TavoTest4", "TavoTest5"})
    WriteSystemLog(TSysLogLevel::eInfo, source, source);
  WriteSystemLog(TSysLogLevel::eInfo, "the default again");
  SetSystemLogIdent("TavoTest");
  WriteSystemLog(TSysLogLevel::eError, "under the identifier set");
  SetSystemLogIdent("");
}

}  // namespace
}  // namespace tavo
