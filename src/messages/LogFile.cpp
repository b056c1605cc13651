#include "messages/LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

#include "messages/Format.h"
#include "messages/MsgExceptions.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/TextUtils.h"

namespace tavo {
namespace {}  // namespace

TLogFile::~TLogFile() {
  CloseFile();
}

void TLogFile::SetFileName(const std::string& aPath) {
  FsFileName = aPath;
  CloseFile();
  OpenFile();
}

void TLogFile::SetBackupDir(const std::string& aPath) {
  if (!DirectoryExists(aPath))
    throw EMsg("Backup directory does not exist!", 0x020100, 0);
  FsBackupDir = IncludeTrailingPathDelimiter(aPath);
}

void TLogFile::SetReleaseAlways(bool aValue) {
  if (aValue)
    CloseFile();
  FbReleaseAlways = aValue;
}

void TLogFile::OpenFile() {
  fhFile = ::open(FsFileName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fhFile < 0)
    throw EOSError(ErrnoText("Cannot open " + FsFileName, errno), errno);
}

void TLogFile::CloseFile() {
  if (fhFile >= 0) {
    ::close(fhFile);
    fhFile = -1;
  }
}

void TLogFile::WriteAll(const std::string& aData) {
  const char* p = aData.data();
  std::size_t left = aData.size();
  while (left > 0) {
    const ssize_t n = ::write(fhFile, p, left);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      throw EOSError(ErrnoText("Cannot write " + FsFileName, errno), errno);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

void TLogFile::AppendData(const std::string& aData) {
  try {
    if (fhFile < 0) {
      if (!AutoOpen)
        throw EMsg(0x020214, 0);
      if (FsFileName.empty())
        throw EMsg(0x02020A, 0);
      OpenFile();
    }
    const off_t end = ::lseek(fhFile, 0, SEEK_END);
    if (end < 0)
      throw EOSError(ErrnoText("Cannot seek " + FsFileName, errno), errno);
    if (fnDropped > 0 || !fslBuffer.empty()) {
      std::string held;
      if (fnDropped > 0) {
        held += Format("Log Buffer: %d line(s) dropped while the log file could not be written\r\n",
                       {fnDropped});
      }
      for (const std::string& line : fslBuffer)
        held += line + "\r\n";
      WriteAll(held);
      fslBuffer.clear();
      fnDropped = 0;
    }
    WriteAll(aData);
    if (FileSize > 0) {
      struct stat st {};
      if (::fstat(fhFile, &st) == 0 && static_cast<std::int64_t>(st.st_size) > FileSize) {
        MakeBackup();
      }
    }
    if (FbReleaseAlways)
      CloseFile();
  } catch (...) {
    if (!BufferOn)
      throw;
    HoldBack(aData);
  }
}

void TLogFile::HoldBack(const std::string& aData) {
  if (fslBuffer.size() >= kMaxBufferedLines) {
    fslBuffer.pop_front();
    ++fnDropped;
  }
  fslBuffer.push_back("Log Buffer: " + TrimText(aData));
}

void TLogFile::MakeBackup() {
  CloseFile();
  std::string backup;
  if (!FsBackupDir.empty()) {
    const std::string name = ExtractFileName(FsFileName);
    const auto dot = name.find('.');
    const std::string stem = dot == std::string::npos ? std::string() : name.substr(0, dot + 1);
    const LocalDateTime now = Clock().Now();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d%02d%02d%02d%02d%02d", now.Year % 100, now.Month,
                  now.Day, now.Hour, now.Minute, now.Second);
    backup = FsBackupDir + stem + stamp + ".bak";
  } else {
    backup = ChangeFileExt(FsFileName, ".bak");
  }
  if (FileExists(backup))
    DeleteFile(backup);
  RenameFile(FsFileName, backup);  // a failed rename is tried again at the next append
}

bool TLogFile::IsTimeForBackupCleanUp() {
  if (BackupRetainDays <= 0)
    return false;
  const std::int64_t today = DayNumber(Clock().Now());
  if (today - fiLastCleanUpDay <= 1)
    return false;
  fiLastCleanUpDay = today;
  return true;
}

std::int32_t DeleteOldFiles(const std::string& aDirectory, std::int32_t aDays) {
  // An empty name would become "/" below: no folder is named, none is cleaned.
  if (aDirectory.empty())
    return -1;
  const std::string dir = IncludeTrailingPathDelimiter(aDirectory);
  if (!DirectoryExists(dir))
    return -1;
  std::vector<DirEntry> entries;
  try {
    entries = ListDirectory(dir);
  } catch (const Exception&) {
    return 0;
  }
  const auto now = std::chrono::system_clock::now();
  std::int32_t count = 0;
  for (const DirEntry& e : entries) {
    if (e.IsDirectory || e.LastWrite >= now)
      continue;
    const auto age = std::chrono::duration_cast<std::chrono::hours>(now - e.LastWrite).count() / 24;
    if (age > aDays && DeleteFile(dir + e.Name))
      ++count;
  }
  return count;
}

}  // namespace tavo
