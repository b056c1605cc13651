#pragma once
// Small fixtures shared by the tests: a temporary folder, a settable clock,
// a message capture that stands in for the controller's sink, and a
// recording message box.

#include <chrono>
#include <string>
#include <vector>

#include "messages/MsgClasses.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"

namespace tavo::test {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return fsPath; }
  // Path() + "/" + aName
  std::string File(const std::string& aName) const;
  // Writes aBytes to File(aName) and returns that path.
  std::string Write(const std::string& aName, const std::string& aBytes) const;
  std::string Read(const std::string& aName) const;

 private:
  std::string fsPath;
};

std::string ReadWholeFile(const std::string& aPath);
void WriteWholeFile(const std::string& aPath, const std::string& aBytes);
// Sets a file's modification time to now + aOffset.
void SetFileAge(const std::string& aPath, std::chrono::seconds aOffsetFromNow);
// Splits a log file's text into its lines with the time stamps removed.
std::vector<std::string> LogLinesOf(const std::string& aText);

// A clock that says what the test tells it; installed while it lives.
class FakeClock final : public IClock {
 public:
  FakeClock();
  ~FakeClock() override;
  TLocalDateTime Now() const override { return fNow; }
  // Sets date and time; the weekday follows from the date.
  void Set(int aYear, int aMonth, int aDay, int aHour = 0, int aMinute = 0, int aSecond = 0,
           int aMillisecond = 0);
  TLocalDateTime fNow;
};

struct CapturedMsg {
  TMsgId Id;
  std::string Text;
  TMsgTypeId Level() const { return static_cast<TMsgTypeId>(Id.TypeNo()); }
  // The line without its time stamp, e.g. "Info:  text".
  std::string Line() const;
};

// Creates the dispatcher with its sink connected to a list, at aLevel;
// releases it again when it goes.
class MessageCapture {
 public:
  explicit MessageCapture(TMsgTypeId aLevel = eDebug);
  ~MessageCapture();
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;

  const std::vector<CapturedMsg>& Messages() const { return fMessages; }
  // Every captured line without time stamps ("Error: text").
  std::vector<std::string> Lines() const;
  bool Contains(const std::string& aLine) const;
  void Clear() { fMessages.clear(); }

 private:
  std::vector<CapturedMsg> fMessages;
};

// Records message boxes instead of showing them, while it lives.
class BoxRecorder {
 public:
  BoxRecorder();
  ~BoxRecorder();
  struct Box {
    TMsgBoxIcon Icon;
    std::string Text;
  };
  std::vector<Box> Boxes;

 private:
  TMessageBoxHandler fPrevious;
};

}  // namespace tavo::test
