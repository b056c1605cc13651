#include "messages/LogFile.h"

#include <chrono>
#include <cstdio>

#include "messages/Format.h"
#include "messages/MsgExceptions.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/TextUtils.h"

namespace tavo {

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
  fhFile = FileSystem().OpenAppend(FsFileName, TAppendOptions());
}

void TLogFile::CloseFile() {
  fhFile.reset();
}

void TLogFile::WriteAll(const std::string& aData) {
  fhFile->Append(aData);
}

void TLogFile::AppendData(const std::string& aData) {
  try {
    if (!fhFile) {
      if (!AutoOpen)
        throw EMsg(0x020214, 0);
      if (FsFileName.empty())
        throw EMsg(0x02020A, 0);
      OpenFile();
    }
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
    TAppendFileStatus status;
    if (FileSize > 0 && fhFile->Status(status) && status.Size > FileSize)
      MakeBackup();
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
    const TLocalDateTime now = Clock().Now();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d%02d%02d%02d%02d%02d", now.Year % 100, now.Month,
                  now.Day, now.Hour, now.Minute, now.Second);
    backup = FsBackupDir + stem + stamp + ".bak";
  } else {
    backup = ChangeFileExt(FsFileName, ".bak");
  }
  IFileSystem& files = FileSystem();
  if (files.Exists(backup))
    files.Delete(backup);
  files.Rename(FsFileName, backup);  // a failed rename is tried again at the next append
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
  std::vector<TDirEntry> entries;
  try {
    entries = ListDirectory(dir);
  } catch (const Exception&) {
    return 0;
  }
  const auto now = std::chrono::system_clock::now();
  std::int32_t count = 0;
  for (const TDirEntry& e : entries) {
    if (e.IsDirectory || e.LastWrite >= now)
      continue;
    const auto age = std::chrono::duration_cast<std::chrono::hours>(now - e.LastWrite).count() / 24;
    if (age > aDays && DeleteFile(dir + e.Name))
      ++count;
  }
  return count;
}

}  // namespace tavo
