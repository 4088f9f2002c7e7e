#include "platform/UiHost.h"

#include "platform/MessageBox.h"
#include "platform/TerminalHost.h"

namespace {

IUiHost*& Installed() {
    static IUiHost* host = nullptr;
    return host;
}

IUiHost& DefaultHost() {
    static TerminalHost host;
    return host;
}

}  // namespace

IUiHost& UiHost() {
    IUiHost* host = Installed();
    return host ? *host : DefaultHost();
}

IUiHost* InstallUiHost(IUiHost* host) {
    IUiHost* previous = Installed();
    Installed() = host;
    return previous;
}

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
