#include "messages/LogFile.h"

#include <chrono>
#include <cstdio>

#include "messages/Format.h"
#include "messages/MsgExceptions.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/SystemLog.h"
#include "platform/TextUtils.h"

namespace tavo {

TLogFile::~TLogFile() {
  CloseFile();
}

namespace {

// Enough for any folder: the counter only grows past a handful when
// rotations follow each other within one second.
constexpr std::size_t kMaxBackupNumber = 1000000;

TAppendOptions LogFileOptions() {
  TAppendOptions options;
  options.NoFollow = true;
  options.NonBlocking = true;
  options.OwnRegularFileOnly = true;
  options.Exclusive = true;
  options.CreateMode = TLogFile::kCreateMode;
  return options;
}

}  // namespace

void TLogFile::SetFileName(const std::string& aPath) {
  FsFileName = aPath;
  CloseFile();
  try {
    OpenFile();
  } catch (const ENotOurFile&) {
    ReportRefusal();
    if (!BufferOn)
      throw;
  }
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
  fhFile = FileSystem().OpenAppend(FsFileName, LogFileOptions());
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
      fnBufferedBytes = 0;
      fnDropped = 0;
    }
    WriteAll(aData);
    fbRefusalReported = false;
    TAppendFileStatus status;
    if (FileSize > 0 && fhFile->Status(status) && status.Size > FileSize)
      MakeBackup();
    if (FbReleaseAlways)
      CloseFile();
  } catch (const ENotOurFile&) {
    ReportRefusal();
    if (!BufferOn)
      throw;
    HoldBack(aData);
  } catch (...) {
    if (!BufferOn)
      throw;
    HoldBack(aData);
  }
}

void TLogFile::HoldBack(const std::string& aData) {
  fslBuffer.push_back("Log Buffer: " + TrimText(aData));
  fnBufferedBytes += fslBuffer.back().size();
  while (!fslBuffer.empty() &&
         (fslBuffer.size() > kMaxBufferedLines || fnBufferedBytes > kMaxBufferedBytes)) {
    fnBufferedBytes -= fslBuffer.front().size();
    fslBuffer.pop_front();
    ++fnDropped;
  }
}

void TLogFile::ReportRefusal() {
  if (fbRefusalReported)
    return;
  fbRefusalReported = true;
  const std::string text =
      Format("Log file refused: %s is not a regular file of ours", {FsFileName});
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
  WriteSystemLog(TSysLogLevel::eError, text);
}

std::string TLogFile::BackupName(std::size_t aNumber) const {
  if (FsBackupDir.empty())
    return ChangeFileExt(FsFileName, ".bak");
  const std::string name = ExtractFileName(FsFileName);
  const auto dot = name.find('.');
  const std::string stem = dot == std::string::npos ? std::string() : name.substr(0, dot + 1);
  const std::string number = aNumber == 0 ? std::string() : "." + std::to_string(aNumber);
  return FsBackupDir + stem + fsBackupStamp + number + ".bak";
}

void TLogFile::MakeBackup() {
  CloseFile();
  IFileSystem& files = FileSystem();
  std::size_t number = 0;
  if (!FsBackupDir.empty()) {
    const TLocalDateTime now = Clock().Now();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d%02d%02d%02d%02d%02d", now.Year % 100, now.Month,
                  now.Day, now.Hour, now.Minute, now.Second);
    if (fsBackupStamp != stamp) {
      fsBackupStamp = stamp;
      fnNextBackupNumber = 0;
    }
    // Two rotations in one second: the later backup gets a counter rather
    // than replace the earlier one.
    number = fnNextBackupNumber;
    while (files.Exists(BackupName(number)) && number < kMaxBackupNumber)
      ++number;
  }
  const std::string backup = BackupName(number);
  if (files.Exists(backup))
    files.Delete(backup);
  int error = 0;
  bool rotated = files.Rename(FsFileName, backup, &error);
  if (!rotated && IsCrossDeviceError(error))
    rotated = CopyAndTruncate(backup, error);
  if (rotated) {
    fnNextBackupNumber = number + 1;
    fbRotationFailed = false;
    return;
  }
  // The log goes on growing, and the rotation is tried again at the next
  // append; the failure is told once.
  if (!fbRotationFailed) {
    fbRotationFailed = true;
    fsRotationFailure =
        Format("Log rotation: cannot rename %s (%s)", {FsFileName, OSErrorText(error)});
  }
}

bool TLogFile::CopyAndTruncate(const std::string& aBackup, int& aError) {
  IFileSystem& files = FileSystem();
  if (!files.Copy(FsFileName, aBackup, kCreateMode, &aError))
    return false;
  try {
    files.OpenAppend(FsFileName, LogFileOptions())->Truncate();
    return true;
  } catch (const EOSError& e) {
    aError = e.Code;
  }
  // The lines stay in the log: the copy would only repeat them.
  files.Delete(aBackup);
  return false;
}

std::string TLogFile::TakeRotationFailure() {
  std::string failure;
  failure.swap(fsRotationFailure);
  return failure;
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
