#pragma once
// SIGINT and SIGTERM, turned into a call on the event loop: the signal
// handler only writes to a socket the loop watches. Main thread only; once
// per process.

#include <QCoreApplication>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace tavo {

// aOnStop runs on the event loop for each signal (by default: aApp.quit()).
// aNotifier keeps the watch alive; drop it after the loop has ended.
void InstallStopSignals(QCoreApplication& aApp, std::unique_ptr<QSocketNotifier>& aNotifier,
                        std::function<void()> aOnStop = {});

}  // namespace tavo
