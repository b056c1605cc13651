#include "messages/MsgClasses.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "messages/MsgExceptions.h"
#include "messages/MsgUtils.h"

namespace tavo {
namespace {

using test::BoxRecorder;
using test::MessageCapture;

TEST(MsgLineTest, TimeStampPrefixesAndLineBreaks) {
  TLocalDateTime t;
  t.Year = 2024, t.Month = 3, t.Day = 5, t.Hour = 14, t.Minute = 7, t.Second = 9,
  t.Millisecond = 42;
  TMsgId hint;
  hint.SetTypeNo(eHint);
  EXPECT_EQ(FormatMsgLine(hint, "SNMPv1 disabled!", t),
            "05.03.2024 14:07:09.042 Hint:  SNMPv1 disabled!");

  const struct {
    std::uint8_t type;
    const char* line;
  } cases[] = {
      {eDebug, "Debug: x"},
      {eTrace, "Trace: x"},
      {eInfo, "Info:  x"},
      {eHint, "Hint:  x"},
      {eWarning, "Warning: x"},
      {eError, "Error: x"},
      {eFatal, "Fatal: x"},
      {0, "[0] x"},
      {9, "[9] x"},
  };
  for (const auto& c : cases) {
    TMsgId id(0x123456);
    id.SetTypeNo(c.type);
    EXPECT_EQ(MsgLineText(id, "x"), c.line);
  }
  TMsgId info;
  info.SetTypeNo(eInfo);
  EXPECT_EQ(MsgLineText(info, "one\r\ntwo\rthree\nfour\r\n"),
            "Info:  one||two\\x0Dthree\\x0Afour||");
}

TEST(MsgClassesTest, ControlCharactersAreEscapedInEveryLine) {
  TMsgId info;
  info.SetTypeNo(eInfo);
  const struct {
    std::string text, line;
  } cases[] = {
      {"a\nb", "Info:  a\\x0Ab"},
      {"a\rb", "Info:  a\\x0Db"},
      {"a\r\nb", "Info:  a||b"},
      {"a\r\r\nb", "Info:  a\\x0D||b"},
      {"a\tb", "Info:  a\\x09b"},
      {"\x1B[2J", "Info:  \\x1B[2J"},
      {std::string("a\0b", 3), "Info:  a\\x00b"},
      {"a\x7F", "Info:  a\\x7F"},
      {"\xC2\x9B"
       "31m",
       "Info:  \\x9B"
       "31m"},                                                       // U+009B, the one-byte CSI
      {"\xC2\x80\xC2\xA0\xC3\xA4", "Info:  \\x80\xC2\xA0\xC3\xA4"},  // NBSP and ä stay
      // A forged line of our own stays inside this one.
      {"x\n01.01.2025 00:00:00.000 Info:  Service closed",
       "Info:  x\\x0A01.01.2025 00:00:00.000 Info:  Service closed"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MsgLineText(info, c.text), c.line) << c.line;
}

TEST(MsgClassesTest, LevelFilter) {
  // Which of Debug..Fatal pass at each configured level.
  const struct {
    TMsgTypeId level;
    const char* passes;  // one mark per level Debug..Fatal
  } table[] = {
      {eNone, "1111111"}, {eDebug, "1111111"},   {eTrace, "0111111"}, {eInfo, "0011111"},
      {eHint, "0001111"}, {eWarning, "0000111"}, {eError, "0000011"}, {eFatal, "0000001"},
  };
  for (const auto& row : table) {
    MessageCapture capture(row.level);
    TMsg::Debug("m");
    TMsg::Trace("m");
    TMsg::Info("m");
    TMsg::Hint("m");
    TMsg::Warning("m");
    TMsg::Error("m");
    TMsg::Fatal("m");
    std::string seen = "0000000";
    for (const auto& m : capture.Messages())
      seen[m.Level() - 1] = '1';
    EXPECT_EQ(seen, row.passes) << "level " << int(row.level);
  }
}

TEST(MsgClassesTest, SinkGetsLevelInTopByteAndTheLowBitsUnchanged) {
  MessageCapture capture;
  TMsg::Warning("%s %d", {"code", 7}, TMsgId(0xFF03010A));
  ASSERT_EQ(capture.Messages().size(), 1u);
  EXPECT_EQ(capture.Messages()[0].Id.Value, 0x0503010Au);
  EXPECT_EQ(capture.Messages()[0].Text, "code 7");
}

TEST(MsgClassesTest, FormatErrorEmitsNothing) {
  MessageCapture capture;
  EXPECT_THROW(TMsg::Info("%d", {"x"}), EConvertError);
  EXPECT_TRUE(capture.Messages().empty());
}

TEST(MsgClassesTest, NoticeModeStoresInsteadOfCallingTheSink) {
  MessageCapture capture;
  TMsgClass* d = TMsgClass::Singleton();
  int notices = 0;
  d->OnMsgNotice = [&](void* sender) {
    EXPECT_EQ(sender, nullptr);
    ++notices;
  };
  TMsg::Error("stored", TMsgId(0x42));
  EXPECT_EQ(notices, 1);
  EXPECT_EQ(d->Text, "stored");
  EXPECT_EQ(d->Id.Value, 0x06000042u);
  EXPECT_TRUE(capture.Messages().empty());
}

TEST(MsgClassesTest, WithoutDispatcherTheFacadeShowsABox) {
  ASSERT_EQ(TMsgClass::Singleton(), nullptr);
  BoxRecorder boxes;
  TMsg::Trace("t");
  TMsg::Debug("d");
  TMsg::Info("i");
  TMsg::Hint("h");
  TMsg::Warning("w");
  TMsg::Error("e");
  TMsg::Fatal("f %d", {1});
  ASSERT_EQ(boxes.Boxes.size(), 7u);
  const struct {
    TMsgBoxIcon icon;
    const char* text;
  } expected[] = {{TMsgBoxIcon::eInformation, "Trace: t"},
                  {TMsgBoxIcon::eInformation, "Debug: d"},
                  {TMsgBoxIcon::eInformation, "i"},
                  {TMsgBoxIcon::eInformation, "h"},
                  {TMsgBoxIcon::eWarning, "w"},
                  {TMsgBoxIcon::eError, "e"},
                  {TMsgBoxIcon::eError, "f 1"}};
  for (std::size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(boxes.Boxes[i].Icon, expected[i].icon);
    EXPECT_EQ(boxes.Boxes[i].Text, expected[i].text);
  }
}

TEST(MsgClassesTest, UnconnectedSinkLosesMessagesSilently) {
  BoxRecorder boxes;
  TMsgClass::CreateSingleton();
  EXPECT_EQ(TMsgClass::CreateSingleton(), TMsgClass::Singleton());
  TMsg::Fatal("lost");
  TMsgClass::ReleaseSingleton();
  EXPECT_EQ(TMsgClass::Singleton(), nullptr);
  EXPECT_TRUE(boxes.Boxes.empty());
}

TEST(MsgClassesTest, LevelNames) {
  EXPECT_EQ(TMsgBase::TextToMsgTypeId("warning", eTrace), eWarning);
  EXPECT_EQ(TMsgBase::TextToMsgTypeId("DEBUG", eTrace), eDebug);
  EXPECT_EQ(TMsgBase::TextToMsgTypeId("Hint", eTrace), eHint);
  for (const char* other : {"None", "Verbose", "", "Info "}) {
    EXPECT_EQ(TMsgBase::TextToMsgTypeId(other, eTrace), eTrace) << other;
  }
}

TEST(MsgClassesTest, MsgExceptionTexts) {
  const EMsg plain(0x020214, 0);
  EXPECT_STREQ(plain.what(), "020214:0");
  EXPECT_TRUE(plain.Text.empty());
  const EMsg withText("Backup directory does not exist!", 0x020100, 0);
  EXPECT_STREQ(withText.what(), "Backup directory does not exist!\r\nID: 020100:0");
  EXPECT_EQ(withText.Id.UnitNo(), 2);

  // Reported through the facade, the line break shows as "||".
  MessageCapture capture;
  TMsg::Error(withText.what());
  EXPECT_EQ(capture.Lines().back(), "Error: Backup directory does not exist!||ID: 020100:0");
}

}  // namespace
}  // namespace tavo
