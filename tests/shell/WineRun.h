#pragma once
// What the e2e tests need to run the Windows build's tavo.exe under Wine
// in place of the Linux tavo: the launcher, a prefix of the test's own,
// Windows paths through drive Z:, and the skip when the Windows build is
// not there. A test target that includes this defines TAVO_WINDOWS_EXE and
// TAVO_WINE_E2E_PREFIX (tavo_wine_e2e in CMakeLists.txt): one prefix per
// test program, so that programs run side by side do not end each other's
// Wine processes.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TavoE2E.h"

namespace tavo::test::wine {

inline constexpr const char* kWine = "/usr/lib/wine/wine64";
inline constexpr const char* kWineServer = "/usr/lib/wine/wineserver64";
inline constexpr const char* kServiceKey = "HKLM\\System\\CurrentControlSet\\Services\\ORVO_Tavo";

// The instance name is the default, so that the service, which Wine's
// service manager starts with an environment of its own, takes the same.
inline std::vector<std::string> Environment(const std::string& aDebug = "-all") {
  return {std::string("WINEPREFIX=") + TAVO_WINE_E2E_PREFIX, "WINEDEBUG=" + aDebug,
          "WINEDLLOVERRIDES=mscoree,mshtml=", "TAVO_INSTANCE=Tavo"};
}

// A Linux path as Wine's drive Z: names it.
inline std::string WinePath(const std::string& aPath) {
  std::string path = "Z:" + aPath;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// A program of the Windows build beside tavo.exe (e.g. "tavot.exe",
// "tests/support/tavo_test_sleeper.exe").
inline std::string WindowsBuildFile(const std::string& aRelative) {
  return (std::filesystem::path(TAVO_WINDOWS_EXE).parent_path() / aRelative).string();
}

// scripts/test builds the Windows programs first and sets TAVO_REQUIRE_WINE,
// so that there a missing program fails instead of skipping.
inline bool Required() {
  const char* v = std::getenv("TAVO_REQUIRE_WINE");
  return v && std::string(v) == "1";
}

// A registration left by a failed run would start with every session of
// the prefix and hold the instance name: removed, and the prefix's server
// ended with every process of the prefix (only this test program uses it).
inline void ClearPrefix(const TempDir& aDir) {
  using namespace std::chrono_literals;
  const auto env = Environment();
  RunProgram({kWine, "reg", "delete", kServiceKey, "/f"}, aDir.File("clear"), 60s, env);
  RunProgram({kWineServer, "-k"}, aDir.File("wineserver"), 30s, env);
}

// Cleared on entry and on exit; Boot creates the prefix on first use.
struct PrefixCleared {
  explicit PrefixCleared(const TempDir& aDir) : Dir(aDir) { ClearPrefix(Dir); }
  ~PrefixCleared() { ClearPrefix(Dir); }
  bool Boot() const {
    using namespace std::chrono_literals;
    return RunProgram({kWine, "wineboot", "--init"}, Dir.File("boot"), 180s, Environment())
               .Status == 0;
  }
  const TempDir& Dir;
};

// Makes aRun start tavo.exe under Wine. Wine hands SIGINT to the console's
// Ctrl+C handler, which tavo.exe --foreground installs: Stop(SIGINT).
inline void UseWine(TavoRun& aRun) {
  aRun.Launcher = {kWine};
  aRun.Program = TAVO_WINDOWS_EXE;
  aRun.Env = Environment();
}

}  // namespace tavo::test::wine

#define TAVO_SKIP_WITHOUT_FILE(aPath, aHint)                                      \
  do {                                                                            \
    if (!std::filesystem::exists(aPath)) {                                        \
      ASSERT_FALSE(::tavo::test::wine::Required()) << (aPath) << " is not there"; \
      GTEST_SKIP() << (aPath) << " is not there: " << (aHint);                    \
    }                                                                             \
  } while (false)

#define TAVO_SKIP_WITHOUT_WINE()                                                         \
  do {                                                                                   \
    TAVO_SKIP_WITHOUT_FILE(TAVO_WINDOWS_EXE, "run scripts/build-windows first");         \
    TAVO_SKIP_WITHOUT_FILE(::tavo::test::wine::kWine, "install wine64 (scripts/setup)"); \
  } while (false)
