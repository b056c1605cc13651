#include "ConsoleTestSupport.h"

#include <gtest/gtest.h>

#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <sstream>

#include "platform/Paths.h"
#include "shell/RunMode.h"

#include "TavoE2E.h"

namespace tavo::test {

using namespace std::chrono_literals;

namespace {
int gArgc = 1;
char gArg0[] = "tavo";
char* gArgv[] = {gArg0, nullptr};
TTavoApplication* gApp = nullptr;

// The application goes when the tests are over, before the static objects
// it relies on.
class GuiEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    delete gApp;
    gApp = nullptr;
  }
};
[[maybe_unused]] ::testing::Environment* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new GuiEnvironment);
}  // namespace

TTavoApplication& GuiApplication() {
  if (!gApp)
    gApp = new TTavoApplication(gArgc, gArgv);
  return *gApp;
}

bool Spin(const std::function<bool()>& aDone, std::chrono::milliseconds aTimeout) {
  const auto deadline = std::chrono::steady_clock::now() + aTimeout;
  while (!aDone()) {
    if (std::chrono::steady_clock::now() > deadline)
      return aDone();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

void SpinFor(std::chrono::milliseconds aTime) {
  const auto deadline = std::chrono::steady_clock::now() + aTime;
  while (std::chrono::steady_clock::now() < deadline)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

ModalAnswer::ModalAnswer(std::function<void(QWidget*)> aAnswer, std::chrono::milliseconds aTimeout)
    : fState(std::make_shared<State>()), fTimerOwner(std::make_unique<QObject>()) {
  auto* timer = new QTimer(fTimerOwner.get());
  const auto deadline = std::chrono::steady_clock::now() + aTimeout;
  QObject::connect(timer, &QTimer::timeout, timer,
                   [state = fState, answer = std::move(aAnswer), deadline] {
                     QWidget* modal = QApplication::activeModalWidget();
                     if (!modal)
                       return;
                     const bool late = std::chrono::steady_clock::now() > deadline;
                     if (state->bAnswered || late) {
                       // A box nobody expected: close it once the time is
                       // up, so that no test waits on it for ever.
                       if (late) {
                         ++state->nUnexpected;
                         modal->close();
                       }
                       return;
                     }
                     state->Title = modal->windowTitle();
                     if (auto* box = qobject_cast<QMessageBox*>(modal))
                       state->Text = box->text();
                     if (auto* input = qobject_cast<QInputDialog*>(modal))
                       state->Text = input->labelText();
                     state->bAnswered = true;
                     // Answered from the event loop, not from this slot: a
                     // timer never fires again while its slot runs, and the
                     // answer may open boxes that need this timer too.
                     QTimer::singleShot(0, modal, [modal, answer] { answer(modal); });
                   });
  timer->start(20);
}

ModalAnswer::~ModalAnswer() = default;

ConsoleRun::ConsoleRun(const std::string& aIni) {
  GuiApplication();
  fDir.Write("tavo.ini", aIni);
  SetConfigFileOverride(fDir.File("tavo.ini"));
  SetRunMode(TRunMode::eDesktop);
  fMainLoop = std::make_unique<TQtMainLoop>();
  fSession = std::make_unique<TDesktopSession>(*fMainLoop);
}

ConsoleRun::~ConsoleRun() {
  Finish();
}

bool ConsoleRun::Start() {
  fSession->Start();
  return Spin([this] {
    for (const std::string& line : ViewLines()) {
      if (line == "Trace: Initialization done" || line.rfind("Fatal: ", 0) == 0)
        return true;
    }
    return false;
  });
}

namespace {
bool HasTimeStamp(const std::string& aLine) {
  // "dd.mm.yyyy hh:nn:ss.zzz "
  static const std::string kShape = "00.00.0000 00:00:00.000 ";
  if (aLine.size() < kShape.size())
    return false;
  for (std::size_t i = 0; i < kShape.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(aLine[i])) != 0;
    if ((kShape[i] == '0') != digit || (kShape[i] != '0' && aLine[i] != kShape[i]))
      return false;
  }
  return true;
}
}  // namespace

std::vector<std::string> ConsoleRun::ViewLines() const {
  std::vector<std::string> lines;
  if (Window().LogViewLineCount() == 0)
    return lines;
  std::istringstream in(Window().Memo1->toPlainText().toStdString());
  std::string line;
  while (std::getline(in, line))
    lines.push_back(HasTimeStamp(line) ? line.substr(24) : line);
  return lines;
}

int ConsoleRun::ViewCount(const std::string& aLine) const {
  const auto lines = ViewLines();
  return static_cast<int>(std::count(lines.begin(), lines.end(), aLine));
}

std::vector<std::string> ConsoleRun::FileLines() const {
  try {
    return LogLinesOf(ReadWholeFile(fDir.File("tavo.log")));
  } catch (...) {
    return {};
  }
}

std::string ConsoleRun::Dump() const {
  std::string text = "log view:\n";
  for (const std::string& line : ViewLines())
    text += "  " + line + "\n";
  return text;
}

void ConsoleRun::Finish() {
  if (!fSession)
    return;
  fMainLoop->BeginShutdown();
  fSession.reset();
  fMainLoop.reset();
}

}  // namespace tavo::test
