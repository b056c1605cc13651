#pragma once
// Path texts and the program's own paths. The file name routines are pure
// string operations on '/'-separated paths; nothing here touches the disk
// except ExecutablePath and RealPath.

#include <cstddef>
#include <string>

namespace tavo {

// The platform's limit for a path, in bytes.
constexpr std::size_t kMaxPath = 4095;

// The resolved path of the running program (/proc/self/exe).
std::string ExecutablePath();

// The absolute path of what aPath names, every symbolic link followed and
// without a trailing '/'; empty when it does not exist or cannot be resolved.
std::string RealPath(const std::string& aPath);

// The path every derived path is computed from: the file given with
// --config, or else the executable's path. Set once at start-up, before any
// other thread runs.
void SetConfigFileOverride(const std::string& aConfigFile);
std::string BasePath();
// The configuration file: the --config file, or the executable's path with
// the extension ".ini".
std::string ConfigFilePath();

// Everything up to and including the last '/'; empty when there is none.
std::string ExtractFilePath(const std::string& aPath);
// Everything after the last '/'.
std::string ExtractFileName(const std::string& aPath);
// Replaces the extension of the file name part (from its last '.') with
// aExt, or appends aExt when the name has none.
std::string ChangeFileExt(const std::string& aPath, const std::string& aExt);
std::string IncludeTrailingPathDelimiter(const std::string& aPath);
// Folds "." and ".." parts and repeated separators. ".." above the root stays
// at the root; a relative path keeps leading "..".
std::string NormalizePath(const std::string& aPath);

}  // namespace tavo
