#pragma once
// TLogFile appends lines to one log file, rotates it into a backup once it
// passes FileSize, and with BufferOn holds back lines that could not be
// written until the file can be written again. Text is written as given
// (UTF-8) through the platform's file system (platform/AppendFile.h), so
// tests can fail a chosen write. Main thread only.
//
// Tavo runs as root, so the log is no way into other files: it is opened
// without following a link and without waiting, and only a regular file
// with one link owned by our user is written (new files and backups get
// mode 0640). Anything else is refused: "Log file refused: ..." goes to
// standard error and the system log directly (never through the message
// dispatcher, whose sink is the caller), once until a write succeeds again,
// and the lines are treated as for a file that cannot be written. While
// the file is open no other process may open it (Windows' share modes; Linux
// has none).

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "platform/AppendFile.h"

namespace tavo {

class TLogFile {
 public:
  // Held-back lines kept at most, in number and in bytes; older ones are
  // dropped and counted.
  static constexpr std::size_t kMaxBufferedLines = 10000;
  static constexpr std::size_t kMaxBufferedBytes = 4 * 1024 * 1024;
  // Permission bits of a log file or backup that is created.
  static constexpr unsigned kCreateMode = 0640;

  TLogFile() = default;
  virtual ~TLogFile();
  TLogFile(const TLogFile&) = delete;
  TLogFile& operator=(const TLogFile&) = delete;

  // Stores the path, closes an open file and opens (creates) the new one.
  // Throws EOSError when it cannot be opened; a refused file (see above)
  // throws ENotOurFile only without BufferOn, else its lines are held back.
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

  // The failed rotation since the last call, or empty: "Log rotation:
  // cannot rename <log> (<error>)", once until a rotation works again. A
  // rename that cannot cross file systems falls back to copy and truncate;
  // when neither works the log goes on growing. The caller reports it after
  // AppendData has returned (from inside, the report would re-enter it).
  std::string TakeRotationFailure();

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
  std::string BackupName(std::size_t aNumber) const;
  bool CopyAndTruncate(const std::string& aBackup, int& aError);
  void WriteAll(const std::string& aData);
  void HoldBack(const std::string& aData);
  void ReportRefusal();

  std::deque<std::string> fslBuffer;
  std::size_t fnBufferedBytes = 0;      // of the lines in fslBuffer
  std::size_t fnDropped = 0;            // held-back lines dropped at the bound
  std::unique_ptr<IAppendFile> fhFile;  // open, or null
  std::string FsFileName;
  std::string FsBackupDir;
  std::int64_t fiLastCleanUpDay = -25569;  // the day of the zero date-time (1899-12-30)
  std::string fsBackupStamp;               // of the last backup in FsBackupDir
  std::size_t fnNextBackupNumber = 0;      // its next free counter
  std::string fsRotationFailure;           // not yet taken
  bool fbRotationFailed = false;           // since the last rotation that worked
  bool fbRefusalReported = false;          // since the last write that worked
  bool FbReleaseAlways = true;
};

// Deletes every file in aDirectory (not subdirectories) last written more
// than aDays whole days ago and not in the future. Returns the number
// deleted, or -1 when the directory is empty or does not exist.
std::int32_t DeleteOldFiles(const std::string& aDirectory, std::int32_t aDays);

}  // namespace tavo
