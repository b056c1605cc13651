#pragma once
// A temporary folder of a test's own, made through std::filesystem and
// removed with everything in it when the object goes: for the tests that
// run on Windows, where TempDir (TestSupport.h) is not built.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace tavo::test {

class ScratchFolder {
 public:
  ScratchFolder() {
    static std::atomic<int> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string test = info ? std::string(info->test_suite_name()) + "." + info->name() : "";
    // Unique per run and per folder; the clock's count keeps runs apart.
    fPath = std::filesystem::temp_directory_path() /
            ("tavo-" + test + "-" +
             std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
             std::to_string(counter++));
    std::filesystem::create_directories(fPath);
  }
  ~ScratchFolder() {
    std::error_code error;
    std::filesystem::remove_all(fPath, error);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& Path() const { return fPath; }
  // Path() / aName, as UTF-8 text.
  std::string File(const std::string& aName) const {
    const std::u8string path = (fPath / std::u8string(aName.begin(), aName.end())).u8string();
    return std::string(path.begin(), path.end());
  }

 private:
  std::filesystem::path fPath;
};

}  // namespace tavo::test
