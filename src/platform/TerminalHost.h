#pragma once
// The UI host of a terminal: questions are asked on the terminal, passwords are typed without
// echo, progress is a bar on standard error redrawn in place. When standard input is not a
// terminal nobody can answer: every message box is printed as one line "varnex: TEXT" and
// takes its cancelling answer, and dialogs are closed.

#include <cstdio>

#include "platform/UiHost.h"

class TerminalHost : public IUiHost {
public:
    TerminalHost();
    TerminalHost(FILE* in, FILE* out, bool interactive, bool showProgress);

    int MessageBox(const std::string& text, unsigned type) override;
    int RunDialog(DialogModel& dialog) override;
    std::unique_ptr<IProgressView> CreateProgressView(const std::string& title, const std::string& text) override;

    void SetShowProgress(bool show) { m_showProgress = show; }

private:
    // Shows `prompt` and reads one line; masked: without echo, the prompt shown once echo is off.
    bool ReadLine(const std::string& prompt, std::string& line, bool masked);

    FILE* m_in;
    FILE* m_out;
    bool m_interactive;
    bool m_showProgress;
};

// "varnex: TEXT" (or "varnex: SUBJECT: TEXT") with line breaks written as \n, for logs and
// non-interactive runs.
std::string OneLineMessage(const std::string& text, const std::string& subject = {});
