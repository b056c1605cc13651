#include "platform/Files.h"

#include <windows.h>
// windows.h maps DeleteFile to DeleteFileW; ours is tavo::DeleteFile.
#undef DeleteFile

#include <cstdint>

#include "platform/Errors.h"
#include "platform/TextCodec.h"
#include "platform/WideText.h"

namespace tavo {
namespace {

DWORD AttributesOf(const std::string& aPath) {
  return aPath.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(Utf8ToWide(aPath).c_str());
}

[[noreturn]] void ThrowError(const std::string& aWhat, DWORD aCode) {
  throw EOSError(Win32ErrorText(aWhat, aCode), static_cast<int>(aCode));
}

// FILETIME counts 100 ns since 1601-01-01; the system clock counts from 1970.
std::chrono::system_clock::time_point TimeOf(const FILETIME& aTime) {
  constexpr std::int64_t kEpochDifference = 116444736000000000;  // in 100 ns
  const std::int64_t ticks =
      static_cast<std::int64_t>((static_cast<std::uint64_t>(aTime.dwHighDateTime) << 32) |
                                aTime.dwLowDateTime) -
      kEpochDifference;
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>(ticks)));
}

// Closes aFile and throws "Cannot read <path>".
[[noreturn]] void ThrowReadError(const std::string& aPath, HANDLE aFile, DWORD aCode) {
  ::CloseHandle(aFile);
  ThrowError("Cannot read " + aPath, aCode);
}

// With aLimit set, only a regular file of at most *aLimit bytes.
std::string ReadBytes(const std::string& aPath, const std::size_t* aLimit) {
  const HANDLE h = ::CreateFileW(Utf8ToWide(aPath).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    ThrowError("Cannot open " + aPath, ::GetLastError());
  if (aLimit) {
    // A device ("CON", "NUL") or a pipe could block or never end.
    if (::GetFileType(h) != FILE_TYPE_DISK)
      ThrowReadError(aPath, h, ERROR_INVALID_PARAMETER);
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(h, &size))
      ThrowReadError(aPath, h, ::GetLastError());
    if (static_cast<std::uint64_t>(size.QuadPart) > *aLimit)
      ThrowReadError(aPath, h, ERROR_FILE_TOO_LARGE);
  }
  std::string data;
  char buf[65536];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(h, buf, sizeof buf, &n, nullptr)) {
      const DWORD err = ::GetLastError();
      if (err == ERROR_BROKEN_PIPE)
        break;  // a pipe's writer has gone: its end
      ThrowReadError(aPath, h, err);
    }
    if (n == 0)
      break;
    data.append(buf, n);
    // A file may grow while it is read.
    if (aLimit && data.size() > *aLimit)
      ThrowReadError(aPath, h, ERROR_FILE_TOO_LARGE);
  }
  ::CloseHandle(h);
  return data;
}

}  // namespace

bool FileExists(const std::string& aPath) {
  const DWORD attributes = AttributesOf(aPath);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool RegularFileExists(const std::string& aPath) {
  if (!FileExists(aPath))
    return false;
  // Opened (links followed) to tell a file on a disk from a device.
  const HANDLE h = ::CreateFileW(Utf8ToWide(aPath).c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return false;
  const bool disk = ::GetFileType(h) == FILE_TYPE_DISK;
  ::CloseHandle(h);
  return disk;
}

bool DirectoryExists(const std::string& aPath) {
  const DWORD attributes = AttributesOf(aPath);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool DeleteFile(const std::string& aPath) {
  return ::DeleteFileW(Utf8ToWide(aPath).c_str()) != 0;
}

bool RenameFile(const std::string& aFrom, const std::string& aTo) {
  return ::MoveFileExW(Utf8ToWide(aFrom).c_str(), Utf8ToWide(aTo).c_str(),
                       MOVEFILE_REPLACE_EXISTING) != 0;
}

std::vector<TDirEntry> ListDirectory(const std::string& aDir) {
  const std::wstring pattern = Utf8ToWide(
      aDir.empty() || aDir.back() == '\\' || aDir.back() == '/' ? aDir + "*" : aDir + "\\*");
  WIN32_FIND_DATAW found{};
  // Hidden and system files are listed as well: FindFirstFile leaves none out.
  const HANDLE h = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                      FindExSearchNameMatch, nullptr, 0);
  std::vector<TDirEntry> entries;
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = ::GetLastError();
    if (err == ERROR_FILE_NOT_FOUND && DirectoryExists(aDir))
      return entries;  // a drive's root has no "." or ".." to find
    ThrowError("Cannot list " + aDir, err);
  }
  do {
    const std::string name = WideToUtf8(found.cFileName);
    if (name == "." || name == "..")
      continue;
    TDirEntry e;
    e.Name = name;
    e.IsDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    e.LastWrite = TimeOf(found.ftLastWriteTime);
    entries.push_back(std::move(e));
  } while (::FindNextFileW(h, &found));
  ::FindClose(h);
  return entries;
}

std::string ReadFileBytes(const std::string& aPath) {
  return ReadBytes(aPath, nullptr);
}

std::string ReadFileBytes(const std::string& aPath, std::size_t aMaxBytes) {
  return ReadBytes(aPath, &aMaxBytes);
}

std::string ReadTextFile(const std::string& aPath) {
  return DecodeTextBytes(ReadFileBytes(aPath));
}

std::string ReadTextFile(const std::string& aPath, std::size_t aMaxBytes) {
  return DecodeTextBytes(ReadFileBytes(aPath, aMaxBytes));
}

}  // namespace tavo
