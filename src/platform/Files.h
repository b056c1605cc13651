#pragma once
// Files and directories. Failures are reported through the result (false,
// empty) unless the function says it throws EOSError.

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace tavo {

bool FileExists(const std::string& aPath);  // exists and is not a directory
// Exists and is a regular file (links followed): no FIFO, socket or device.
bool RegularFileExists(const std::string& aPath);
bool DirectoryExists(const std::string& aPath);
bool DeleteFile(const std::string& aPath);
// rename(2) (MoveFileExW on Windows): replaces an existing target on the
// same file system.
bool RenameFile(const std::string& aFrom, const std::string& aTo);

struct TDirEntry {
  std::string Name;
  bool IsDirectory = false;
  std::chrono::system_clock::time_point LastWrite;
};
// Every entry except "." and "..", hidden files included. Throws EOSError.
std::vector<TDirEntry> ListDirectory(const std::string& aDir);

// The whole file as bytes. Throws EOSError.
std::string ReadFileBytes(const std::string& aPath);
// The same for a file named in configuration: only a regular file of at
// most aMaxBytes is read, so a FIFO cannot block and a device cannot fill
// memory. Anything else throws EOSError: EINVAL for a file that is not
// regular, EFBIG for a larger one (on Windows ERROR_INVALID_PARAMETER and
// ERROR_FILE_TOO_LARGE).
std::string ReadFileBytes(const std::string& aPath, std::size_t aMaxBytes);
// The whole file as UTF-8, by its byte-order mark or the received-text rule.
// Throws EOSError; the second form limits the file as ReadFileBytes does.
std::string ReadTextFile(const std::string& aPath);
std::string ReadTextFile(const std::string& aPath, std::size_t aMaxBytes);

}  // namespace tavo
