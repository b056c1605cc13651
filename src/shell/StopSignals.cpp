#include "shell/StopSignals.h"

#include "platform/StopSignals.h"

namespace tavo {

void InstallStopSignals(QCoreApplication& aApp, std::unique_ptr<QSocketNotifier>& aNotifier,
                        std::function<void()> aOnStop) {
  const int handle = InstallStopSignalHandle();
  if (handle < 0)
    return;
  if (!aOnStop)
    aOnStop = [&aApp] { aApp.quit(); };
  aNotifier = std::make_unique<QSocketNotifier>(handle, QSocketNotifier::Read);
  QObject::connect(aNotifier.get(), &QSocketNotifier::activated, &aApp,
                   [onStop = std::move(aOnStop)] {
                     DrainStopSignalHandle();
                     onStop();
                   });
}

}  // namespace tavo
