#pragma once
// TLogFile appends lines to one log file, rotates it into a backup once it
// passes FileSize, and with BufferOn holds back lines that could not be
// written until the file can be written again. Text is written as given
// (UTF-8) through the platform's file system (platform/AppendFile.h), so
// tests can fail a chosen write. Main thread only.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "platform/AppendFile.h"

namespace tavo {

class TLogFile {
 public:
  // Held-back lines kept at most; older ones are dropped and counted.
  static constexpr std::size_t kMaxBufferedLines = 10000;

  TLogFile() = default;
  virtual ~TLogFile();
  TLogFile(const TLogFile&) = delete;
  TLogFile& operator=(const TLogFile&) = delete;

  // Stores the path, closes an open file and opens (creates) the new one.
  // Throws EOSError when it cannot be opened.
  virtual void SetFileName(const std::string& aPath);
  const std::string& FileName() const { return FsFileName; }

  // Throws EMsg "Backup directory does not exist!" (0x020100) when no
  // directory exists at aPath; stores it with a trailing '/'.
  void SetBackupDir(const std::string& aPath);
  const std::string& BackupDir() const { return FsBackupDir; }

  // true closes the file at once; every append then opens and closes it.
  void SetReleaseAlways(bool aValue);
  bool ReleaseAlways() const { return FbReleaseAlways; }

  // Appends aData. Errors propagate unless BufferOn is set, in which case the
  // line is held back and written, marked "Log Buffer: ", before the next
  // line that gets through.
  void AppendData(const std::string& aData);

  // true when a backup clean-up is due (retention above 0 and at least two
  // calendar days since the last one); records today as the last one.
  bool IsTimeForBackupCleanUp();

  std::size_t BufferedLineCount() const { return fslBuffer.size(); }

  std::int32_t FileSize = 100000;  // rotation limit in bytes; <= 0: none
  std::int32_t BackupRetainDays = 0;
  bool AutoOpen = true;
  bool BufferOn = false;

 private:
  void OpenFile();
  void CloseFile();
  void MakeBackup();
  void WriteAll(const std::string& aData);
  void HoldBack(const std::string& aData);

  std::deque<std::string> fslBuffer;
  std::size_t fnDropped = 0;            // held-back lines dropped at the bound
  std::unique_ptr<IAppendFile> fhFile;  // open, or null
  std::string FsFileName;
  std::string FsBackupDir;
  std::int64_t fiLastCleanUpDay = -25569;  // the day of the zero date-time (1899-12-30)
  bool FbReleaseAlways = true;
};

// Deletes every file in aDirectory (not subdirectories) last written more
// than aDays whole days ago and not in the future. Returns the number
// deleted, or -1 when the directory is empty or does not exist.
std::int32_t DeleteOldFiles(const std::string& aDirectory, std::int32_t aDays);

}  // namespace tavo
