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

bool SendText(int aFd, const std::string& aText) {
  std::size_t done = 0;
  while (done < aText.size()) {
    const ssize_t n = ::send(aFd, aText.data() + done, aText.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
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

// --- ScriptedSmtpServer --------------------------------------------------------

ScriptedSmtpServer::ScriptedSmtpServer(TScript aScript) : fScript(std::move(aScript)) {
  fhListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (fhListen < 0 || ::bind(fhListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(fhListen, 8) != 0 ||
      ::getsockname(fhListen, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    if (fhListen >= 0)
      ::close(fhListen);
    throw std::runtime_error("scripted SMTP server: cannot listen");
  }
  fwPort = ntohs(addr.sin_port);
  fThread = std::thread([this] { Run(); });
}

ScriptedSmtpServer::~ScriptedSmtpServer() {
  fbStop = true;
  fThread.join();
  ::close(fhListen);
}

void ScriptedSmtpServer::SetCapabilities(std::vector<std::string> aCapabilities) {
  std::lock_guard lock(fMutex);
  fslCapabilities = std::move(aCapabilities);
}

std::vector<std::string> ScriptedSmtpServer::Commands() const {
  std::lock_guard lock(fMutex);
  return fslCommands;
}

std::vector<std::string> ScriptedSmtpServer::Mails() const {
  std::lock_guard lock(fMutex);
  return fslMails;
}

int ScriptedSmtpServer::IndexOf(const std::string& aPrefix) const {
  std::lock_guard lock(fMutex);
  for (std::size_t i = 0; i < fslCommands.size(); ++i) {
    if (fslCommands[i].starts_with(aPrefix))
      return static_cast<int>(i);
  }
  return -1;
}

void ScriptedSmtpServer::Run() {
  while (!fbStop) {
    pollfd p{fhListen, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0)
      continue;
    const int fd = ::accept4(fhListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
      continue;
    Serve(fd);
    ::close(fd);
    ++fnClosed;
  }
}

void ScriptedSmtpServer::Serve(int aFd) {
  std::string in;
  bool inData = false;
  bool stalled = false;
  int authStep = 0;  // AUTH LOGIN: 2 = user name next, 1 = password next
  std::string data;

  // The answer to one line; false when the connection is to end.
  auto answer = [&](const std::string& aLine, const std::string& aDefault) {
    std::optional<TResponse> r;
    if (fScript)
      r = fScript(aLine);
    const TResponse response = r ? *r : Reply(aDefault);
    if (response.What == TAct::eClose)
      return false;
    if (response.What == TAct::eStall) {
      stalled = true;
      return true;
    }
    return SendText(aFd, response.Text + "\r\n");
  };

  if (!answer("", "220 scripted ESMTP ready"))
    return;
  while (!fbStop) {
    const auto lf = in.find('\n');
    if (lf == std::string::npos) {
      pollfd p{aFd, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0)
        continue;
      char buf[4096];
      const ssize_t n = ::recv(aFd, buf, sizeof buf, 0);
      if (n <= 0)
        return;  // the client closed
      in.append(buf, static_cast<std::size_t>(n));
      continue;
    }
    std::string line = in.substr(0, lf);
    in.erase(0, lf + 1);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (stalled) {
      // Unanswered, but kept: a test sees what the client sent after giving up.
      std::lock_guard lock(fMutex);
      fslCommands.push_back(line);
      continue;
    }

    if (inData) {
      if (line != ".") {
        data += (line.starts_with(".") ? line.substr(1) : line) + "\r\n";
        continue;
      }
      inData = false;
      {
        std::lock_guard lock(fMutex);
        fslMails.push_back(data);
        fslCommands.push_back(".");
      }
      data.clear();
      if (!answer(".", "250 2.0.0 queued"))
        return;
      continue;
    }

    {
      std::lock_guard lock(fMutex);
      fslCommands.push_back(line);
    }
    std::string upper = line.substr(0, 4);
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    std::string reply = "500 5.5.1 unknown command";
    bool close = false;
    if (authStep > 0) {
      reply = --authStep == 1 ? "334 UGFzc3dvcmQ6" : "235 2.7.0 authenticated";
    } else if (upper == "EHLO") {
      std::lock_guard lock(fMutex);
      reply = "250";
      reply += fslCapabilities.empty() ? " " : "-";
      reply += "scripted greets you";
      for (std::size_t i = 0; i < fslCapabilities.size(); ++i) {
        reply += "\r\n250";
        reply += i + 1 < fslCapabilities.size() ? "-" : " ";
        reply += fslCapabilities[i];
      }
    } else if (upper == "HELO" || upper == "MAIL" || upper == "RCPT" || upper == "RSET" ||
               upper == "NOOP") {
      reply = "250 2.0.0 ok";
    } else if (upper == "AUTH") {
      authStep = 2;
      reply = "334 VXNlcm5hbWU6";
    } else if (upper == "DATA") {
      reply = "354 end data with <CR><LF>.<CR><LF>";
    } else if (upper == "QUIT") {
      reply = "221 2.0.0 bye";
      close = true;
    }
    std::optional<TResponse> scripted;
    if (fScript)
      scripted = fScript(line);
    const TResponse response = scripted ? *scripted : Reply(reply);
    if (response.What == TAct::eClose)
      return;
    if (response.What == TAct::eStall) {
      stalled = true;
      continue;
    }
    if (upper == "AUTH" && !response.Text.starts_with("334"))
      authStep = 0;
    if (upper == "DATA" && response.Text.starts_with("354"))
      inData = true;
    if (!SendText(aFd, response.Text + "\r\n"))
      return;
    if (close)
      return;
  }
}

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
