// A stand-in client program for process-control tests. Started without
// arguments (as a client's program is), it writes its pid to "<its own
// path>.pid" and sleeps; it ends by itself after a minute at the latest, so
// a test that fails half-way leaves nothing running for long. Built for
// Linux and for Windows.

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>

namespace {

std::filesystem::path OwnPath() {
#ifdef _WIN32
  std::wstring path(32768, L'\0');
  const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (n == 0 || n >= path.size())
    return {};
  path.resize(n);
  return path;
#else
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/exe", error);
#endif
}

int OwnPid() {
#ifdef _WIN32
  return static_cast<int>(::GetCurrentProcessId());
#else
  return static_cast<int>(::getpid());
#endif
}

}  // namespace

int main() {
  const std::filesystem::path self = OwnPath();
  if (self.empty())
    return 1;
  std::filesystem::path marker = self;
  marker += ".pid";
  std::filesystem::path temp = marker;
  temp += ".tmp";
  {
    std::ofstream out(temp);
    out << OwnPid() << "\n";
  }
  std::error_code error;
  std::filesystem::rename(temp, marker, error);  // readers never see half a pid
  for (int i = 0; i < 600; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return 0;
}
