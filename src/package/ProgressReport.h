#pragma once
// The progress of one package pass: its own progress window (unless silent) and the caller's
// optional notification window get the start, per-file and end messages.

#include <memory>
#include <string>

#include "platform/Window.h"

class CDlgProgress;

class ProgressReport {
public:
    // Shows the progress window (unless silent) and sends WM_PROGRESS_START to `notify`.
    ProgressReport(const std::string& title, const std::string& text, HWND notify, bool silent);
    // Closes the window and sends WM_PROGRESS_END (unless silent), then pumps messages twice.
    ~ProgressReport();
    ProgressReport(const ProgressReport&) = delete;
    ProgressReport& operator=(const ProgressReport&) = delete;

    // percent = done * 100 / total, truncated; sent with the path to the window, then to
    // `notify`, and messages are pumped.
    void Report(int done, int total, const std::string& path);

private:
    std::unique_ptr<CDlgProgress> m_window;
    HWND m_notify;
    bool m_silent;
};
