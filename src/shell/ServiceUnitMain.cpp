// tavo_service_unit: writes the unit file a package installs, the text an
// install run would write for the same program and configuration, so the
// two cannot drift apart. A build tool, not installed.
//
//   tavo_service_unit OUTPUT PROGRAM [CONFIG]

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/SystemdUnit.h"
#include "shell/AppServiceTools.h"

int main(int argc, char** argv) {
  using namespace tavo;
  if (argc < 3 || argc > 4) {
    std::fputs("usage: tavo_service_unit OUTPUT PROGRAM [CONFIG]\n", stderr);
    return 2;
  }
  // The service's name has no blanks: its display name is the same.
  const std::string text =
      ServiceUnitText(ServiceUnitOf(kServiceName, kServiceName, argv[2], argc == 4 ? argv[3] : ""));
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    std::fprintf(stderr, "tavo_service_unit: %s cannot be written\n", argv[1]);
    return 1;
  }
  return 0;
}
