#include "dialogs/ProgressDialog.h"

#include <algorithm>
#include <cstring>

#include "platform/Text.h"

CDlgProgress::CDlgProgress(const std::string& title, const std::string& text)
    : m_view(UiHost().CreateProgressView(title, text)) {}

CDlgProgress::~CDlgProgress() {
    ForgetPostedMessages(this);
    CloseWindow();
}

void CDlgProgress::CloseWindow() {
    if (m_view) m_view->Finish();
    m_view.reset();
}

LRESULT CDlgProgress::SendMessage(unsigned msg, WPARAM, LPARAM lParam) {
    if (msg == WM_PROGRESS_FILE && lParam != 0 && m_view) {
        const auto* payload = reinterpret_cast<const ProgressPayload*>(lParam);
        m_bar = std::clamp(static_cast<int>(payload->percent), 0, 100);
        m_percentText = Format("%d%%", static_cast<int>(payload->percent));
        m_pathText.assign(payload->path, strnlen(payload->path, sizeof payload->path));
        m_view->Update(payload->percent, m_pathText);
    } else if (msg == WM_PROGRESS_CLOSE) {
        CloseWindow();
    }
    return 0;
}
