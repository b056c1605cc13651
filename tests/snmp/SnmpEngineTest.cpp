// Tavo's engine file: a new engine when there is none, boots that rise at
// every start and stop at the limit, and a file that is corrupt or cannot
// be written refused without being touched.

#include "snmp/SnmpEngine.h"

#include <gtest/gtest.h>

#include "FaultyFileSystem.h"
#include "TestSupport.h"
#include "platform/Files.h"
#include "platform/TextUtils.h"

namespace tavo {
namespace {

TEST(SnmpEngineTest, ConfiguredEngineIds) {
  struct Case {
    std::string Text;
    const char* Hex;  // nullptr: refused
  };
  const Case cases[] = {
      {"800000000102", "800000000102"}, {"0x8000CE4E05ab", "8000CE4E05AB"},
      {"8000000001", "8000000001"},     {"80000000", nullptr},  // 4 octets
      {std::string(66, 'a'), nullptr},                          // 33 octets
      {"8000000001020", nullptr},                               // odd
      {"80000000zz", nullptr},          {"", nullptr},
  };
  EXPECT_TRUE(EngineIdFromText(std::string(64, 'a')).has_value());  // 32 octets
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    const auto id = EngineIdFromText(c.Text);
    ASSERT_EQ(id.has_value(), c.Hex != nullptr);
    if (id)
      EXPECT_EQ(HexText(*id), c.Hex);
  }
}

TEST(SnmpEngineTest, ANewEngineIsKeptAndItsBootsRiseAtEveryStart) {
  test::TempDir dir;
  const std::string path = dir.File("tavo.log.engine");
  const TSnmpEngineState first = StartEngine(path, "");
  // RFC 3411 format 5: enterprise 52814 with the top bit, 5, eight octets.
  ASSERT_EQ(first.EngineId.size(), 13u);
  EXPECT_EQ(HexText(first.EngineId.substr(0, 5)), "8000CE4E05");
  EXPECT_EQ(first.Boots, 1);
  EXPECT_EQ(dir.Read("tavo.log.engine"), "EngineID=" + HexText(first.EngineId) + "\nBoots=1\n");
  const TSnmpEngineState second = StartEngine(path, "");
  EXPECT_EQ(second.EngineId, first.EngineId);
  EXPECT_EQ(second.Boots, 2);
  // A configured engine ID takes the place of the kept one; boots go on.
  const std::string configured("\x80\x00\x00\x00\x01\x02", 6);
  const TSnmpEngineState third = StartEngine(path, configured);
  EXPECT_EQ(third.EngineId, configured);
  EXPECT_EQ(third.Boots, 3);
  EXPECT_NE(NewEngineId(), NewEngineId());
}

TEST(SnmpEngineTest, BootsStopAtTheLimit) {
  test::TempDir dir;
  const std::string path =
      dir.Write("tavo.log.engine", "EngineID=8000000001\r\nBoots=2147483646\r\n");
  EXPECT_EQ(StartEngine(path, "").Boots, kMaxEngineBoots);
  EXPECT_EQ(StartEngine(path, "").Boots, kMaxEngineBoots);
  EXPECT_EQ(dir.Read("tavo.log.engine"), "EngineID=8000000001\nBoots=2147483647\n");
}

TEST(SnmpEngineTest, ACorruptFileIsRefusedAndLeftAsItIs) {
  const std::string cases[] = {
      "garbage",
      "EngineID=80000000\nBoots=1\n",  // 4 octets
      "EngineID=8000000001\nBoots=-1\n",
      "EngineID=8000000001\nBoots=2147483648\n",
      "EngineID=8000000001\nBoots=1\nMore=1\n",
      "EngineID=8000000001\n",
      "Boots=1\nEngineID=8000000001\n",
      "EngineID=0x8000000001\nBoots=1\n",
      "EngineID=8000000001\nBoots=1\n" + std::string(2000, '\n'),  // beyond the size bound
  };
  for (const std::string& text : cases) {
    SCOPED_TRACE(text.substr(0, 60));
    test::TempDir dir;
    const std::string path = dir.Write("tavo.log.engine", text);
    EXPECT_THROW(StartEngine(path, ""), Exception);
    EXPECT_EQ(dir.Read("tavo.log.engine"), text);
  }
}

TEST(SnmpEngineTest, AFileThatCannotBeWrittenKeepsTheOldBoots) {
  test::TempDir dir;
  const std::string path = dir.Write("tavo.log.engine", "EngineID=8000000001\nBoots=7\n");
  for (int which : {1, 2}) {  // the write, then the rename
    SCOPED_TRACE(which);
    test::FaultyFileSystem files;
    (which == 1 ? files.FailAppend : files.FailRename) = test::FaultyFileSystem::kEvery;
    try {
      StartEngine(path, "");
      ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()).rfind("cannot write " + path, 0), 0u) << e.what();
    }
    EXPECT_EQ(dir.Read("tavo.log.engine"), "EngineID=8000000001\nBoots=7\n");
    EXPECT_FALSE(FileExists(path + ".new"));
  }
  // A folder where the file should be cannot be read.
  EXPECT_THROW(StartEngine(dir.Path(), ""), Exception);
}

}  // namespace
}  // namespace tavo
