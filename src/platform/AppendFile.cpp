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
  // O_NOCTTY: a terminal named as the file never becomes ours to control.
  int flags = O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY;
  if (aOptions.NoFollow)
    flags |= O_NOFOLLOW;
  if (aOptions.NonBlocking)
    flags |= O_NONBLOCK;
  const int fd = ::open(aPath.c_str(), flags, static_cast<mode_t>(aOptions.CreateMode));
  if (fd < 0) {
    const int err = errno;
    // A symbolic link under O_NOFOLLOW (ELOOP; EMLINK on some systems), a
    // socket or a FIFO without a reader (ENXIO), a directory (EISDIR).
    if (aOptions.OwnRegularFileOnly &&
        (err == ELOOP || err == EMLINK || err == ENXIO || err == EISDIR)) {
      throw ENotOurFile(ErrnoText("Not a regular file of ours: " + aPath, err), err);
    }
    throw EOSError(ErrnoText("Cannot open " + aPath, err), err);
  }
  if (aOptions.OwnRegularFileOnly) {
    struct stat st {};
    int err = 0;
    if (::fstat(fd, &st) != 0) {
      err = errno;
    } else if (!S_ISREG(st.st_mode)) {
      err = EINVAL;
    } else if (st.st_nlink != 1) {
      err = EMLINK;  // a hard link would let the log write into another file
    } else if (st.st_uid != ::geteuid()) {
      err = EPERM;
    }
    if (err != 0) {
      ::close(fd);
      throw ENotOurFile(ErrnoText("Not a regular file of ours: " + aPath, err), err);
    }
  }
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
  // Only a regular file's bytes: a device could be read without end.
  struct stat st {};
  const int statError = ::fstat(in, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
  if (statError != 0) {
    SetError(aError, statError);
    ::close(in);
    return false;
  }
  // The target is created anew: whatever stood at aTo, a link included, is
  // replaced rather than written through.
  if (::unlink(aTo.c_str()) != 0 && errno != ENOENT) {
    SetError(aError, errno);
    ::close(in);
    return false;
  }
  const int out = ::open(aTo.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                         static_cast<mode_t>(aCreateMode));
  if (out < 0) {
    SetError(aError, errno);
    ::close(in);
    return false;
  }
  bool ok = true;
  int err = 0;
  char buf[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(in, buf, sizeof buf);
    if (n == 0)
      break;
    if (n < 0) {
      if (errno == EINTR)
        continue;
      err = errno;
      ok = false;
      break;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(out, buf + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno == EINTR)
        continue;
      if (w < 0) {
        err = errno;
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok)
      break;
  }
  if (::close(out) != 0 && ok) {
    err = errno;
    ok = false;
  }
  ::close(in);
  if (!ok) {
    SetError(aError, err);
    // Half a copy is no backup.
    ::unlink(aTo.c_str());
  }
  return ok;
}

bool IsCrossDeviceError(int aError) {
  return aError == EXDEV;
}

IFileSystem& FileSystem() {
  static TSystemFileSystem system;
  return gFileSystem ? *gFileSystem : system;
}

void SetFileSystem(IFileSystem* aFileSystem) {
  gFileSystem = aFileSystem;
}

}  // namespace tavo
