#include "platform/Paths.h"

#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace tavo {
namespace {
std::string gConfigOverride;
}

std::string ExecutablePath() {
  std::string buf(kMaxPath + 1, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0)
    return {};
  buf.resize(static_cast<std::size_t>(n));
  return buf;
}

std::string RealPath(const std::string& aPath) {
  if (aPath.empty())
    return {};
  const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(aPath.c_str(), nullptr),
                                                             &std::free);
  return resolved ? std::string(resolved.get()) : std::string();
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
  return aChar == '/';
}

std::size_t PathLength(const std::string& aPath) {
  return aPath.size();
}

bool IsAbsolutePath(const std::string& aPath) {
  return !aPath.empty() && aPath.front() == '/';
}

std::string ExtractFileDrive(const std::string&) {
  return {};
}

std::string ExtractFilePath(const std::string& aPath) {
  const auto slash = aPath.rfind('/');
  return slash == std::string::npos ? std::string() : aPath.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& aPath) {
  const auto slash = aPath.rfind('/');
  return slash == std::string::npos ? aPath : aPath.substr(slash + 1);
}

std::string ChangeFileExt(const std::string& aPath, const std::string& aExt) {
  const auto slash = aPath.rfind('/');
  const auto dot = aPath.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return aPath + aExt;
  return aPath.substr(0, dot) + aExt;
}

std::string IncludeTrailingPathDelimiter(const std::string& aPath) {
  return (!aPath.empty() && aPath.back() == '/') ? aPath : aPath + '/';
}

std::string NormalizePath(const std::string& aPath) {
  const bool absolute = !aPath.empty() && aPath.front() == '/';
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= aPath.size()) {
    auto end = aPath.find('/', start);
    if (end == std::string::npos)
      end = aPath.size();
    std::string part = aPath.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".")
      continue;
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..") {
        parts.pop_back();
      } else if (!absolute) {
        parts.push_back(part);
      }
      continue;
    }
    parts.push_back(std::move(part));
  }
  std::string out = absolute ? "/" : "";
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i)
      out += '/';
    out += parts[i];
  }
  if (out.empty())
    out = ".";
  // A trailing separator names a directory: keep it.
  if (aPath.size() > 1 && aPath.back() == '/' && out.back() != '/')
    out += '/';
  return out;
}

}  // namespace tavo
