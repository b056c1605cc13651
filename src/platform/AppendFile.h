#pragma once
// The file the log writes through: a file open for appending, and the
// operations on whole files that its rotation needs. They sit behind an
// interface so that each platform keeps its rules (links, file types,
// creation modes, share modes) in one place, and so that a test can make a
// chosen write, rename or copy fail.
//
// Errors: opening, appending and truncating throw EOSError (ENotOurFile for
// a file refused by OwnRegularFileOnly); the status and the whole-file
// operations return false (with the platform's error code).
// An IAppendFile is used by one thread at a time; the file system object is
// process-wide and must be replaced only while no file is in use.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Errors.h"

namespace tavo {

struct TAppendOptions {
  // Refuse to open through a symbolic link in the last component.
  bool NoFollow = false;
  // Do not wait for a FIFO's reader or a device while opening.
  bool NonBlocking = false;
  // Permission bits of a file that is created (the process's umask applies).
  unsigned CreateMode = 0644;
  // No other process may open the file while it is open (where the platform
  // has share modes; Linux has none).
  bool Exclusive = false;
  // Only a regular file with one link, owned by the user the process runs
  // as; anything else (a link, FIFO, socket, device, directory) throws
  // ENotOurFile and is left as it was.
  bool OwnRegularFileOnly = false;
};

// The file at the path is not a regular file of ours (OwnRegularFileOnly).
class ENotOurFile : public EOSError {
 public:
  using EOSError::EOSError;
};

struct TAppendFileStatus {
  bool Regular = false;     // a regular file, not a FIFO, device or directory
  std::uint64_t Links = 0;  // hard links to it
  bool OwnedByUs = false;   // owned by the user the process runs as
  std::int64_t Size = 0;    // bytes
};

class IAppendFile {
 public:
  virtual ~IAppendFile() = default;
  // Writes every byte of aData at the end of the file.
  virtual void Append(std::string_view aData) = 0;
  // The file's status; false (and aStatus untouched) when it cannot be read.
  virtual bool Status(TAppendFileStatus& aStatus) = 0;
  // Cuts the file to zero bytes.
  virtual void Truncate() = 0;
};

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;
  // Opens aPath for reading and writing, positioned for appends, and creates
  // it (empty) when it does not exist.
  virtual std::unique_ptr<IAppendFile> OpenAppend(const std::string& aPath,
                                                  const TAppendOptions& aOptions) = 0;
  // Something other than a directory exists at aPath.
  virtual bool Exists(const std::string& aPath) = 0;
  virtual bool Delete(const std::string& aPath, int* aError = nullptr) = 0;
  // Moves aFrom to aTo, replacing a file there; on one file system only.
  virtual bool Rename(const std::string& aFrom, const std::string& aTo, int* aError = nullptr) = 0;
  // Copies aFrom's bytes (a regular file) into a new file aTo (replacing one
  // there, never writing through a link at aTo) created with aCreateMode.
  // A failed copy leaves no aTo behind.
  virtual bool Copy(const std::string& aFrom, const std::string& aTo, unsigned aCreateMode,
                    int* aError = nullptr) = 0;
};

// The system's files.
class TSystemFileSystem final : public IFileSystem {
 public:
  std::unique_ptr<IAppendFile> OpenAppend(const std::string& aPath,
                                          const TAppendOptions& aOptions) override;
  bool Exists(const std::string& aPath) override;
  bool Delete(const std::string& aPath, int* aError) override;
  bool Rename(const std::string& aFrom, const std::string& aTo, int* aError) override;
  bool Copy(const std::string& aFrom, const std::string& aTo, unsigned aCreateMode,
            int* aError) override;
};

// true when aError, from Rename, says that aFrom and aTo lie on different
// file systems (where a copy can still move the bytes).
bool IsCrossDeviceError(int aError);

// The file system in effect: the installed one, else the system's.
IFileSystem& FileSystem();
// Installs aFileSystem (not owned); nullptr restores the system's.
void SetFileSystem(IFileSystem* aFileSystem);

}  // namespace tavo
