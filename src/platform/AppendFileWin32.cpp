#include "platform/AppendFile.h"

#include <windows.h>

#include "platform/WideText.h"

namespace tavo {
namespace {

IFileSystem* gFileSystem = nullptr;

void SetError(int* aError, DWORD aCode) {
  if (aError)
    *aError = static_cast<int>(aCode);
}

std::string ErrorText(const std::string& aWhat, DWORD aCode) {
  return Win32ErrorText(aWhat, aCode);
}

// Writes every byte at the file's end; false with GetLastError's code set.
bool WriteAtEnd(HANDLE aFile, const char* aData, std::size_t aSize) {
  while (aSize > 0) {
    // Both offsets all ones: at the end of the file, wherever others left it.
    OVERLAPPED at{};
    at.Offset = 0xFFFFFFFF;
    at.OffsetHigh = 0xFFFFFFFF;
    const DWORD chunk = aSize > (1u << 30) ? (1u << 30) : static_cast<DWORD>(aSize);
    DWORD written = 0;
    if (!::WriteFile(aFile, aData, chunk, &written, &at))
      return false;
    aData += written;
    aSize -= written;
  }
  return true;
}

// Windows decides access by the file's ACL, not by its owner (a file an
// elevated administrator made belongs to the Administrators group), so a
// file is "ours" when we could open it.
bool ReadStatus(HANDLE aFile, TAppendFileStatus& aStatus) {
  if (::GetFileType(aFile) != FILE_TYPE_DISK) {
    aStatus = TAppendFileStatus{};  // a device or a pipe
    return true;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(aFile, &info))
    return false;
  aStatus.Regular =
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
  aStatus.Links = info.nNumberOfLinks;
  aStatus.OwnedByUs = true;
  aStatus.Size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                                           info.nFileSizeLow);
  return true;
}

class TSystemAppendFile final : public IAppendFile {
 public:
  TSystemAppendFile(HANDLE aHandle, std::string aPath)
      : fhFile(aHandle), fsPath(std::move(aPath)) {}
  // The status read when the file was opened: later sizes are counted from
  // it (what this process appends), rather than read again after each line.
  TSystemAppendFile(HANDLE aHandle, std::string aPath, const TAppendFileStatus& aOpened)
      : fhFile(aHandle), fsPath(std::move(aPath)), fbKnown(true), fStatus(aOpened) {}
  ~TSystemAppendFile() override { ::CloseHandle(fhFile); }
  TSystemAppendFile(const TSystemAppendFile&) = delete;
  TSystemAppendFile& operator=(const TSystemAppendFile&) = delete;

  void Append(std::string_view aData) override {
    if (!WriteAtEnd(fhFile, aData.data(), aData.size())) {
      const DWORD err = ::GetLastError();
      throw EOSError(ErrorText("Cannot write " + fsPath, err), static_cast<int>(err));
    }
    fStatus.Size += static_cast<std::int64_t>(aData.size());
  }

  bool Status(TAppendFileStatus& aStatus) override {
    if (fbKnown) {
      aStatus = fStatus;
      return true;
    }
    return ReadStatus(fhFile, aStatus);
  }

  void Truncate() override {
    FILE_END_OF_FILE_INFO end{};
    if (!::SetFileInformationByHandle(fhFile, FileEndOfFileInfo, &end, sizeof end)) {
      const DWORD err = ::GetLastError();
      throw EOSError(ErrorText("Cannot truncate " + fsPath, err), static_cast<int>(err));
    }
    fStatus.Size = 0;
  }

 private:
  HANDLE fhFile;
  std::string fsPath;
  bool fbKnown = false;  // fStatus holds the file's status
  TAppendFileStatus fStatus;
};

DWORD AttributesOf(const std::string& aPath) {
  return ::GetFileAttributesW(Utf8ToWide(aPath).c_str());
}

}  // namespace

std::unique_ptr<IAppendFile> TSystemFileSystem::OpenAppend(const std::string& aPath,
                                                           const TAppendOptions& aOptions) {
  // Write access for Truncate; appends go to the end through WriteAtEnd.
  // The share modes are Windows' exclusive open; a refused open reports a
  // sharing violation. A link is opened as itself (and refused below) where
  // Linux refuses to follow one. CreateMode has no meaning here: a new file
  // takes its folder's ACL.
  const DWORD share =
      aOptions.Exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const DWORD flags =
      FILE_ATTRIBUTE_NORMAL | (aOptions.NoFollow ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  const HANDLE h = ::CreateFileW(
      Utf8ToWide(aPath).c_str(),
      FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
      share, nullptr, OPEN_ALWAYS, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = ::GetLastError();
    // A folder cannot be opened for writing: it is not a file of ours.
    const DWORD attributes = AttributesOf(aPath);
    if (aOptions.OwnRegularFileOnly && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      throw ENotOurFile(ErrorText("Not a regular file of ours: " + aPath, err),
                        static_cast<int>(err));
    }
    throw EOSError(ErrorText("Cannot open " + aPath, err), static_cast<int>(err));
  }
  if (!aOptions.OwnRegularFileOnly)
    return std::make_unique<TSystemAppendFile>(h, aPath);
  // A device or pipe ("CON", "\\.\pipe\x"), a link or junction, or a file
  // with a second hard link (which would let the log write into another).
  TAppendFileStatus status;
  DWORD err = 0;
  if (!ReadStatus(h, status)) {
    err = ::GetLastError();
  } else if (!status.Regular) {
    err = ERROR_INVALID_PARAMETER;
  } else if (status.Links != 1) {
    err = ERROR_TOO_MANY_LINKS;
  }
  if (err != 0) {
    ::CloseHandle(h);
    throw ENotOurFile(ErrorText("Not a regular file of ours: " + aPath, err),
                      static_cast<int>(err));
  }
  return std::make_unique<TSystemAppendFile>(h, aPath, status);
}

bool TSystemFileSystem::Exists(const std::string& aPath) {
  const DWORD attributes = AttributesOf(aPath);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool TSystemFileSystem::Delete(const std::string& aPath, int* aError) {
  if (::DeleteFileW(Utf8ToWide(aPath).c_str()))
    return true;
  SetError(aError, ::GetLastError());
  return false;
}

bool TSystemFileSystem::Rename(const std::string& aFrom, const std::string& aTo, int* aError) {
  // Without MOVEFILE_COPY_ALLOWED a move to another volume fails with
  // ERROR_NOT_SAME_DEVICE, so that the caller chooses how to copy.
  if (::MoveFileExW(Utf8ToWide(aFrom).c_str(), Utf8ToWide(aTo).c_str(), MOVEFILE_REPLACE_EXISTING))
    return true;
  SetError(aError, ::GetLastError());
  return false;
}

bool TSystemFileSystem::Copy(const std::string& aFrom, const std::string& aTo, unsigned,
                             int* aError) {
  const HANDLE in = ::CreateFileW(
      Utf8ToWide(aFrom).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (in == INVALID_HANDLE_VALUE) {
    SetError(aError, ::GetLastError());
    return false;
  }
  // Only a regular file's bytes: a device could be read without end.
  TAppendFileStatus status;
  if (!ReadStatus(in, status) || !status.Regular) {
    SetError(aError, ERROR_INVALID_PARAMETER);
    ::CloseHandle(in);
    return false;
  }
  // The target is created anew: whatever stood at aTo, a link included, is
  // replaced rather than written through.
  const std::wstring to = Utf8ToWide(aTo);
  if (!::DeleteFileW(to.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
    SetError(aError, ::GetLastError());
    ::CloseHandle(in);
    return false;
  }
  const HANDLE out = ::CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    SetError(aError, ::GetLastError());
    ::CloseHandle(in);
    return false;
  }
  bool ok = true;
  DWORD err = 0;
  char buf[64 * 1024];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(in, buf, sizeof buf, &n, nullptr)) {
      err = ::GetLastError();
      ok = false;
      break;
    }
    if (n == 0)
      break;
    DWORD written = 0;
    if (!::WriteFile(out, buf, n, &written, nullptr) || written != n) {
      err = ::GetLastError();
      if (err == 0)
        err = ERROR_WRITE_FAULT;
      ok = false;
      break;
    }
  }
  if (!::CloseHandle(out) && ok) {
    err = ::GetLastError();
    ok = false;
  }
  ::CloseHandle(in);
  if (!ok) {
    SetError(aError, err);
    // Half a copy is no backup.
    ::DeleteFileW(to.c_str());
  }
  return ok;
}

bool IsCrossDeviceError(int aError) {
  return aError == ERROR_NOT_SAME_DEVICE;
}

IFileSystem& FileSystem() {
  static TSystemFileSystem system;
  return gFileSystem ? *gFileSystem : system;
}

void SetFileSystem(IFileSystem* aFileSystem) {
  gFileSystem = aFileSystem;
}

}  // namespace tavo
