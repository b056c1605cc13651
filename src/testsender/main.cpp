// tavot: the test trap sender. Without arguments it opens its window; with
// options it sends test traps from the command line and exits, without a
// display.

#include <QApplication>
#include <QMessageBox>
#include <iostream>
#include <string>
#include <vector>

#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "testsender/TavotCommandLine.h"
#include "testsender/TestSenderForm.h"

namespace {

// Qt must never see an exception: whatever escapes a handler is shown.
class TTavotApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* aReceiver, QEvent* aEvent) override {
    try {
      return QApplication::notify(aReceiver, aEvent);
    } catch (const std::exception& e) {
      tavo::ShowMessageBox(tavo::TMsgBoxIcon::eError, e.what());
    } catch (...) {
      tavo::ShowMessageBox(tavo::TMsgBoxIcon::eError, "Unknown exception");
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  const std::string program = argc > 0 ? tavo::ExtractFileName(argv[0]) : "tavot";
  if (argc > 1) {
    return tavo::RunTavotCommandLine(program, std::vector<std::string>(argv + 1, argv + argc),
                                     std::cout, std::cerr);
  }
  TTavotApplication app(argc, argv);
  tavo::SetMessageBoxHandler([](tavo::TMsgBoxIcon aIcon, const std::string& aText) {
    const QString text = QString::fromUtf8(aText.c_str());
    if (aIcon == tavo::TMsgBoxIcon::eError) {
      QMessageBox::critical(nullptr, "TavoT", text);
    } else if (aIcon == tavo::TMsgBoxIcon::eWarning) {
      QMessageBox::warning(nullptr, "TavoT", text);
    } else {
      QMessageBox::information(nullptr, "TavoT", text);
    }
  });
  tavo::TfrmTestSender form;
  form.show();
  return app.exec();
}
