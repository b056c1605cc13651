#pragma once
// Modal message boxes with one OK button. The core has no windows: the
// default handler writes the text to standard error and the system log. The
// desktop shell installs a handler that shows a real box; tests install one
// that records.

#include <functional>
#include <string>

namespace tavo {

enum class TMsgBoxIcon { eInformation, eWarning, eError };

using TMessageBoxHandler = std::function<void(TMsgBoxIcon, const std::string&)>;

// Shows the box and returns when it is closed. Main thread only.
void ShowMessageBox(TMsgBoxIcon aIcon, const std::string& aText);
// Installs aHandler (empty: the default) and returns the previous one.
TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler aHandler);

}  // namespace tavo
