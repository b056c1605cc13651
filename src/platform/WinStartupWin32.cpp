#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>

#include <cstdio>

#include "platform/WideText.h"
#include "platform/WinStartup.h"

namespace tavo {
namespace {

// A handle the parent gave us (a file, a pipe, its console).
bool LeadsSomewhere(HANDLE aHandle) {
  return aHandle && aHandle != INVALID_HANDLE_VALUE && ::GetFileType(aHandle) != FILE_TYPE_UNKNOWN;
}
bool LeadsSomewhere(DWORD aStd) {
  return LeadsSomewhere(::GetStdHandle(aStd));
}

}  // namespace

bool AttachParentConsole() {
  const bool out = LeadsSomewhere(STD_OUTPUT_HANDLE);
  const bool err = LeadsSomewhere(STD_ERROR_HANDLE);
  if (!::AttachConsole(ATTACH_PARENT_PROCESS))
    return err;
  if (!out && std::freopen("CONOUT$", "w", stdout))
    std::setvbuf(stdout, nullptr, _IOLBF, 4096);
  if (!err && std::freopen("CONOUT$", "w", stderr))
    std::setvbuf(stderr, nullptr, _IONBF, 0);
  return true;
}

bool EnsureConsole() {
  if (::GetConsoleWindow() || ::AttachConsole(ATTACH_PARENT_PROCESS))
    return true;
  // AllocConsole sets the standard handles to the new console; the C
  // library's streams keep theirs, and so do the handles we had.
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
  const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
  if (!::AllocConsole())
    return false;
  if (LeadsSomewhere(out))
    ::SetStdHandle(STD_OUTPUT_HANDLE, out);
  if (LeadsSomewhere(err))
    ::SetStdHandle(STD_ERROR_HANDLE, err);
  if (in && in != INVALID_HANDLE_VALUE)
    ::SetStdHandle(STD_INPUT_HANDLE, in);
  return true;
}

std::vector<std::string> ProcessArguments() {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!argv)
    return args;
  for (int i = 1; i < count; ++i)
    args.push_back(WideToUtf8(argv[i]));
  ::LocalFree(argv);
  return args;
}

std::string FullPathName(const std::string& aPath) {
  const std::wstring wide = Utf8ToWide(aPath);
  const DWORD n = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0)
    return aPath;
  std::wstring full(n, L'\0');
  const DWORD got = ::GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  if (got == 0 || got >= n)
    return aPath;
  full.resize(got);
  return WideToUtf8(full);
}

}  // namespace tavo
