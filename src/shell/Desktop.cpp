#include "shell/Desktop.h"

#include <QMessageBox>

namespace tavo {

bool TTavoApplication::notify(QObject* aReceiver, QEvent* aEvent) {
  return GuardedNotify<QApplication>(*this, aReceiver, aEvent);
}

void ShowQtMessageBox(QWidget* aParent, TMsgBoxIcon aIcon, const std::string& aText) {
  const QString title = QStringLiteral("Tavo");
  const QString text = QString::fromStdString(aText);
  switch (aIcon) {
    case TMsgBoxIcon::eInformation:
      QMessageBox::information(aParent, title, text);
      break;
    case TMsgBoxIcon::eWarning:
      QMessageBox::warning(aParent, title, text);
      break;
    case TMsgBoxIcon::eError:
      QMessageBox::critical(aParent, title, text);
      break;
  }
}

TDesktopSession::TDesktopSession(IMainLoop& aLoop)
    : fWindow(std::make_unique<TConsoleWindow>()),
      fController(std::make_unique<TfrmMain>(aLoop, fWindow.get())) {
  fWindow->SetController(fController.get());
  TConsoleWindow* window = fWindow.get();
  fPreviousBox = SetMessageBoxHandler([window](TMsgBoxIcon aIcon, const std::string& aText) {
    ShowQtMessageBox(window, aIcon, aText);
  });
  SetEscapedErrorHandler([this](const std::string& aText) { ExceptionHook(aText); });
}

void TDesktopSession::ExceptionHook(const std::string& aText) {
  fErrorBox.Report(*fController, aText);
}

TDesktopSession::~TDesktopSession() {
  // The controller's closing line may still need the hooks (its sink shows
  // in the window), so they go after it.
  fController.reset();
  SetEscapedErrorHandler(nullptr);
  SetMessageBoxHandler(fPreviousBox);
  fWindow.reset();
}

void TDesktopSession::Start() {
  fController->FormCreate();
  fWindow->ShowCentred();
}

}  // namespace tavo
