// The account tests' POSIX half: templates that are no regular files.
#include <sys/stat.h>

#include <cerrno>

#include "MessageAccountFixture.h"
#include "platform/Errors.h"

namespace tavo {
namespace {

using test::MessageAccountTest;

// A template must be a regular file of at most 1 MiB: a FIFO would block
// start-up and a device such as /dev/zero would never end.
TEST_F(MessageAccountTest, TemplatesAreSmallRegularFilesOnly) {
  const std::string fifo = fDir.File("t.fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  constexpr std::size_t kMiB = 1024 * 1024;
  fDir.Write("big.txt", std::string(kMiB + 1, 'x'));
  fDir.Write("full.txt", std::string(kMiB, 'x'));
  struct Case {
    std::string Template;
    std::string Line;
  };
  const Case cases[] = {
      {"t.fifo",
       "Error: Invalid message config: Report template file not found at \"" + fifo + "\""},
      {"/dev/zero",
       "Error: Invalid message config: Report template file not found at \"/dev/zero\""},
      {"big.txt",
       "Error: Invalid message config: " + ErrnoText("Cannot read " + fDir.File("big.txt"), EFBIG)},
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
}

}  // namespace
}  // namespace tavo
