#pragma once
// Modal message boxes with one OK button. On Linux the core has no windows:
// the default handler writes the text to standard error and the system log;
// the desktop shell installs a handler that shows a real box. On Windows the
// default shows a MessageBoxW where an interactive desktop is, and elsewhere
// (a service) does what Linux does. Tests install a handler that records.

#include <functional>
#include <string>

namespace tavo {

enum class TMsgBoxIcon { eInformation, eWarning, eError };

using TMessageBoxHandler = std::function<void(TMsgBoxIcon, const std::string&)>;

// Shows the box and returns when it is closed. Main thread only.
void ShowMessageBox(TMsgBoxIcon aIcon, const std::string& aText);
// The default handler: the platform's own box (see above).
void ShowSystemMessageBox(TMsgBoxIcon aIcon, const std::string& aText);
// Installs aHandler (empty: the default) and returns the previous one.
TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler aHandler);

}  // namespace tavo
