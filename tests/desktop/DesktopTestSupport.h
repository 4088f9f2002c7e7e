#pragma once
// Waiting on the GUI thread for what a dialog or a worker does.

#include <QApplication>
#include <QElapsedTimer>
#include <functional>

// Processes events until `done` holds or ten seconds pass; whether it held.
inline bool WaitUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 10000) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}
