#include <windows.h>
// After windows.h, which they need.
#include <objbase.h>
#include <shellapi.h>

#include "platform/ShellOpen.h"
#include "platform/WideText.h"

namespace tavo {
namespace {

TWin32ShellOpener gWin32Opener;
IShellOpener* gOpener = &gWin32Opener;

// The full path of aFile against our working directory: the shell would
// look a bare name up in PATH and the registered program paths, but the
// file meant is the one here.
std::wstring FullPath(const std::wstring& aFile) {
  const DWORD size = ::GetFullPathNameW(aFile.c_str(), 0, nullptr, nullptr);
  if (size == 0)
    return aFile;
  std::wstring path(size, L'\0');
  const DWORD n = ::GetFullPathNameW(aFile.c_str(), size, path.data(), nullptr);
  if (n == 0 || n >= size)
    return aFile;
  path.resize(n);
  return path;
}

}  // namespace

TShellResult TWin32ShellOpener::Open(const std::string& aFile) {
  TShellResult result;
  if (aFile.empty()) {
    result.ErrorCode = ERROR_FILE_NOT_FOUND;
    return result;
  }
  const std::wstring file = FullPath(Utf8ToWide(aFile));
  // Shell extensions that an association may call expect COM on this
  // thread; it is undone unless someone else had set it up differently.
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  // No error box (a service's would wait unseen); the call returns once the
  // start is done, so no work of it outlives this call.
  info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (::ShellExecuteExW(&info)) {
    result.Success = true;
  } else {
    const DWORD err = ::GetLastError();
    result.ErrorCode = err != 0 ? static_cast<int>(err) : ERROR_FILE_NOT_FOUND;
  }
  if (SUCCEEDED(com))
    ::CoUninitialize();
  return result;
}

IShellOpener& ShellOpener() {
  return *gOpener;
}
void SetShellOpener(IShellOpener* aOpener) {
  gOpener = aOpener ? aOpener : &gWin32Opener;
}

}  // namespace tavo
