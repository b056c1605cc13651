// The controller in this process, on a QCoreApplication: the receiver's end
// reported in both forms, with an endpoint failure injected.

#include "shell/Controller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "TavoE2E.h"
#include "TestProcess.h"
#include "TestSupport.h"
#include "platform/Paths.h"
#include "shell/QtMainThread.h"
#include "shell/RunMode.h"

namespace tavo {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;

class ControllerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char arg0[] = "ControllerTest";
    static char* argv[] = {arg0, nullptr};
    static QCoreApplication app(argc, argv);
  }
  void SetUp() override {
    SetRunMode(TRunMode::eService, false);
    fMain = std::make_unique<TQtMainThread>();
  }
  void TearDown() override {
    fMain->BeginShutdown();
    fFrm.reset();
    fMain.reset();
    SetConfigFileOverride("");
  }
  void Create(const std::string& aIni) {
    SetConfigFileOverride(fDir.Write("tavo.ini", aIni));
    fFrm = std::make_unique<TfrmMain>();
  }
  std::vector<std::string> Lines() const {
    try {
      return test::LogLinesOf(test::ReadWholeFile(fDir.File("tavo.log")));
    } catch (...) {
      return {};
    }
  }
  bool SpinUntilLine(const std::string& aLine, std::chrono::milliseconds aTimeout = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + aTimeout;
    for (;;) {
      const auto lines = Lines();
      if (std::find(lines.begin(), lines.end(), aLine) != lines.end())
        return true;
      if (std::chrono::steady_clock::now() > deadline)
        return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
  }

  test::TempDir fDir;
  std::unique_ptr<TQtMainThread> fMain;
  std::unique_ptr<TfrmMain> fFrm;
  const std::string fReceiver =
      "[SnmpTrapReceiver]\nPort=" + std::to_string(test::FreeUdpPort()) + "\n";
};

TEST_F(ControllerTest, AnEndpointFailureClosesTheReceiverWithItsText) {
  Create(fReceiver);
  fFrm->OnTrapReceiverCreated = [](TSnmpTrapReceiver& aReceiver) {
    aReceiver.OnEndpointSetup = [] { throw Exception("no sockets left"); };
  };
  fFrm->FormCreate();
  ASSERT_TRUE(SpinUntilLine(
      "Error: Client SNMP trap receiver closed with: SNMP receiver exception: no sockets left"))
      << ::testing::PrintToString(Lines());
  EXPECT_THAT(Lines(), Contains("Trace: Initialization done"));
}

TEST_F(ControllerTest, AReceiverThatStopsWhileConnectedClosesWithoutError) {
  Create(fReceiver);
  fFrm->FormCreate();
  ASSERT_TRUE(SpinUntilLine("Trace: Initialization done"));
  fFrm->TrapReceiver()->Terminate();
  ASSERT_TRUE(SpinUntilLine("Error: Client SNMP trap receiver closed without error."));
  // At shutdown the events are detached first: no second line.
  fFrm->FormDestroy();
  const auto lines = Lines();
  EXPECT_EQ(lines.back(), "Info:  Service closed");
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) {
                            return l.find("Client SNMP trap receiver closed") != l.npos;
                          }),
            1);
}

}  // namespace
}  // namespace tavo
