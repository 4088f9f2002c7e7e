#include "package/ProgressReport.h"

#include <cstdio>

#include "dialogs/MessagePump.h"
#include "dialogs/ProgressDialog.h"

ProgressReport::ProgressReport(const std::string& title, const std::string& text, HWND notify, bool silent)
    : m_notify(notify), m_silent(silent) {
    if (!silent) m_window = std::make_unique<CDlgProgress>(title, text);
    SendMessageTo(m_notify, WM_PROGRESS_START);
}

ProgressReport::~ProgressReport() {
    if (!m_silent) {
        SendMessageTo(m_window.get(), WM_PROGRESS_CLOSE);
        m_window.reset();
        SendMessageTo(m_notify, WM_PROGRESS_END);
    }
    DoEvents();
    DoEvents();
}

void ProgressReport::Report(int done, int total, const std::string& path) {
    if (m_silent) return;
    ProgressPayload payload{};
    payload.percent = total > 0 ? static_cast<int32_t>(static_cast<double>(done) * 100.0 / total) : 0;
    std::snprintf(payload.path, sizeof payload.path, "%s", path.c_str());
    SendMessageTo(m_window.get(), WM_PROGRESS_FILE, 0, reinterpret_cast<LPARAM>(&payload));
    SendMessageTo(m_notify, WM_PROGRESS_FILE, 0, reinterpret_cast<LPARAM>(&payload));
    DoEvents();
}
