// The system log's sources, through the log a test installs: the
// executable's name by default, the identifier set, or a name given (the
// service's, for the service object's entries).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/SystemLog.h"

namespace tavo {
namespace {

// The test program's file name: on Windows the event source keeps ".exe".
#ifdef _WIN32
constexpr const char* kProgram = "SystemLogTest.exe";
#else
constexpr const char* kProgram = "SystemLogTest";
#endif

struct Entry {
  TSysLogLevel Level;
  std::string Text;
  std::string Source;
};

struct Recorder final : ISystemLog {
  Recorder() { SetSystemLog(this); }
  ~Recorder() override { SetSystemLog(nullptr); }
  void Write(TSysLogLevel aLevel, const std::string& aText, const std::string& aSource) override {
    Entries.push_back({aLevel, aText, aSource});
  }
  std::vector<Entry> Entries;
};

TEST(SystemLogTest, EntriesCarryTheirSource) {
  EXPECT_EQ(SystemLogIdent(), "");
  EXPECT_EQ(SystemLogSource(), kProgram);
  {
    Recorder recorder;
    WriteSystemLog(TSysLogLevel::eError, "refused");
    WriteSystemLog(TSysLogLevel::eWarning, "the service's", "ORVO_Tavo");
    SetSystemLogIdent("TavoTest");
    EXPECT_EQ(SystemLogIdent(), "TavoTest");
    WriteSystemLog(TSysLogLevel::eInfo, "set");
    WriteSystemLog(TSysLogLevel::eInfo, "given", "ORVO_Tavo");
    SetSystemLogIdent("");
    ASSERT_EQ(recorder.Entries.size(), 4u);
    EXPECT_EQ(recorder.Entries[0].Level, TSysLogLevel::eError);
    EXPECT_EQ(recorder.Entries[0].Text, "refused");
    EXPECT_EQ(recorder.Entries[0].Source, kProgram);
    EXPECT_EQ(recorder.Entries[1].Level, TSysLogLevel::eWarning);
    EXPECT_EQ(recorder.Entries[1].Source, "ORVO_Tavo");
    EXPECT_EQ(recorder.Entries[2].Source, "TavoTest");
    EXPECT_EQ(recorder.Entries[3].Source, "ORVO_Tavo");
  }
  EXPECT_EQ(SystemLogSource("x"), "x");
}

}  // namespace
}  // namespace tavo
