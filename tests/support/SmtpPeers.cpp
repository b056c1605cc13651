#include "SmtpPeers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>

extern char** environ;

namespace tavo::test {
namespace {

constexpr const char* kPython = "/usr/bin/python3";

std::string SinkScript() {
  return std::string(TAVO_TEST_SUPPORT_DIR) + "/smtp_sink.py";
}

// Waits until the child ends, at most aMs; true when it did.
bool WaitChild(pid_t aPid, int aMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(aMs);
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(aPid, &status, WNOHANG);
    if (r == aPid || (r < 0 && errno != EINTR))
      return true;
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// Runs a program with arguments, standard output to aStdout (or inherited);
// returns the child's id.
pid_t Spawn(const std::vector<std::string>& aArgs, int aStdin, int aStdout) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (aStdin >= 0)
    posix_spawn_file_actions_adddup2(&actions, aStdin, 0);
  if (aStdout >= 0)
    posix_spawn_file_actions_adddup2(&actions, aStdout, 1);
  std::vector<char*> argv;
  for (const std::string& a : aArgs)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0)
    throw std::runtime_error("cannot start " + aArgs[0]);
  return pid;
}

}  // namespace

// --- AiosmtpdServer -------------------------------------------------------------

std::string SinkMail::Get(const std::string& aKey) const {
  const auto it = Fields.find(aKey);
  return it == Fields.end() ? std::string() : it->second;
}

std::vector<std::string> SinkMail::All(const std::string& aKey) const {
  std::vector<std::string> out;
  const auto [first, last] = Fields.equal_range(aKey);
  for (auto it = first; it != last; ++it)
    out.push_back(it->second);
  return out;
}

AiosmtpdServer::AiosmtpdServer(const std::string& aWorkDir, const TOptions& aOptions) {
  std::string dir = aWorkDir + "/sink-XXXXXX";
  if (!::mkdtemp(dir.data()))
    throw std::runtime_error("mkdtemp failed under " + aWorkDir);
  fsMailDir = dir;
  std::vector<std::string> args = {kPython, SinkScript(), "serve", "--dir", fsMailDir};
  if (!aOptions.User.empty()) {
    args.insert(args.end(), {"--user", aOptions.User, "--password", aOptions.Password});
  }
  if (!aOptions.Tls.empty()) {
    args.insert(args.end(),
                {"--tls", aOptions.Tls, "--cert", aOptions.CertFile, "--key", aOptions.KeyFile});
  }
  int in[2];
  int out[2];
  if (::pipe2(in, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  if (::pipe2(out, O_CLOEXEC) != 0) {
    ::close(in[0]);
    ::close(in[1]);
    throw std::runtime_error("pipe failed");
  }
  try {
    fPid = Spawn(args, in[0], out[1]);
  } catch (...) {
    for (int fd : {in[0], in[1], out[0], out[1]})
      ::close(fd);
    throw;
  }
  ::close(in[0]);
  ::close(out[1]);
  fhStdin = in[1];

  // Read "PORT <n>" within a bounded time.
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{out[0], POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0)
      continue;
    char buf[256];
    const ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n <= 0)
      break;
    text.append(buf, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  if (text.starts_with("PORT "))
    fwPort = static_cast<std::uint16_t>(std::stoi(text.substr(5)));
  if (fwPort == 0) {
    Stop();
    throw std::runtime_error("aiosmtpd did not start: " + text);
  }
}

AiosmtpdServer::~AiosmtpdServer() {
  Stop();
}

void AiosmtpdServer::Stop() {
  if (fhStdin >= 0) {
    ::close(fhStdin);  // the server's signal to end
    fhStdin = -1;
  }
  if (fPid > 0) {
    if (!WaitChild(fPid, 5000)) {
      ::kill(fPid, SIGKILL);
      WaitChild(fPid, 5000);
    }
    fPid = -1;
  }
}

std::vector<SinkMail> AiosmtpdServer::Mails() const {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(fsMailDir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("mail-") && name.ends_with(".txt"))
      files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<SinkMail> mails;
  for (const std::string& file : files) {
    SinkMail mail;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
      const auto eq = line.find('=');
      if (eq != std::string::npos)
        mail.Fields.emplace(line.substr(0, eq), line.substr(eq + 1));
    }
    mails.push_back(std::move(mail));
  }
  return mails;
}

void MakeTestCertificates(const std::string& aDir) {
  const pid_t pid = Spawn({kPython, SinkScript(), "certs", aDir}, -1, -1);
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (;;) {
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid)
      break;
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      throw std::runtime_error("making test certificates took too long");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error("making test certificates failed");
  }
}

}  // namespace tavo::test
