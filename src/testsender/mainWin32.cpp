// tavot.exe: the test trap sender on Windows, its command line for now (the
// window follows). A GUI-subsystem program, so that a start from Explorer
// opens no console; started from a console it attaches to it and prints
// there. Without arguments it prints its usage.

#include <iostream>
#include <string>
#include <vector>

#include "platform/Paths.h"
#include "platform/WinStartup.h"
#include "testsender/TavotCommandLine.h"

int main() {
  tavo::AttachParentConsole();
  const std::string program = tavo::ExtractFileName(tavo::ExecutablePath());
  const std::vector<std::string> args = tavo::ProcessArguments();
  if (args.empty()) {
    std::cout << tavo::TavotHelp(program) << std::flush;
    return 2;
  }
  const int status = tavo::RunTavotCommandLine(program, args, std::cout, std::cerr);
  std::cout.flush();
  std::cerr.flush();
  return status;
}
