#include "platform/Paths.h"

#include <windows.h>

#include <vector>

#include "platform/WideText.h"

namespace tavo {
namespace {

std::string gConfigOverride;

bool IsDriveLetter(char aChar) {
  return (aChar >= 'A' && aChar <= 'Z') || (aChar >= 'a' && aChar <= 'z');
}

// The length of aPath's drive or share prefix ("C:", "\\server\share"),
// 0 when it has none.
std::size_t DriveLength(const std::string& aPath) {
  if (aPath.size() >= 2 && IsDriveLetter(aPath[0]) && aPath[1] == ':')
    return 2;
  if (aPath.size() >= 2 && IsPathDelimiter(aPath[0]) && IsPathDelimiter(aPath[1])) {
    // Two parts after the leading separators: the server and the share.
    std::size_t at = 2;
    for (int part = 0; part < 2 && at < aPath.size(); ++part) {
      while (at < aPath.size() && !IsPathDelimiter(aPath[at]))
        ++at;
      if (part == 0 && at < aPath.size())
        ++at;
    }
    return at;
  }
  return 0;
}

// The last separator, or the drive's colon ("C:name"); npos when none.
std::size_t LastDelimiter(const std::string& aPath) {
  for (std::size_t i = aPath.size(); i > 0; --i) {
    const char c = aPath[i - 1];
    if (IsPathDelimiter(c) || (c == ':' && i == 2))
      return i - 1;
  }
  return std::string::npos;
}

}  // namespace

std::string ExecutablePath() {
  // Paths may be longer than MAX_PATH; the buffer grows until it fits.
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0)
      return {};
    if (n < buf.size()) {
      buf.resize(n);
      return WideToUtf8(buf);
    }
    if (buf.size() >= 32768)
      return {};
    buf.resize(buf.size() * 2);
  }
}

std::string RealPath(const std::string& aPath) {
  if (aPath.empty())
    return {};
  // Opening the object itself resolves links and junctions on the way;
  // backup semantics let a folder be opened too.
  const HANDLE h = ::CreateFileW(Utf8ToWide(aPath).c_str(), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return {};
  std::wstring buf(MAX_PATH, L'\0');
  DWORD n = ::GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), 0);
  if (n >= buf.size()) {
    buf.resize(n + 1);
    n = ::GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), 0);
  }
  ::CloseHandle(h);
  if (n == 0 || n >= buf.size())
    return {};
  buf.resize(n);
  // The answer carries the long-path prefix: "\\?\C:\x" or "\\?\UNC\server\share".
  if (buf.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    buf = L"\\\\" + buf.substr(8);
  } else if (buf.rfind(L"\\\\?\\", 0) == 0) {
    buf = buf.substr(4);
  }
  std::string path = WideToUtf8(buf);
  if (path.size() > 3 && IsPathDelimiter(path.back()))
    path.pop_back();
  return path;
}

void SetConfigFileOverride(const std::string& aConfigFile) {
  gConfigOverride = aConfigFile;
}

std::string BasePath() {
  return gConfigOverride.empty() ? ExecutablePath() : gConfigOverride;
}

std::string ConfigFilePath() {
  return gConfigOverride.empty() ? ChangeFileExt(ExecutablePath(), ".ini") : gConfigOverride;
}

bool IsPathDelimiter(char aChar) {
  return aChar == '\\' || aChar == '/';
}

std::size_t PathLength(const std::string& aPath) {
  return Utf8ToWide(aPath).size();
}

bool IsAbsolutePath(const std::string& aPath) {
  return DriveLength(aPath) > 0;
}

std::string ExtractFileDrive(const std::string& aPath) {
  return aPath.substr(0, DriveLength(aPath));
}

std::string ExtractFilePath(const std::string& aPath) {
  const auto at = LastDelimiter(aPath);
  return at == std::string::npos ? std::string() : aPath.substr(0, at + 1);
}

std::string ExtractFileName(const std::string& aPath) {
  const auto at = LastDelimiter(aPath);
  return at == std::string::npos ? aPath : aPath.substr(at + 1);
}

std::string ChangeFileExt(const std::string& aPath, const std::string& aExt) {
  const auto at = LastDelimiter(aPath);
  const auto dot = aPath.rfind('.');
  if (dot == std::string::npos || (at != std::string::npos && dot < at))
    return aPath + aExt;
  return aPath.substr(0, dot) + aExt;
}

std::string IncludeTrailingPathDelimiter(const std::string& aPath) {
  return (!aPath.empty() && IsPathDelimiter(aPath.back())) ? aPath : aPath + kPathDelimiter;
}

std::string NormalizePath(const std::string& aPath) {
  std::size_t start = DriveLength(aPath);
  std::string drive = aPath.substr(0, start);
  for (char& c : drive) {
    if (c == '/')
      c = '\\';
  }
  // A share is a root of its own; "C:" is one only with a separator after it
  // ("C:x" is relative to that drive's current folder).
  const bool share = start > 2 || (start == 2 && drive[1] != ':');
  const bool rooted = share || (start < aPath.size() && IsPathDelimiter(aPath[start]));
  std::vector<std::string> parts;
  while (start <= aPath.size()) {
    auto end = start;
    while (end < aPath.size() && !IsPathDelimiter(aPath[end]))
      ++end;
    std::string part = aPath.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".")
      continue;
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..") {
        parts.pop_back();
      } else if (!rooted) {
        parts.push_back(part);
      }
      continue;
    }
    parts.push_back(std::move(part));
  }
  std::string out = drive;
  if (rooted && !(share && parts.empty()))
    out += '\\';
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i)
      out += '\\';
    out += parts[i];
  }
  if (out.empty())
    out = ".";
  // A trailing separator names a directory: keep it.
  if (aPath.size() > 1 && IsPathDelimiter(aPath.back()) && !IsPathDelimiter(out.back()))
    out += '\\';
  return out;
}

}  // namespace tavo
