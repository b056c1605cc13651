#pragma once
// The desktop half of tavo — the console window over the controller — is
// built as a plugin, libtavo_desktop.so beside the program (installed: in
// ../lib/tavo/), and loaded only for a desktop start: headless runs
// (--foreground, the service, --check) never load Qt's widget libraries.
// The plugin uses tavo's own code and globals (the program exports them);
// these are its two entry points.

// Runs desktop mode until the window is closed (or SIGTERM/SIGINT); the
// exit status of the program.
extern "C" int TavoRunDesktop(int* argc, char** argv);
// Shows aText in a modal box with the icon (a TMsgBoxIcon) and waits for OK;
// for a refused desktop start, before any window exists.
extern "C" void TavoShowDesktopBox(int* argc, char** argv, int aIcon, const char* aText);

using TTavoRunDesktop = int (*)(int*, char**);
using TTavoShowDesktopBox = void (*)(int*, char**, int, const char*);

// The plugin's file name, looked for in the program's folder, else in
// kDesktopPluginInstalledFolder relative to it (the installed layout).
constexpr const char* kDesktopPluginName = "libtavo_desktop.so";
constexpr const char* kDesktopPluginInstalledFolder = "../lib/tavo/";
