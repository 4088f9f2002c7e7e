// Demo steps of the operation dialogs: the progress bar of a bulk operation and the replace
// question asked before a restored file overwrites an existing one.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "Demo.h"
#include "dialogs/MessagePump.h"
#include "dialogs/ProgressDialog.h"
#include "dialogs/ReplaceDialog.h"
#include "engine/Korvane.h"
#include "logon/LogonStore.h"
#include "platform/ScriptedHost.h"

namespace {

bool ShowProgress(DemoContext& demo) {
    const char* names[] = {"报告.doc", "photos/IMG_0001.jpg", "photos/IMG_0002.jpg", "notes.txt", "账目/2003.xls"};
    if (!isatty(fileno(stderr))) std::printf("  %s\n", MessageText(msg::cli_demo::NoBar).c_str());
    std::fflush(stdout);
    CDlgProgress progress("加密文件", "正在加密文件...");
    const int steps = static_cast<int>(std::size(names));
    for (int i = 0; i < steps; ++i) {
        ProgressPayload payload{(i + 1) * 100 / steps, {}};
        std::snprintf(payload.path, sizeof payload.path, "%s/%s", demo.folder.c_str(), names[i]);
        PostMessage(&progress, WM_PROGRESS_FILE, 0, reinterpret_cast<LPARAM>(&payload));
        DoEvents();
        // Slow enough to watch; the engine itself never waits.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    std::string last = progress.PercentText();
    SendMessageTo(&progress, WM_PROGRESS_CLOSE);
    std::printf("  %s\n", MessageText(msg::cli_demo::WindowEnded, last, progress.PathText()).c_str());
    return last == "100%";
}

bool ShowReplaceQuestion(DemoContext& demo) {
    std::string path = demo.folder + "/合同.txt";
    {
        CFile out(path, CFile::modeCreate | CFile::modeWrite);
        out.Write(std::string(1023, 'x').data(), 1023);
    }
    LogonStore logon;
    if (!logon.Open(demo.home)) return false;
    ScopedLogonLibrary installed(&logon);
    CKorvane engine;
    engine.SetFileStatus(path.c_str(), "20030105090703", "", 0x20);

    CDlgReplace dialog(path.c_str(), "20240301120000", 1536);
    std::printf("  %s\n", dialog.Title().c_str());
    for (const std::string& line : dialog.Lines()) std::printf("    %s\n", line.c_str());
    std::printf("   ");
    for (const DialogButton& b : dialog.Buttons()) {
        std::string caption = b.caption;
        std::erase(caption, '&');
        std::printf(" [%s]", caption.c_str());
    }
    std::printf("\n");

    ScriptedHost host;
    ScopedUiHost scripted(host);
    host.AddAnswers("replace=none,replace=cancel");
    int none = MsgReplace(path.c_str(), "20240301120000", 1536);
    int cancel = MsgReplace(path.c_str(), "20240301120000", 1536);
    std::printf("  %s\n", MessageText(msg::cli_demo::ReplaceAnswers, none, cancel).c_str());
    return none == kReplaceNone && cancel == kReplaceCancel;
}

}  // namespace

VARNEX_DEMO_STEP(40, msg::cli_demo::TitleProgress, ShowProgress);
VARNEX_DEMO_STEP(41, msg::cli_demo::TitleReplaceQuestion, ShowReplaceQuestion);
