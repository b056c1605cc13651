// The scripted SMTP server of SmtpPeers.h, on the portable loopback
// listener, so that the mail tests build on Windows too (the other peers
// there are POSIX child processes).
#include "SmtpPeers.h"

#include <algorithm>
#include <cctype>

namespace tavo::test {

// --- ScriptedSmtpServer --------------------------------------------------------

ScriptedSmtpServer::ScriptedSmtpServer(TScript aScript) : fScript(std::move(aScript)) {
  fThread = std::thread([this] { Run(); });
}

ScriptedSmtpServer::~ScriptedSmtpServer() {
  fbStop = true;
  fThread.join();
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
    const TSocketHandle connection = fListener.Accept(20);
    if (connection == kNoSocket)
      continue;
    Serve(connection);
    CloseSocket(connection);
    ++fnClosed;
  }
}

void ScriptedSmtpServer::Serve(TSocketHandle aSocket) {
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
    return SendAllText(aSocket, response.Text + "\r\n");
  };

  if (!answer("", "220 scripted ESMTP ready"))
    return;
  while (!fbStop) {
    const auto lf = in.find('\n');
    if (lf == std::string::npos) {
      if (!WaitSocketReadable(aSocket, 20))
        continue;
      char buf[4096];
      const long n = ReceiveSome(aSocket, buf, sizeof buf);
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
    if (!SendAllText(aSocket, response.Text + "\r\n"))
      return;
    if (close)
      return;
  }
}

}  // namespace tavo::test
