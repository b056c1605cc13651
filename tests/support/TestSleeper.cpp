// A stand-in client program for process-control tests. Started without
// arguments (as a client's program is), it writes its pid to "<its own
// path>.pid" and sleeps; it ends by itself after a minute at the latest, so
// a test that fails half-way leaves nothing running for long.

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

int main() {
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0)
    return 1;
  const std::string marker = std::string(self, static_cast<std::size_t>(n)) + ".pid";
  const std::string temp = marker + ".tmp";
  if (FILE* f = std::fopen(temp.c_str(), "w")) {
    std::fprintf(f, "%d\n", static_cast<int>(::getpid()));
    std::fclose(f);
    std::rename(temp.c_str(), marker.c_str());  // readers never see half a pid
  }
  for (int i = 0; i < 600; ++i)
    ::usleep(100000);
  return 0;
}
