#include "TestSupport.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/WideText.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "messages/MsgUtils.h"
#include "platform/Paths.h"

namespace tavo::test {
namespace {

// The path as std::filesystem and the streams take it: UTF-8 inside, UTF-16
// on Windows.
std::filesystem::path FsPath(const std::string& aPath) {
#ifdef _WIN32
  return std::filesystem::path(Utf8ToWide(aPath));
#else
  return std::filesystem::path(aPath);
#endif
}

}  // namespace

#ifdef _WIN32
TempDir::TempDir() {
  wchar_t base[MAX_PATH + 1] = {};
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, base);
  if (n == 0 || n > MAX_PATH)
    throw std::runtime_error("GetTempPathW failed");
  // A new name per attempt: the process id, a counter and the clock.
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring path =
        std::wstring(base) + L"tavo-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
        std::to_wstring(++counter) + L"-" + std::to_wstring(::GetTickCount64() % 100000);
    if (::CreateDirectoryW(path.c_str(), nullptr)) {
      fsPath = WideToUtf8(path);
      return;
    }
  }
  throw std::runtime_error("CreateDirectoryW failed");
}
#else
TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/tavo-test-XXXXXX";
  if (!::mkdtemp(tmpl.data()))
    throw std::runtime_error("mkdtemp failed");
  fsPath = tmpl;
}
#endif

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(FsPath(fsPath), ec);
}

std::string TempDir::File(const std::string& aName) const {
  return fsPath + kPathDelimiter + aName;
}

std::string TempDir::Write(const std::string& aName, const std::string& aBytes) const {
  const std::string path = File(aName);
  WriteWholeFile(path, aBytes);
  return path;
}

std::string TempDir::Read(const std::string& aName) const {
  return ReadWholeFile(File(aName));
}

std::string ReadWholeFile(const std::string& aPath) {
  std::ifstream in(FsPath(aPath), std::ios::binary);
  if (!in)
    throw std::runtime_error("cannot read " + aPath);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> LogLinesOf(const std::string& aText) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < aText.size()) {
    std::size_t end = aText.find("\r\n", start);
    if (end == std::string::npos)
      break;  // a line still being written
    std::string line = aText.substr(start, end - start);
    // "dd.mm.yyyy hh:nn:ss.zzz " is 24 characters.
    lines.push_back(line.size() >= 24 ? line.substr(24) : line);
    start = end + 2;
  }
  return lines;
}

void WriteWholeFile(const std::string& aPath, const std::string& aBytes) {
  std::ofstream out(FsPath(aPath), std::ios::binary | std::ios::trunc);
  if (!out)
    throw std::runtime_error("cannot write " + aPath);
  out << aBytes;
}

#ifdef _WIN32
void SetFileAge(const std::string& aPath, std::chrono::seconds aOffsetFromNow) {
  // Backup semantics: a folder's age too.
  const HANDLE h = ::CreateFileW(Utf8ToWide(aPath).c_str(), FILE_WRITE_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    throw std::runtime_error("cannot open " + aPath);
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER t{};
  t.LowPart = now.dwLowDateTime;
  t.HighPart = now.dwHighDateTime;
  t.QuadPart += static_cast<std::int64_t>(aOffsetFromNow.count()) * 10000000;
  FILETIME when{t.LowPart, t.HighPart};
  const bool ok = ::SetFileTime(h, nullptr, &when, &when);
  ::CloseHandle(h);
  if (!ok)
    throw std::runtime_error("SetFileTime failed for " + aPath);
}
#else
void SetFileAge(const std::string& aPath, std::chrono::seconds aOffsetFromNow) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  timespec times[2] = {now, now};
  times[1].tv_sec += aOffsetFromNow.count();
  times[0] = times[1];
  if (::utimensat(AT_FDCWD, aPath.c_str(), times, 0) != 0) {
    throw std::runtime_error("utimensat failed for " + aPath);
  }
}
#endif

FakeClock::FakeClock() {
  Set(2024, 3, 5, 14, 7, 9, 42);
  SetClock(this);
}

FakeClock::~FakeClock() {
  SetClock(nullptr);
}

void FakeClock::Set(int aYear, int aMonth, int aDay, int aHour, int aMinute, int aSecond,
                    int aMillisecond) {
  fNow.Year = aYear;
  fNow.Month = aMonth;
  fNow.Day = aDay;
  fNow.Hour = aHour;
  fNow.Minute = aMinute;
  fNow.Second = aSecond;
  fNow.Millisecond = aMillisecond;
  fNow.DayOfWeek = IsoWeekday(DayNumber(aYear, aMonth, aDay));
}

std::string CapturedMsg::Line() const {
  return MsgLineText(Id, Text);
}

MessageCapture::MessageCapture(TMsgTypeId aLevel) {
  TMsgClass* d = TMsgClass::CreateSingleton();
  d->Level = aLevel;
  d->OnNewMsg = [this](TMsgBase*, TMsgId aId, const std::string& aText) {
    fMessages.push_back({aId, aText});
  };
}

MessageCapture::~MessageCapture() {
  if (TMsgClass* d = TMsgClass::Singleton())
    d->OnNewMsg = nullptr;
  TMsgClass::ReleaseSingleton();
}

std::vector<std::string> MessageCapture::Lines() const {
  std::vector<std::string> lines;
  for (const CapturedMsg& m : fMessages)
    lines.push_back(m.Line());
  return lines;
}

bool MessageCapture::Contains(const std::string& aLine) const {
  const auto lines = Lines();
  return std::find(lines.begin(), lines.end(), aLine) != lines.end();
}

BoxRecorder::BoxRecorder() {
  fPrevious = SetMessageBoxHandler([this](TMsgBoxIcon aIcon, const std::string& aText) {
    Boxes.push_back({aIcon, aText});
  });
}

BoxRecorder::~BoxRecorder() {
  SetMessageBoxHandler(std::move(fPrevious));
}

}  // namespace tavo::test
