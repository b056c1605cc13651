#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include <gtest/gtest.h>

#include "ProcessTestSupport.h"
#include "TestProcess.h"
#include "TestSupport.h"
#include "platform/Files.h"

namespace tavo {
namespace {

using test::TempDir;

std::string Script(const TempDir& aDir, const std::string& aName, const std::string& aBody) {
  const std::string path = aDir.Write(aName, "#!/bin/sh\n" + aBody);
  ::chmod(path.c_str(), 0755);
  return path;
}

TEST(RunProcessTest, ExitStatusAndOutput) {
  TRunResult r = RunProcess({"/bin/sh", "-c", "echo loaded; exit 3"}, 10000, true);
  EXPECT_EQ(r.Error, 0);
  EXPECT_EQ(r.ExitStatus, 3);
  EXPECT_EQ(r.Output, "loaded\n");
  EXPECT_FALSE(r.Succeeded());

  r = RunProcess({"sh", "-c", "exit 0"}, 10000);  // found in PATH
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(r.Output, "");

  r = RunProcess({"/bin/sh", "-c", "kill -9 $$"}, 10000);
  EXPECT_EQ(r.ExitStatus, 128 + 9);
}

TEST(RunProcessTest, MissingProgramAndTimeOut) {
  EXPECT_EQ(RunProcess({"/nonexistent/tool"}, 1000).Error, ENOENT);
  EXPECT_EQ(RunProcess({}, 1000).Error, EINVAL);

  const auto start = std::chrono::steady_clock::now();
  const TRunResult r = RunProcess({"/bin/sh", "-c", "sleep 30"}, 100, true);
  EXPECT_EQ(r.Error, ETIMEDOUT);
  EXPECT_FALSE(r.Succeeded());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(RunProcessTest, ChildStartsWithDefaultSignalsAndNothingOnInput) {
  // A blocked SIGTERM here must not stay blocked in the child.
  sigset_t term, old;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &term, &old);
  const TRunResult r =
      RunProcess({"/bin/sh", "-c", "grep SigBlk /proc/self/status; cat"}, 10000, true);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  EXPECT_EQ(r.Output, "SigBlk:\t0000000000000000\n");
}

TEST(SpawnDetachedTest, RunsInANewSessionWithoutOurFiles) {
  TempDir dir;
  const int inherited = ::open("/dev/null", O_RDONLY);  // no O_CLOEXEC on purpose
  ASSERT_GE(inherited, 3);
  const std::string script =
      Script(dir, "probe.sh",
             "out=\"$0.out\"\n"
             "sid=$(cut -d' ' -f6 /proc/self/stat)\n"
             "if [ -e /proc/self/fd/" +
                 std::to_string(inherited) +
                 " ]; then fd=open; else fd=closed; fi\n"
                 "echo \"$sid $fd\" > \"$out.tmp\" && mv \"$out.tmp\" \"$out\"\n");
  EXPECT_EQ(SpawnDetached({script}), 0);
  ::close(inherited);

  ASSERT_TRUE(test::WaitFor([&] { return FileExists(script + ".out"); }, test::kProcessWait));
  const std::string out = dir.Read("probe.sh.out");
  const std::string sid = out.substr(0, out.find(' '));
  EXPECT_NE(std::stoi(sid), static_cast<int>(::getsid(0)));
  EXPECT_EQ(out.substr(out.find(' ') + 1), "closed\n");
}

TEST(SpawnDetachedTest, ExecFailuresComeBackAsErrno) {
  TempDir dir;
  const std::string garbage = dir.Write("garbage", "not a program\n");
  ::chmod(garbage.c_str(), 0755);
  EXPECT_EQ(SpawnDetached({garbage}), ENOEXEC);
  EXPECT_EQ(SpawnDetached({dir.File("missing")}), ENOENT);
  EXPECT_EQ(SpawnDetached({"tavo-no-such-program-in-path"}), ENOENT);
  EXPECT_EQ(SpawnDetached({}), EINVAL);
}

}  // namespace
}  // namespace tavo
