#pragma once
// The progress window of a bulk operation. It is a window: the operation sends it
// WM_PROGRESS_FILE with a ProgressPayload for each file, and WM_PROGRESS_CLOSE just before it
// ends it. The UI host presents it through an IProgressView.
//
//     CDlgProgress progress("解密文件", "正在解密文件...");
//     ProgressPayload p {percent, {}};  // path copied in, NUL-terminated
//     SendMessageTo(&progress, WM_PROGRESS_FILE, 0, reinterpret_cast<LPARAM>(&p));
//     ...
//     SendMessageTo(&progress, WM_PROGRESS_CLOSE);
//
// The window lives for one operation; destroying it closes it if still open.

#include <memory>
#include <string>

#include "platform/UiHost.h"
#include "platform/Window.h"

class CDlgProgress : public CWnd {
public:
    // Shows the window through the installed host with its title and text line.
    CDlgProgress(const std::string& title, const std::string& text);
    ~CDlgProgress() override;
    CDlgProgress(const CDlgProgress&) = delete;
    CDlgProgress& operator=(const CDlgProgress&) = delete;

    LRESULT SendMessage(unsigned msg, WPARAM wParam = 0, LPARAM lParam = 0) override;

    // What the window shows: the bar (0..100), the percentage text "N%", the path text.
    int Bar() const { return m_bar; }
    const std::string& PercentText() const { return m_percentText; }
    const std::string& PathText() const { return m_pathText; }
    bool IsOpen() const { return m_view != nullptr; }

private:
    void CloseWindow();

    std::unique_ptr<IProgressView> m_view;
    int m_bar = 0;
    std::string m_percentText;
    std::string m_pathText;
};
