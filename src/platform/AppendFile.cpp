#include "platform/AppendFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/Errors.h"

namespace tavo {
namespace {

IFileSystem* gFileSystem = nullptr;

void SetError(int* aError, int aCode) {
  if (aError)
    *aError = aCode;
}

class TSystemAppendFile final : public IAppendFile {
 public:
  TSystemAppendFile(int aHandle, std::string aPath) : fhFile(aHandle), fsPath(std::move(aPath)) {}
  ~TSystemAppendFile() override { ::close(fhFile); }
  TSystemAppendFile(const TSystemAppendFile&) = delete;
  TSystemAppendFile& operator=(const TSystemAppendFile&) = delete;

  void Append(std::string_view aData) override {
    const char* p = aData.data();
    std::size_t left = aData.size();
    while (left > 0) {
      const ssize_t n = ::write(fhFile, p, left);
      if (n < 0) {
        if (errno == EINTR)
          continue;
        throw EOSError(ErrnoText("Cannot write " + fsPath, errno), errno);
      }
      p += n;
      left -= static_cast<std::size_t>(n);
    }
  }

  bool Status(TAppendFileStatus& aStatus) override {
    struct stat st {};
    if (::fstat(fhFile, &st) != 0)
      return false;
    aStatus.Regular = S_ISREG(st.st_mode);
    aStatus.Links = st.st_nlink;
    aStatus.OwnedByUs = st.st_uid == ::geteuid();
    aStatus.Size = st.st_size;
    return true;
  }

  void Truncate() override {
    if (::ftruncate(fhFile, 0) != 0)
      throw EOSError(ErrnoText("Cannot truncate " + fsPath, errno), errno);
  }

 private:
  int fhFile;
  std::string fsPath;
};

}  // namespace

std::unique_ptr<IAppendFile> TSystemFileSystem::OpenAppend(const std::string& aPath,
                                                           const TAppendOptions& aOptions) {
  int flags = O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC;
  if (aOptions.NoFollow)
    flags |= O_NOFOLLOW;
  if (aOptions.NonBlocking)
    flags |= O_NONBLOCK;
  const int fd = ::open(aPath.c_str(), flags, static_cast<mode_t>(aOptions.CreateMode));
  if (fd < 0)
    throw EOSError(ErrnoText("Cannot open " + aPath, errno), errno);
  if (aOptions.NonBlocking) {
    // Only the open must not wait; writes to a regular file never do.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  }
  return std::make_unique<TSystemAppendFile>(fd, aPath);
}

bool TSystemFileSystem::Exists(const std::string& aPath) {
  struct stat st {};
  return ::stat(aPath.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool TSystemFileSystem::Delete(const std::string& aPath, int* aError) {
  if (::unlink(aPath.c_str()) == 0)
    return true;
  SetError(aError, errno);
  return false;
}

bool TSystemFileSystem::Rename(const std::string& aFrom, const std::string& aTo, int* aError) {
  if (std::rename(aFrom.c_str(), aTo.c_str()) == 0)
    return true;
  SetError(aError, errno);
  return false;
}

bool TSystemFileSystem::Copy(const std::string& aFrom, const std::string& aTo, unsigned aCreateMode,
                             int* aError) {
  const int in = ::open(aFrom.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (in < 0) {
    SetError(aError, errno);
    return false;
  }
  const int out = ::open(aTo.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                         static_cast<mode_t>(aCreateMode));
  if (out < 0) {
    SetError(aError, errno);
    ::close(in);
    return false;
  }
  bool ok = true;
  char buf[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(in, buf, sizeof buf);
    if (n == 0)
      break;
    if (n < 0) {
      if (errno == EINTR)
        continue;
      ok = false;
      break;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(out, buf + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno == EINTR)
        continue;
      if (w < 0) {
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok)
      break;
  }
  if (!ok)
    SetError(aError, errno);
  if (::close(out) != 0 && ok) {
    SetError(aError, errno);
    ok = false;
  }
  ::close(in);
  return ok;
}

IFileSystem& FileSystem() {
  static TSystemFileSystem system;
  return gFileSystem ? *gFileSystem : system;
}

void SetFileSystem(IFileSystem* aFileSystem) {
  gFileSystem = aFileSystem;
}

}  // namespace tavo
