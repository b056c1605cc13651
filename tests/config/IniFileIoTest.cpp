#include "config/IniFileIo.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <filesystem>

#include "TestSupport.h"
#include "platform/Errors.h"
#include "platform/Paths.h"

namespace tavo {
namespace {

using test::TempDir;

// One configuration, stored in each encoding the reader must understand.
const std::string kIni =
    "; a comment\r\n"
    "stray=before any section\r\n"
    "[General]\r\n"
    "  CheckInterval =  0x1E  \r\n"
    "Hex=$FF\r\n"
    "Bad=12abc\r\n"
    "Big=2147483648\r\n"
    "Neg=-2147483648\r\n"
    "Short=0x\r\n"
    "\r\n"
    "[Recipients]\r\n"
    "Mail1 = \"SmtpMail;Host=mx; Subject=Grüße €\" \r\n"
    "Trap1='SnmpTrapV1'\r\n"
    "Text=a=b=c\r\n"
    "bare line\r\n"
    ";Commented=1\r\n"
    "[client A]\r\n"
    "100=first\r\n"
    "100=second\r\n"
    "[CLIENT a]\r\n"
    "200=repeated section\r\n";

std::string Utf16Le(const std::string& aUtf8) {
  // Enough for the test text: every character is in the Basic Multilingual Plane.
  std::string out = "\xFF\xFE";
  for (std::size_t i = 0; i < aUtf8.size();) {
    const auto b = static_cast<unsigned char>(aUtf8[i]);
    char32_t cp = b;
    int len = 1;
    if (b >= 0xE0) {
      cp = (b & 0x0F) << 12 | (aUtf8[i + 1] & 0x3F) << 6 | (aUtf8[i + 2] & 0x3F);
      len = 3;
    } else if (b >= 0xC0) {
      cp = (b & 0x1F) << 6 | (aUtf8[i + 1] & 0x3F);
      len = 2;
    }
    out += static_cast<char>(cp & 0xFF);
    out += static_cast<char>(cp >> 8);
    i += len;
  }
  return out;
}

class IniEncodingTest : public ::testing::TestWithParam<const char*> {
 protected:
  std::string WriteIni() { return fDir.Write("tavo.ini", IniBytes()); }
  std::string IniBytes() {
    const std::string kind = GetParam();
    std::string bytes = kIni;
    if (kind == "utf8-bom")
      bytes = "\xEF\xBB\xBF" + kIni;
    if (kind == "utf16le")
      bytes = Utf16Le(kIni);
    if (kind == "cp1252") {
      bytes.replace(bytes.find("Grüße €"), std::string("Grüße €").size(),
                    "Gr\xFC\xDF"
                    "e \x80");
    }
    return bytes;
  }
  TempDir fDir;
};

// Everything a reader holds, in the order it gives it.
TStringList Contents(const TOrvoIniFile& aIni) {
  TStringList all, sections, lines;
  aIni.ReadSections(sections);
  for (const std::string& section : sections) {
    all.push_back("[" + section + "]");
    aIni.ReadSectionValues(section, lines);
    all.insert(all.end(), lines.begin(), lines.end());
    aIni.ReadSectionRawValues(section, lines);
    all.insert(all.end(), lines.begin(), lines.end());
  }
  return all;
}

TEST_P(IniEncodingTest, ReaderView) {
  const TOrvoIniFile ini(WriteIni());
  EXPECT_EQ(ini.ReadInteger("general", "checkinterval", 10), 30);
  EXPECT_EQ(ini.ReadInteger("General", "Hex", 0), 255);
  EXPECT_EQ(ini.ReadInteger("General", "Bad", 7), 7);
  EXPECT_EQ(ini.ReadInteger("General", "Big", 7), 7);
  EXPECT_EQ(ini.ReadInteger("General", "Neg", 7), INT32_MIN);
  EXPECT_EQ(ini.ReadInteger("General", "Short", 7), 7);
  EXPECT_EQ(ini.ReadInteger("General", "Missing", 7), 7);
  EXPECT_EQ(ini.ReadString("Recipients", "Mail1", ""), "SmtpMail;Host=mx; Subject=Grüße €");
  EXPECT_EQ(ini.ReadString("Recipients", "Trap1", ""), "SnmpTrapV1");
  EXPECT_EQ(ini.ReadString("Recipients", "Text", ""), "a=b=c");
  EXPECT_EQ(ini.ReadString("Recipients", "Commented", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("Nope", "x", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("", "stray", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("Client A", "100", ""), "first");
  EXPECT_EQ(ini.ReadString("Client A", "200", "none"), "none");  // repeated section adds nothing

  TStringList sections;
  ini.ReadSections(sections);
  EXPECT_EQ(sections, (TStringList{"General", "Recipients", "client A"}));

  TStringList values;
  ini.ReadSectionValues("Recipients", values);
  EXPECT_EQ(values, (TStringList{"Mail1=SmtpMail;Host=mx; Subject=Grüße €", "Trap1=SnmpTrapV1",
                                 "Text=a=b=c"}));
  // As written, like the in-memory view, for keys.
  ini.ReadSectionRawValues("Recipients", values);
  EXPECT_EQ(values, (TStringList{"Mail1=\"SmtpMail;Host=mx; Subject=Grüße €\"",
                                 "Trap1='SnmpTrapV1'", "Text=a=b=c"}));
  ini.ReadSectionRawValues("client a", values);
  EXPECT_EQ(values, (TStringList{"100=first", "100=second"}));
}

TEST_P(IniEncodingTest, BytesInMemoryReadAsTheFile) {
  const TOrvoIniFile file(WriteIni());
  const TOrvoIniFile memory = TOrvoIniFile::FromBytes(IniBytes());
  EXPECT_EQ(Contents(memory), Contents(file));
  EXPECT_EQ(memory.ReadString("Recipients", "Mail1", ""), "SmtpMail;Host=mx; Subject=Grüße €");
  EXPECT_EQ(memory.FileName(), "");
}

TEST_P(IniEncodingTest, InMemorySectionView) {
  TIniFileIo& io = TIniFileIo::Instance();
  io.IniFileName = WriteIni();
  TStringList values;
  io.ReadSectionValues("RECIPIENTS", values);
  EXPECT_EQ(values, (TStringList{"Mail1=\"SmtpMail;Host=mx; Subject=Grüße €\"",
                                 "Trap1='SnmpTrapV1'", "Text=a=b=c", "bare line"}));
  io.ReadSectionValues("Client A", values);
  EXPECT_EQ(values, (TStringList{"100=first", "100=second"}));
  io.ReadSectionValues("Missing", values);
  EXPECT_TRUE(values.empty());
}

INSTANTIATE_TEST_SUITE_P(Encodings, IniEncodingTest,
                         ::testing::Values("utf8", "utf8-bom", "utf16le", "cp1252"));

TEST(IniFileIoTest, LongValuesAreCut) {
  TempDir dir;
  const TOrvoIniFile ini(dir.Write("t.ini", "[S]\nK=" + std::string(3000, 'x') + "\n"));
  EXPECT_EQ(ini.ReadString("S", "K", "").size(), 2047u);
}

// Sections and keys are found by name however many there are, and the
// first occurrence of a name still wins when repeats differ in case and
// stand far apart; a name in one section says nothing about another.
TEST(IniFileIoTest, ManySectionsAndKeysKeepFirstOccurrences) {
  constexpr int kCount = 20000;
  std::string text;
  for (int i = 0; i < kCount; ++i)
    text += "[Client " + std::to_string(i) + "]\nName=c" + std::to_string(i) + "\n";
  text += "[Big]\n";
  for (int i = 0; i < kCount; ++i)
    text += "K" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  text += "k0=later\nk19999=later\n[CLIENT 0]\nName=repeat\nOnly=repeat\n";
  const TOrvoIniFile ini = TOrvoIniFile::FromBytes(text);

  TStringList list;
  ini.ReadSections(list);
  ASSERT_EQ(list.size(), kCount + 1u);
  EXPECT_EQ(list.front(), "Client 0");
  EXPECT_EQ(list.back(), "Big");
  EXPECT_EQ(ini.ReadString("client 0", "NAME", ""), "c0");
  EXPECT_EQ(ini.ReadString("Client 0", "Only", "none"), "none");
  EXPECT_EQ(ini.ReadString("Client 19999", "Name", ""), "c19999");
  EXPECT_EQ(ini.ReadString("Client 19999", "K0", "none"), "none");
  EXPECT_EQ(ini.ReadString("big", "k19999", ""), "19999");
  EXPECT_EQ(ini.ReadInteger("Big", "K12345", 0), 12345);
  ini.ReadSectionValues("Big", list);
  ASSERT_EQ(list.size(), kCount + 2u);
  EXPECT_EQ(list[kCount], "k0=0");
  EXPECT_EQ(list[kCount + 1], "k19999=19999");
  ini.ReadSectionRawValues("Big", list);
  EXPECT_EQ(list[kCount], "k0=later");
}

// A pipe or device named as the configuration reads as an empty file,
// without waiting for a writer or reading for ever.
TEST(IniFileIoTest, NotARegularFileReadsAsEmpty) {
  TempDir dir;
#ifdef _WIN32
  // A named pipe whose server never writes, and a device.
  const std::string pipe = "\\\\.\\pipe\\tavo-ini-test-" + std::to_string(::GetCurrentProcessId());
  const HANDLE server =
      ::CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  for (const std::string& path : {pipe, std::string("NUL")}) {
#else
  const std::string fifo = dir.File("fifo.ini");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, std::string("/dev/zero")}) {
#endif
    SCOPED_TRACE(path);
    const TOrvoIniFile ini(path);
    TStringList sections;
    ini.ReadSections(sections);
    EXPECT_TRUE(sections.empty());
  }
#ifdef _WIN32
  ::CloseHandle(server);
#endif
}

TEST(IniFileIoTest, HexStrings) {
  TempDir dir;
  const TOrvoIniFile ini(dir.Write("t.ini", "[S]\nA=41 42 43\nOdd=414\nBad=4G\n"));
  EXPECT_EQ(ini.ReadHexString("S", "A", ""), "ABC");
  try {
    ini.ReadHexString("S", "Odd", "");
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Invalid string length 3");
  }
  EXPECT_THROW(ini.ReadHexString("S", "Bad", ""), EConvertError);
}

TEST(IniFileIoTest, LoggingDefaultsWithoutAFile) {
  TempDir dir;
  TIniFileIo& io = TIniFileIo::Instance();
  ASSERT_TRUE(io.Load(dir.File("tavo.ini")));
  EXPECT_EQ(io.LogLevel(), eTrace);
  EXPECT_EQ(io.LogFileSize(), 2097152);
  EXPECT_EQ(io.LogFileName(), dir.File("tavo.log"));
  EXPECT_EQ(io.LogBackupDir(), "");
  EXPECT_EQ(io.LogBackupRetainDays(), 0);
  try {
    io.Open();
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), "File not found: " + dir.File("tavo.ini"));
  }
}

TEST(IniFileIoTest, LoggingSettingsAndDirectoryResolution) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("logs"));
  std::filesystem::create_directory(dir.File("bak"));
  const std::string inLogs = dir.File("logs") + kPathDelimiter + "tavo.log";
  const struct {
    std::string section;
    TMsgTypeId level;
    std::int32_t size;
    std::string logFile;
    std::string backupDir;
    std::int32_t retain;
  } cases[] = {
      {"Level=warning\nMaxFileSize=0x100000\nDirectory=logs\nBackupDirectory=./x/../bak\n"
       "BackupRetainDays=7\n",
       eWarning, 1048576, inLogs, dir.File("bak"), 7},
      {"Level=Verbose\nMaxFileSize=$FF\nDirectory=missing\nBackupDirectory=missing\n", eTrace, 255,
       dir.File("tavo.log"), "", 0},
      {"Level=None\nMaxFileSize=12abc\nDirectory=" + dir.File("logs") + "\n", eTrace, 2097152,
       inLogs, "", 0},
  };
  for (const auto& c : cases) {
    dir.Write("tavo.ini", "[Logging]\n" + c.section);
    TIniFileIo& io = TIniFileIo::Instance();
    ASSERT_TRUE(io.Load(dir.File("tavo.ini")));
    EXPECT_EQ(io.LogLevel(), c.level) << c.section;
    EXPECT_EQ(io.LogFileSize(), c.size) << c.section;
    EXPECT_EQ(io.LogFileName(), c.logFile) << c.section;
    EXPECT_EQ(io.LogBackupDir(), c.backupDir) << c.section;
    EXPECT_EQ(io.LogBackupRetainDays(), c.retain) << c.section;
    EXPECT_NE(io.Open(), nullptr);
  }
}

}  // namespace
}  // namespace tavo
