// Not a test but a measurement, run by hand:
//     build/varnex_desktop_tests --gtest_also_run_disabled_tests --gtest_filter='*GuiStall*'
// The longest time the GUI thread's event loop goes without turning while a worker packs 1 GiB
// through the Qt host (the progress window open, its bar and rate updating).

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "DesktopTestSupport.h"
#include "QtUiHost.h"
#include "TestSupport.h"
#include "engine/EngineContext.h"
#include "engine/Korvane.h"
#include "logon/LogonStore.h"
#include "password/PasswordPackager.h"

TEST(DesktopMeasure, DISABLED_LongestGuiStallDuringOneGibPack) {
    TempDir dir;
    std::filesystem::create_directories(dir / "src");
    {
        const std::string block = RandomBytes(1u << 20);
        FILE* out = std::fopen((dir / "src/big.bin").c_str(), "wb");
        ASSERT_NE(out, nullptr);
        for (int i = 0; i < 1024; ++i) std::fwrite(block.data(), 1, block.size(), out);
        std::fclose(out);
    }
    QtUiHost host;
    host.SetJobBytes(1ull << 30);
    qint64 longest = 0;
    QElapsedTimer sinceTick;
    sinceTick.start();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { longest = std::max(longest, sinceTick.restart()); });
    tick.start(1);
    std::atomic<int> result{-2};
    QElapsedTimer total;
    total.start();
    std::thread worker = PackBigFileOnWorker(host, dir.Path(), result);
    while (result == -2) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    worker.join();
    EXPECT_EQ(result, 1);
    std::printf("1 GiB pack in %.1f s; longest GUI stall %lld ms\n", total.elapsed() / 1000.0,
                static_cast<long long>(longest));
}
