// Helpers of the GUI tests: run code once the event loop of a prompt or dialog is up, and a
// watchdog that cancels a prompt nothing answers, so that a broken test fails instead of
// hanging.
#pragma once

#include <QApplication>
#include <QTimer>
#include <functional>

#include "ui/ui.h"

namespace tolvane::test {

inline void later(std::function<void()> f) {
    QTimer::singleShot(0, qApp, std::move(f));
}

// Its time is well past QTRY's five seconds: on a loaded machine a real X server may take
// seconds to deliver a pointer warp, and a wait that QTRY would still win must not be cut.
struct Watchdog {
    explicit Watchdog(Ui& ui, int ms = 15000) {
        QObject::connect(&timer, &QTimer::timeout, &timer, [&ui] { ui.cancelPrompt(); });
        timer.setSingleShot(true);
        timer.start(ms);
    }
    bool fired() const { return !timer.isActive(); }
    QTimer timer;
};

}  // namespace tolvane::test
