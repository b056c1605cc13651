#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/ChildProcess.h"
#include "platform/Environment.h"
#include "platform/WideText.h"

namespace tavo {
namespace {

constexpr std::size_t kMaxOutput = 64 * 1024;

int LastError() {
  return static_cast<int>(::GetLastError());
}

bool IsRegularFile(const std::wstring& aPath) {
  const DWORD attributes = ::GetFileAttributesW(aPath.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Closes the handles it holds when it goes.
class THandles {
 public:
  THandles() = default;
  ~THandles() {
    for (HANDLE h : fHandles)
      ::CloseHandle(h);
  }
  THandles(const THandles&) = delete;
  THandles& operator=(const THandles&) = delete;
  HANDLE Add(HANDLE aHandle) {
    if (aHandle && aHandle != INVALID_HANDLE_VALUE)
      fHandles.push_back(aHandle);
    return aHandle;
  }
  void Close(HANDLE aHandle) {
    const auto it = std::find(fHandles.begin(), fHandles.end(), aHandle);
    if (it == fHandles.end())
      return;
    ::CloseHandle(*it);
    fHandles.erase(it);
  }

 private:
  std::vector<HANDLE> fHandles;
};

// An inheritable handle on the null device.
HANDLE OpenNul(DWORD aAccess) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return ::CreateFileW(L"NUL", aAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                       0, nullptr);
}

// The program file and the command line for aArgv; 0 or the error code.
int Prepare(const std::vector<std::string>& aArgv, std::wstring& aProgram,
            std::wstring& aCommandLine) {
  if (aArgv.empty() || aArgv[0].empty())
    return ERROR_INVALID_PARAMETER;
  int error = 0;
  // Resolved here, so that CreateProcessW never searches our own folder or
  // the working directory before PATH.
  const std::string program = FindProgram(aArgv[0], &error);
  if (program.empty())
    return error;
  aProgram = Utf8ToWide(program);
  aCommandLine = Utf8ToWide(QuotedCommandLine(aArgv));
  return 0;
}

}  // namespace

std::string QuotedCommandLine(const std::vector<std::string>& aArgv) {
  std::string line;
  for (std::size_t i = 0; i < aArgv.size(); ++i) {
    const std::string& arg = aArgv[i];
    if (i > 0)
      line += ' ';
    const bool plain = !arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos;
    if (plain) {
      line += arg;
      continue;
    }
    line += '"';
    if (i == 0) {
      // The program name is read up to the next quote, backslashes and all.
      line += arg;
      line += '"';
      continue;
    }
    std::size_t backslashes = 0;
    for (char c : arg) {
      if (c == '\\') {
        ++backslashes;
        continue;
      }
      // Backslashes count double before a quote (the closing one too).
      line.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
      backslashes = 0;
      line += c;
    }
    line.append(2 * backslashes, '\\');
    line += '"';
  }
  return line;
}

std::string FindProgram(const std::string& aName, int* aError) {
  int error = ERROR_FILE_NOT_FOUND;
  if (aName.find_first_of("\\/:") != std::string::npos) {
    if (IsRegularFile(Utf8ToWide(aName)))
      return aName;
  } else if (!aName.empty()) {
    // PATH's folders only: SearchPathW without them would look in the
    // working directory as well.
    const std::wstring path = Utf8ToWide(EnvironmentValue("PATH", ""));
    const std::wstring name = Utf8ToWide(aName);
    std::wstring found(MAX_PATH, L'\0');
    for (int attempt = 0; !path.empty() && attempt < 2; ++attempt) {
      const DWORD n = ::SearchPathW(path.c_str(), name.c_str(), L".exe",
                                    static_cast<DWORD>(found.size()), found.data(), nullptr);
      if (n == 0)
        break;
      if (n < found.size()) {
        found.resize(n);
        if (IsRegularFile(found))
          return WideToUtf8(found);
        break;
      }
      found.resize(n);  // the size it needs, then again
    }
  }
  if (aError)
    *aError = error;
  return {};
}

int SpawnDetached(const std::vector<std::string>& aArgv) {
  std::wstring program, commandLine;
  if (const int error = Prepare(aArgv, program, commandLine); error != 0)
    return error;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // No console of ours, no handle of ours, not in our Ctrl+C group.
  if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT,
                        nullptr, nullptr, &startup, &info)) {
    return LastError();
  }
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return 0;
}

TRunResult RunProcess(const std::vector<std::string>& aArgv, int aTimeoutMs, bool aCaptureOutput) {
  TRunResult result;
  std::wstring program, commandLine;
  if (const int error = Prepare(aArgv, program, commandLine); error != 0) {
    result.Error = error;
    return result;
  }
  THandles handles;
  HANDLE input = handles.Add(OpenNul(GENERIC_READ));
  HANDLE errors = handles.Add(OpenNul(GENERIC_WRITE));
  HANDLE output = nullptr;
  HANDLE outputRead = nullptr;
  if (aCaptureOutput) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    if (!::CreatePipe(&outputRead, &output, &inherit, 0)) {
      result.Error = LastError();
      return result;
    }
    handles.Add(outputRead);
    handles.Add(output);
    // Our end stays ours.
    ::SetHandleInformation(outputRead, HANDLE_FLAG_INHERIT, 0);
  } else {
    output = handles.Add(OpenNul(GENERIC_WRITE));
  }
  if (input == INVALID_HANDLE_VALUE || errors == INVALID_HANDLE_VALUE ||
      output == INVALID_HANDLE_VALUE) {
    result.Error = LastError();
    return result;
  }

  // Only these three are inherited, not every inheritable handle that
  // another thread has open at this moment.
  HANDLE inherited[] = {input, output, errors};
  SIZE_T listSize = 0;
  ::InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
  std::vector<unsigned char> listBuffer(listSize);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listBuffer.data());
  if (!::InitializeProcThreadAttributeList(list, 1, 0, &listSize)) {
    result.Error = LastError();
    return result;
  }
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = input;
  startup.StartupInfo.hStdOutput = output;
  startup.StartupInfo.hStdError = errors;
  startup.lpAttributeList = list;
  PROCESS_INFORMATION info{};
  const bool started =
      ::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                  sizeof inherited, nullptr, nullptr) &&
      ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                       CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT | EXTENDED_STARTUPINFO_PRESENT,
                       nullptr, nullptr, &startup.StartupInfo, &info);
  const int startError = started ? 0 : LastError();
  ::DeleteProcThreadAttributeList(list);
  if (!started) {
    result.Error = startError;
    return result;
  }
  ::CloseHandle(info.hThread);
  handles.Add(info.hProcess);
  // The child holds its copies now; ours would keep the pipe open for ever.
  handles.Close(output);

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(aTimeoutMs < 0 ? 0 : aTimeoutMs);
  // Anonymous pipes cannot be waited on: what is there is read, then the
  // process is waited for a moment, until it has ended and the pipe is
  // empty or closed.
  char buf[4096];
  for (;;) {
    bool readSome = false;
    DWORD available = 0;
    if (aCaptureOutput && ::PeekNamedPipe(outputRead, nullptr, 0, nullptr, &available, nullptr) &&
        available > 0) {
      DWORD n = 0;
      if (::ReadFile(outputRead, buf, sizeof buf, &n, nullptr) && n > 0) {
        const std::size_t room = kMaxOutput - result.Output.size();
        result.Output.append(buf, std::min<std::size_t>(room, n));
        readSome = true;
      }
    }
    if (readSome)
      continue;
    if (::WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0)
      break;
    if (Clock::now() >= deadline) {
      ::TerminateProcess(info.hProcess, 1);
      ::WaitForSingleObject(info.hProcess, 5000);
      result.Error = ETIMEDOUT;
      return result;
    }
    ::WaitForSingleObject(info.hProcess, 5);
  }
  // What it wrote just before it ended.
  for (DWORD available = 0; aCaptureOutput &&
                            ::PeekNamedPipe(outputRead, nullptr, 0, nullptr, &available, nullptr) &&
                            available > 0;) {
    DWORD n = 0;
    if (!::ReadFile(outputRead, buf, sizeof buf, &n, nullptr) || n == 0)
      break;
    result.Output.append(buf, std::min<std::size_t>(kMaxOutput - result.Output.size(), n));
  }
  DWORD status = 0;
  ::GetExitCodeProcess(info.hProcess, &status);
  result.ExitStatus = static_cast<int>(status);
  return result;
}

}  // namespace tavo
