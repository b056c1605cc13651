#pragma once
// Path texts and the program's own paths. The file name routines are pure
// string operations on paths separated the platform's way ('/'; on Windows
// '\' and '/' alike, with drive letters and network shares as roots);
// nothing here touches the disk except ExecutablePath and RealPath.

#include <cstddef>
#include <string>

namespace tavo {

#ifdef _WIN32
// The separator paths are built with ('/' is read as one too), and the
// limit of a path: MAX_PATH less its terminator, in UTF-16 units.
constexpr char kPathDelimiter = '\\';
constexpr std::size_t kMaxPath = 259;
#else
// The separator paths are built with, and the limit of a path in bytes.
constexpr char kPathDelimiter = '/';
constexpr std::size_t kMaxPath = 4095;
#endif

// The resolved path of the running program (/proc/self/exe;
// GetModuleFileNameW on Windows).
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

// A separator of paths on this platform.
bool IsPathDelimiter(char aChar);
// aPath's length as kMaxPath counts it.
std::size_t PathLength(const std::string& aPath);
// A path that is taken as it is, whatever folder it is combined with: on
// POSIX one starting with '/'; on Windows one with a drive letter ("C:\x", also
// "C:x") or a network share ("\\server\share").
bool IsAbsolutePath(const std::string& aPath);
// The drive or share aPath lies on, without a separator ("C:",
// "\\server\share"); empty when it names none (always on POSIX).
std::string ExtractFileDrive(const std::string& aPath);

// Everything up to and including the last separator; empty when there is none.
std::string ExtractFilePath(const std::string& aPath);
// Everything after the last separator.
std::string ExtractFileName(const std::string& aPath);
// Replaces the extension of the file name part (from its last '.') with
// aExt, or appends aExt when the name has none.
std::string ChangeFileExt(const std::string& aPath, const std::string& aExt);
std::string IncludeTrailingPathDelimiter(const std::string& aPath);
// Folds "." and ".." parts and repeated separators. ".." above the root stays
// at the root (a drive's or share's on Windows, where the result is
// separated by '\'); a relative path keeps leading "..".
std::string NormalizePath(const std::string& aPath);

}  // namespace tavo
