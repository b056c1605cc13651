#include "platform/MessageBox.h"

namespace tavo {
namespace {

TMessageBoxHandler gHandler;

}  // namespace

void ShowMessageBox(TMsgBoxIcon aIcon, const std::string& aText) {
  if (gHandler) {
    gHandler(aIcon, aText);
  } else {
    ShowSystemMessageBox(aIcon, aText);
  }
}

TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler aHandler) {
  auto previous = std::move(gHandler);
  gHandler = std::move(aHandler);
  return previous;
}

}  // namespace tavo
