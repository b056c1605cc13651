#include "platform/SystemdUnit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/ChildProcess.h"
#include "platform/Environment.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/ProcessUser.h"
#include "platform/TextUtils.h"

namespace tavo {
namespace {

// Specifiers (%) and variables ($) are expanded in unit files: doubled, they
// stand for themselves.
std::string EscapeExpansions(const std::string& aText) {
  std::string out;
  for (const char c : aText) {
    if (c == '%' || c == '$')
      out += c;
    out += c;
  }
  return out;
}

void WriteNewFile(const std::string& aPath, const std::string& aText) {
  const int fd = ::open(aPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0)
    throw EOSError(ErrnoText(aPath, errno), errno);
  std::size_t done = 0;
  int err = 0;
  while (done < aText.size()) {
    const ssize_t n = ::write(fd, aText.data() + done, aText.size() - done);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      err = errno;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0 && err == 0)
    err = errno;
  if (err != 0) {
    ::unlink(aPath.c_str());
    throw EOSError(ErrnoText(aPath, err), err);
  }
}

}  // namespace

void RunSystemctl(const std::vector<std::string>& aArgs) {
  std::vector<std::string> argv{SystemctlProgram()};
  argv.insert(argv.end(), aArgs.begin(), aArgs.end());
  std::string command = argv[0];
  for (const auto& a : aArgs)
    command += " " + a;
  const TRunResult r = RunProcess(argv, kSystemctlTimeoutMs);
  if (r.Error != 0)
    throw EOSError(ErrnoText(command, r.Error), r.Error);
  if (r.ExitStatus != 0) {
    throw EOSError(command + " ended with exit status " + std::to_string(r.ExitStatus),
                   r.ExitStatus);
  }
}

std::string SystemUnitDirectory() {
  return EnvironmentValue("TAVO_UNIT_DIR", "/etc/systemd/system");
}

std::string PackageUnitDirectory() {
  return EnvironmentValue("TAVO_PACKAGE_UNIT_DIR", "/usr/lib/systemd/system");
}

std::string SystemctlProgram() {
  return EnvironmentValue("TAVO_SYSTEMCTL", "systemctl");
}

std::string ServiceUnitPath(const std::string& aServiceName) {
  return IncludeTrailingPathDelimiter(SystemUnitDirectory()) + aServiceName + ".service";
}

std::string PackageUnitPath(const std::string& aServiceName) {
  return IncludeTrailingPathDelimiter(PackageUnitDirectory()) + aServiceName + ".service";
}

std::string QuoteUnitArgument(const std::string& aArg) {
  bool quote = aArg.empty() || aArg == ";";
  for (const char c : aArg) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F)
      throw EConvertError("A service's command line cannot hold control characters: \"" + aArg +
                          "\"");
    if (c == ' ' || c == '"' || c == '\'' || c == '\\')
      quote = true;
  }
  const std::string text = EscapeExpansions(aArg);
  if (!quote)
    return text;
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\')
      out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string ServiceUnitText(const TServiceUnit& aUnit) {
  std::string exec;
  for (const auto& arg : aUnit.ExecStart)
    exec += (exec.empty() ? "" : " ") + QuoteUnitArgument(arg);
  return "[Unit]\n"
         "Description=" +
         EscapeExpansions(aUnit.Description) +
         "\n"
         "After=network.target\n"
         "\n"
         "[Service]\n"
         "Type=notify\n"
         "ExecStart=" +
         exec +
         "\n"
         "# Programs started for clients keep running when the service stops.\n"
         "KillMode=process\n"
         "# Started again after a failure; a main thread that stops answering\n"
         "# (no keep-alive for a minute) counts as one.\n"
         "Restart=on-failure\n"
         "RestartSec=10\n"
         "WatchdogSec=60\n"
         "\n"
         "[Install]\n"
         "WantedBy=multi-user.target\n";
}

void InstallServiceUnit(const TServiceUnit& aUnit) {
  if (aUnit.ExecStart.empty() || aUnit.ExecStart[0].empty() || aUnit.ExecStart[0][0] != '/')
    throw EOSError("A service needs the absolute path of its program", EINVAL);
  const std::string text = ServiceUnitText(aUnit);
  const std::string path = ServiceUnitPath(aUnit.Name);
  WriteNewFile(path, text);
  bool reloaded = false;
  try {
    RunSystemctl({"daemon-reload"});
    reloaded = true;
    RunSystemctl({"enable", aUnit.Name + ".service"});
  } catch (...) {
    ::unlink(path.c_str());
    if (reloaded) {
      try {
        RunSystemctl({"daemon-reload"});
      } catch (...) {
        // The first failure is the one to report.
      }
    }
    throw;
  }
}

void UninstallServiceUnit(const std::string& aServiceName) {
  const std::string path = ServiceUnitPath(aServiceName);
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0)
    throw EOSError(ErrnoText(path, errno), errno);
  RunSystemctl({"disable", aServiceName + ".service"});
  if (::unlink(path.c_str()) != 0)
    throw EOSError(ErrnoText(path, errno), errno);
  RunSystemctl({"daemon-reload"});
}

std::optional<std::string> ServiceUnitUser(const std::string& aServiceName) {
  // A unit in the unit directory overrides the package's, as for systemd.
  std::string text;
  try {
    text = ReadFileBytes(ServiceUnitPath(aServiceName));
  } catch (const Exception&) {
    try {
      text = ReadFileBytes(PackageUnitPath(aServiceName));
    } catch (const Exception&) {
      return std::nullopt;
    }
  }
  std::string user;
  std::string section;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos)
      end = text.size();
    const std::string line = TrimText(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == '#' || line[0] == ';')
      continue;
    if (line.front() == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
      continue;
    }
    const auto eq = line.find('=');
    if (section != "Service" || eq == std::string::npos || TrimText(line.substr(0, eq)) != "User")
      continue;
    // The last assignment counts; an empty one resets to the default.
    user = TrimText(line.substr(eq + 1));
  }
  return user.empty() ? std::string(kSystemAccount) : user;
}

}  // namespace tavo
