#pragma once
// The UI host of a terminal: questions are asked on the terminal (read from the input's file
// descriptor, never through its stdio buffer), passwords are typed without echo, progress is a
// bar on standard error redrawn in place. When standard input is not a terminal nobody can
// answer: every message box is printed as "varnex: TEXT" (see PrintedMessage) and takes its
// cancelling answer, and dialogs are closed.

#include <chrono>
#include <cstdint>
#include <cstdio>

#include "platform/Secret.h"
#include "platform/UiHost.h"

class TerminalHost : public IUiHost {
public:
    TerminalHost();
    TerminalHost(FILE* in, FILE* out, bool interactive, bool showProgress);

    int MessageBox(const std::string& text, unsigned type) override;
    int RunDialog(DialogModel& dialog) override;
    std::unique_ptr<IProgressView> CreateProgressView(const std::string& title, const std::string& text) override;

    void WorkDone(uint64_t bytes) override;

    void SetShowProgress(bool show) { m_showProgress = show; }
    // The bytes the whole job moves, when known beforehand: the bar then stands for them.
    void SetJobBytes(uint64_t bytes) { m_jobBytes = bytes; }

private:
    class Progress;

    // Shows `prompt` and reads one line from the input's descriptor, byte by byte, into a
    // wiping buffer; masked: without echo, the prompt shown once echo is off.
    bool ReadLine(const std::string& prompt, SecretText& line, bool masked);
    // An answer that is no secret (a button's word or number).
    bool ReadLine(const std::string& prompt, std::string& line);

    FILE* m_in;
    FILE* m_out;
    bool m_interactive;
    bool m_showProgress;
    Progress* m_progress = nullptr;  // the innermost progress line shown, if any
    uint64_t m_bytesDone = 0;
    uint64_t m_jobBytes = 0;
    std::chrono::steady_clock::time_point m_started;
};

// "varnex: TEXT" (or "varnex: SUBJECT: TEXT"), for logs and non-interactive runs: the text's
// first line on that line, each further line on a line of its own indented by two spaces, blank
// lines left out, so that every line that does not start with two spaces starts a message. No
// final line break.
std::string PrintedMessage(const std::string& text, const std::string& subject = {});
// The --answers kind that answers a message box of this type; empty for a plain OK box.
std::string AnswerKindOf(unsigned type);
// The line that tells a script how to answer a question of this kind nobody answered; empty
// for a kind --answers cannot give (a password comes from a password file instead).
std::string NoAnswerLine(const std::string& kind);
