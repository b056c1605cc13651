// The client tests' Windows half: the reboot asked of the session with the
// shutdown privilege, and real processes told apart by their program's
// file name alone.
#include <windows.h>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "ClientFixture.h"
#include "WaitFor.h"
#include "platform/Errors.h"
#include "platform/WideText.h"

namespace tavo {
namespace {

using test::ClientProcessTest;
using test::ClientTest;
using test::TextLines;

// The privilege first, then the session's end with the account's flags and
// a planned reason; either refusal is the line after "System Reboot", and
// nothing is asked again at the next cycle.
TEST_F(ClientTest, SystemRebootEnablesThePrivilegeThenAsksForTheSessionsEnd) {
  struct Case {
    const char* What;
    int PrivilegeError;
    int RequestError;
    std::vector<std::uint32_t> Requests;  // flags, reason
    std::string Error;
  };
  const std::uint32_t reason = TWin32SystemPower::kPlannedReason;
  const Case cases[] = {
      {"accepted", 0, 0, {0x12, reason}, ""},
      {"no privilege",
       ERROR_ACCESS_DENIED,
       0,
       {},
       "Error: System reboot refused: " +
           Win32ErrorText("shutdown privilege", ERROR_ACCESS_DENIED)},
      {"the request refused",
       0,
       ERROR_NOT_SUPPORTED,
       {0x12, reason},
       "Error: System reboot refused: " + Win32ErrorText("ExitWindowsEx", ERROR_NOT_SUPPORTED)},
  };
  for (const Case& c : cases) {
    int privilegeCalls = 0;
    std::vector<std::uint32_t> requests;
    TWin32SystemPower power({.EnableShutdownPrivilege =
                                 [&] {
                                   ++privilegeCalls;
                                   return c.PrivilegeError;
                                 },
                             .RequestShutdown =
                                 [&](std::uint32_t aFlags, std::uint32_t aReason) {
                                   requests.push_back(aFlags);
                                   requests.push_back(aReason);
                                   return c.RequestError;
                                 }});
    SetSystemPower(&power);
    auto client = Client(fsProgram, "9=Boot;0;0;SystemReboot\n");
    client->Increment(9, "");
    client->Check();
    client->Check();  // one try per condition
    TextLines expected{
        "Info:  Execute \"SystemReboot\" because of message id 9 from \"App\" (Counter = 1 > 0)",
        "Info:  System Reboot"};
    if (!c.Error.empty())
      expected.push_back(c.Error);
    EXPECT_EQ(fMsgs.Lines(), expected) << c.What;
    EXPECT_EQ(privilegeCalls, 1) << c.What;
    EXPECT_EQ(requests, c.Requests) << c.What;
    EXPECT_EQ(client->CmdToExe(), "") << c.What;
    SetSystemPower(&fPower);
  }
}

// Starts aProgram as a child of the test (not through the client).
PROCESS_INFORMATION StartProgram(const std::string& aProgram) {
  std::wstring commandLine = L"\"" + Utf8ToWide(aProgram) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
    throw std::runtime_error("CreateProcessW failed: " + std::to_string(::GetLastError()));
  ::CloseHandle(process.hThread);
  return process;
}

// Windows knows no "#!" scripts: a process is the client's when its
// program's file name is the client's, ignoring case and wherever it lies.
// A copy of another name runs on.
TEST_F(ClientProcessTest, RestartEndsWhatRunsTheProgramsFileNameAndNothingElse) {
  const std::string name = UniqueName("tavo-sleeper") + kProgramSuffix;
  std::filesystem::create_directory(Utf8ToWide(fDir.File("elsewhere")));
  const std::string program = fDir.File(name);
  const std::string sameName = fDir.File("elsewhere\\" + name);
  const std::string otherName = fDir.File(UniqueName("tavo-other") + kProgramSuffix);
  for (const std::string& copy : {program, sameName, otherName})
    test::CopyExecutable(test::SleeperPath(), copy);
  // The configuration names the program in capitals.
  std::string upper = program;
  for (char& ch : upper)
    ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  auto client = Client(upper);

  const PROCESS_INFORMATION same = StartProgram(sameName);
  const PROCESS_INFORMATION other = StartProgram(otherName);
  fCleanup.Add(static_cast<int>(same.dwProcessId));
  fCleanup.Add(static_cast<int>(other.dwProcessId));
  ASSERT_GT(test::WaitForPidFile(sameName + ".pid"), 0);
  ASSERT_GT(test::WaitForPidFile(otherName + ".pid"), 0);

  Restart(*client);  // the copy elsewhere is ended, the program started
  EXPECT_EQ(::WaitForSingleObject(same.hProcess, 10000), WAIT_OBJECT_0);
  const int started = test::WaitForPidFile(program + ".pid");
  ASSERT_GT(started, 0);
  fCleanup.Add(started);
  EXPECT_EQ(::WaitForSingleObject(other.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));

  client->Increment(1, "");
  client->Check();  // Restart: ends the program it started
  EXPECT_TRUE(test::WaitFor([&] { return test::ProcessGone(started); }, test::kProcessWait));
  EXPECT_EQ(::WaitForSingleObject(other.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  ::CloseHandle(same.hProcess);
  ::CloseHandle(other.hProcess);
}

}  // namespace
}  // namespace tavo
