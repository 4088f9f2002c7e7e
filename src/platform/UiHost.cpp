#include "platform/UiHost.h"

#include <atomic>
#include <utility>

#include "platform/MessageBox.h"
#include "platform/TerminalHost.h"

namespace {

std::atomic<IUiHost*> g_installed{nullptr};
thread_local IUiHost* t_bound = nullptr;

IUiHost& DefaultHost() {
    static TerminalHost host;
    return host;
}

}  // namespace

IUiHost& UiHost() {
    if (t_bound != nullptr) return *t_bound;
    IUiHost* host = g_installed.load();
    return host ? *host : DefaultHost();
}

IUiHost* InstallUiHost(IUiHost* host) { return g_installed.exchange(host); }

IUiHost* BindThreadUiHost(IUiHost* host) { return std::exchange(t_bound, host); }

int AfxMessageBox(const std::string& text, unsigned type) { return UiHost().MessageBox(text, type); }

int CancellingAnswer(unsigned type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
        case MB_YESNOCANCEL:
        case MB_RETRYCANCEL:
            return IDCANCEL;
        case MB_YESNO:
            return IDNO;
        case MB_ABORTRETRYIGNORE:
            return IDABORT;
        default:
            return IDOK;
    }
}

int QuietHost::MessageBox(const std::string&, unsigned type) { return CancellingAnswer(type); }

std::unique_ptr<IProgressView> QuietHost::CreateProgressView(const std::string&, const std::string&) {
    struct NoView : IProgressView {
        void Update(int, const std::string&) override {}
        void Finish() override {}
    };
    return std::make_unique<NoView>();
}
