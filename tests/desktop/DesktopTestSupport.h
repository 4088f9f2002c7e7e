#pragma once
// Waiting on the GUI thread for what a dialog or a worker does, and a pack run on a worker
// thread through a host, as the program runs one.

#include <QApplication>
#include <QElapsedTimer>
#include <atomic>
#include <filesystem>
#include <functional>
#include <string_view>
#include <thread>

#include "engine/EngineContext.h"
#include "engine/Korvane.h"
#include "logon/LogonStore.h"
#include "password/PasswordPackager.h"
#include "platform/UiHost.h"

// Packs `folder`/src/big.bin into big.bin.vrk beside it on a thread of its own with an engine of
// its own showing everything through `host` (its store in `folder`/home); the pack's result
// reaches `result` (which holds -2 until then).
inline std::thread PackBigFileOnWorker(IUiHost& host, const std::filesystem::path& folder, std::atomic<int>& result) {
    return std::thread([&host, folder, &result] {
        LogonStore store;
        if (!store.Open(folder / "home")) {
            result = -3;
            return;
        }
        EngineContext context{&host, &store, nullptr, nullptr};
        EngineCall call(context);
        CKorvane engine(context);
        PasswordPackRequest request;
        request.packagePath = folder / "src/big.bin.vrk";
        request.paths = {folder / "src/big.bin"};
        request.baseFolder = folder / "src";
        request.password = std::string_view("secret1");
        result = PackWithPassword(engine, request);
    });
}

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
