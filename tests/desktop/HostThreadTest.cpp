// The Qt host between threads: an engine's question from a worker thread is answered on the
// GUI thread, one asked on the GUI thread itself does not hang, a quitting program cancels,
// and Cancel in the progress window stops a pack with nothing left behind.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <thread>

#include "DesktopTestSupport.h"
#include "ModelDialog.h"
#include "ProgressWindow.h"
#include "QtUiHost.h"
#include "TestSupport.h"
#include "dialogs/ReplaceDialog.h"
#include "engine/EngineContext.h"
#include "engine/Korvane.h"
#include "logon/LogonStore.h"
#include "password/PasswordPackager.h"
#include "platform/MessageBox.h"

namespace {

ModelDialog* OpenDialog() { return qobject_cast<ModelDialog*>(QApplication::activeModalWidget()); }

}  // namespace

TEST(DesktopHost, WorkerQuestionIsAnsweredOnTheGuiThread) {
    TempDir dir;
    WriteFile(dir / "a.txt", "old");
    QtUiHost host;
    std::atomic<int> answer{-1};
    bool shownOnGuiThread = false;
    // The dialog runs its own loop on this thread: it is answered from a timer of that loop.
    QTimer press;
    QObject::connect(&press, &QTimer::timeout, [&] {
        if (ModelDialog* dialog = OpenDialog()) {
            shownOnGuiThread = QThread::currentThread() == QApplication::instance()->thread();
            dialog->Button(CDlgReplace::kIdReplaceAll)->click();
        }
    });
    press.start(10);
    std::thread worker([&] {
        CDlgReplace question((dir / "a.txt").c_str(), "20240102030405", 5);
        answer = host.RunDialog(question);
    });
    ASSERT_TRUE(WaitUntil([&] { return answer != -1; }));
    EXPECT_TRUE(shownOnGuiThread);
    worker.join();
    EXPECT_EQ(answer, kReplaceAll);
}

TEST(DesktopHost, GuiThreadQuestionDoesNotHang) {
    QtUiHost host;
    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box) box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(host.MessageBox("replace it?", MB_YESNO | MB_ICONQUESTION), IDNO);
}

TEST(DesktopHost, QuittingProgramGivesTheCancellingAnswer) {
    TempDir dir;
    WriteFile(dir / "a.txt", "old");
    QtUiHost host;
    host.Shutdown();
    int box = 0, replace = -1;
    std::thread worker([&] {
        box = host.MessageBox("retry?", MB_RETRYCANCEL | MB_ICONEXCLAMATION);
        CDlgReplace question((dir / "a.txt").c_str(), "20240102030405", 5);
        replace = host.RunDialog(question);
    });
    worker.join();  // nothing is shown: the worker must not wait for the GUI thread
    EXPECT_EQ(box, IDCANCEL);
    EXPECT_EQ(replace, kReplaceKeep);
}

// Cancel is pressed the moment the progress window shows, before the first block: the pack
// stops there and leaves neither the package nor a temporary file.
TEST(DesktopHost, CancelInProgressWindowStopsPackAndLeavesNothing) {
    TempDir dir;
    std::filesystem::create_directories(dir / "src");
    WriteFile(dir / "src/big.bin", RandomBytes(64u << 20));
    QtUiHost host;
    struct CancelOnShow : QObject {
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Show)
                if (auto* window = qobject_cast<ProgressWindow*>(watched)) window->CancelButton()->click();
            return false;
        }
    } cancel;
    qApp->installEventFilter(&cancel);
    std::atomic<int> result{-2};
    std::thread worker = PackBigFileOnWorker(host, dir.Path(), result);
    ASSERT_TRUE(WaitUntil([&] { return result != -2; }));
    worker.join();
    qApp->removeEventFilter(&cancel);
    EXPECT_EQ(result, 0);
    EXPECT_LT(host.BytesDone(), 2u * 307200) << "stopped within one block";
    EXPECT_FALSE(std::filesystem::exists(dir / "src/big.bin.vrk"));
    EXPECT_TRUE(TempFilesBelow(dir / "src").empty());
    EXPECT_EQ(std::filesystem::file_size(dir / "src/big.bin"), 64u << 20);
}
