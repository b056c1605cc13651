// The account tests' Windows half: templates that are no regular files, a
// template another program holds, and the paths Windows writes.
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "MessageAccountFixture.h"
#include "platform/Errors.h"
#include "platform/WideText.h"

namespace tavo {
namespace {

using test::MessageAccountTest;

// A template must be a regular file of at most 1 MiB: a pipe would block
// start-up and a device such as NUL is no file on a disk.
TEST_F(MessageAccountTest, TemplatesAreSmallRegularFilesOnly) {
  const std::string pipe = "\\\\.\\pipe\\tavo-test-" + std::to_string(::GetCurrentProcessId());
  const HANDLE server =
      ::CreateNamedPipeW(Utf8ToWide(pipe).c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE,
                         PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE) << ::GetLastError();
  constexpr std::size_t kMiB = 1024 * 1024;
  fDir.Write("big.txt", std::string(kMiB + 1, 'x'));
  fDir.Write("full.txt", std::string(kMiB, 'x'));
  struct Case {
    std::string Template;
    std::string Line;
  };
  const Case cases[] = {
      {pipe, "Error: Invalid message config: Report template file not found at \"" + pipe + "\""},
      {"NUL", "Error: Invalid message config: Report template file not found at \"" +
                  fDir.File("NUL") + "\""},
      {"big.txt", "Error: Invalid message config: " +
                      Win32ErrorText("Cannot read " + fDir.File("big.txt"), ERROR_FILE_TOO_LARGE)},
      {"full.txt",
       "Info:  Loaded message \"App-100\": \"T\" - Threshold=0; Count=0; Command=Send; "
       "Recipient=Mail1; Template=" +
           fDir.File("full.txt")},
  };
  for (const Case& c : cases) {
    fMsgs.Clear();
    auto account = Account("T;0;0;Send;Mail1;" + c.Template);
    EXPECT_EQ(fbInit, c.Line.starts_with("Info")) << c.Template;
    EXPECT_EQ(Lines(), (std::vector<std::string>{c.Line})) << c.Template;
  }
  ::CloseHandle(server);
}

// Held by another program that shares it with no one: the template is
// there but cannot be read, and the line says why.
TEST_F(MessageAccountTest, ATemplateHeldWithoutSharingGivesTheSystemsReason) {
  const std::string path = fDir.Write("held.txt", "x\n");
  const HANDLE other =
      ::CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  Account("T;0;0;Send;Mail1;held.txt");
  EXPECT_FALSE(fbInit);
  EXPECT_EQ(
      Lines(),
      (std::vector<std::string>{"Error: Invalid message config: " +
                                Win32ErrorText("Cannot open " + path, ERROR_SHARING_VIOLATION)}));
  ::CloseHandle(other);
}

// Windows paths in the template field: '\' and '/' alike, a path from the
// root of the program's drive, and a drive letter; the line names the file
// the Windows way.
TEST_F(MessageAccountTest, TemplatePathsTakeWindowsSeparatorsAndDrives) {
  fDir.Write("daily.txt", "x\n");
  std::filesystem::create_directory(Utf8ToWide(fDir.File("sub")));
  fDir.Write("sub\\t.txt", "x\n");
  const std::string daily = fDir.File("daily.txt");
  const std::string sub = fDir.File("sub\\t.txt");
  ASSERT_EQ(daily[1], ':') << daily;
  const std::string fromRoot = daily.substr(2);  // "\\...\\daily.txt"
  std::string lower = daily;
  lower[0] = static_cast<char>(daily[0] ^ 0x20);  // the other case of the drive letter
  struct Case {
    std::string Field;
    std::string Template;
  };
  const Case cases[] = {
      {".\\x\\..\\sub\\t.txt", sub},
      {"sub/t.txt", sub},
      {"sub\\\\t.txt", sub},
      {fromRoot, daily},
      {lower, lower},
  };
  for (const Case& c : cases) {
    fMsgs.Clear();
    Account("T;0;0;Send;Mail1;" + c.Field);
    EXPECT_TRUE(fbInit) << c.Field;
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "Info:  Loaded message \"App-100\": \"T\" - Threshold=0; Count=0; "
                           "Command=Send; Recipient=Mail1; Template=" +
                           c.Template}))
        << c.Field;
  }
}

}  // namespace
}  // namespace tavo
