#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "platform/Errors.h"
#include "platform/TextCodec.h"

namespace tavo {

bool FileExists(const std::string& aPath) {
  struct stat st {};
  return ::stat(aPath.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool RegularFileExists(const std::string& aPath) {
  struct stat st {};
  return ::stat(aPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& aPath) {
  struct stat st {};
  return !aPath.empty() && ::stat(aPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& aPath) {
  return ::unlink(aPath.c_str()) == 0;
}

bool RenameFile(const std::string& aFrom, const std::string& aTo) {
  return std::rename(aFrom.c_str(), aTo.c_str()) == 0;
}

std::vector<TDirEntry> ListDirectory(const std::string& aDir) {
  DIR* dir = ::opendir(aDir.c_str());
  if (!dir)
    throw EOSError(ErrnoText("Cannot list " + aDir, errno), errno);
  std::vector<TDirEntry> entries;
  const std::string prefix = aDir.empty() || aDir.back() == '/' ? aDir : aDir + '/';
  while (const dirent* ent = ::readdir(dir)) {
    const std::string name = ent->d_name;
    if (name == "." || name == "..")
      continue;
    struct stat st {};
    if (::lstat((prefix + name).c_str(), &st) != 0)
      continue;  // vanished meanwhile
    TDirEntry e;
    e.Name = name;
    e.IsDirectory = S_ISDIR(st.st_mode);
    e.LastWrite = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::seconds(st.st_mtim.tv_sec) +
            std::chrono::nanoseconds(st.st_mtim.tv_nsec)));
    entries.push_back(std::move(e));
  }
  ::closedir(dir);
  return entries;
}

namespace {

// Closes aFd and throws "Cannot read <path>" with aErr (read errno first).
[[noreturn]] void ThrowReadError(const std::string& aPath, int aFd, int aErr) {
  ::close(aFd);
  throw EOSError(ErrnoText("Cannot read " + aPath, aErr), aErr);
}

// With aLimit set, only a regular file of at most *aLimit bytes.
std::string ReadBytes(const std::string& aPath, const std::size_t* aLimit) {
  // Non-blocking, so that opening a FIFO does not wait for a writer.
  const int fd = ::open(aPath.c_str(), O_RDONLY | O_CLOEXEC | (aLimit ? O_NONBLOCK : 0));
  if (fd < 0)
    throw EOSError(ErrnoText("Cannot open " + aPath, errno), errno);
  if (aLimit) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
      ThrowReadError(aPath, fd, errno);
    if (!S_ISREG(st.st_mode))
      ThrowReadError(aPath, fd, EINVAL);
    if (static_cast<std::uint64_t>(st.st_size) > *aLimit)
      ThrowReadError(aPath, fd, EFBIG);
  }
  std::string data;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      ThrowReadError(aPath, fd, errno);
    }
    if (n == 0)
      break;
    data.append(buf, static_cast<std::size_t>(n));
    // A file may grow while it is read, and some report no size at all.
    if (aLimit && data.size() > *aLimit)
      ThrowReadError(aPath, fd, EFBIG);
  }
  ::close(fd);
  return data;
}

}  // namespace

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
