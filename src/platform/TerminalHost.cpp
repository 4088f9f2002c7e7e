#include "platform/TerminalHost.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <memory>

#include "platform/MessageBox.h"
#include "platform/PrintableText.h"
#include "platform/SecretInput.h"
#include "platform/SignalCleanup.h"
#include "platform/TerminalMessages.h"
#include "platform/Text.h"

namespace {

struct Choice {
    const MessageDef& label;
    int answer;
};

std::vector<Choice> ChoicesFor(unsigned type) {
    using namespace msg::terminal;
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return {{Ok, IDOK}, {Cancel, IDCANCEL}};
        case MB_ABORTRETRYIGNORE:
            return {{Abort, IDABORT}, {Retry, IDRETRY}, {Ignore, IDIGNORE}};
        case MB_YESNOCANCEL:
            return {{Yes, IDYES}, {No, IDNO}, {Cancel, IDCANCEL}};
        case MB_YESNO:
            return {{Yes, IDYES}, {No, IDNO}};
        case MB_RETRYCANCEL:
            return {{Retry, IDRETRY}, {Cancel, IDCANCEL}};
        default:
            return {{Ok, IDOK}};
    }
}

// Matches a typed answer against choice labels by number or by a case-insensitive prefix.
int Pick(const std::string& typed, const std::vector<std::string>& labels) {
    if (typed.empty()) return -1;
    if (std::all_of(typed.begin(), typed.end(), ::isdigit)) {
        size_t n = std::stoul(typed);
        return n >= 1 && n <= labels.size() ? static_cast<int>(n - 1) : -1;
    }
    for (size_t i = 0; i < labels.size(); ++i) {
        const std::string& l = labels[i];
        if (StartsWithNoCase(l, typed)) return static_cast<int>(i);
    }
    return -1;
}

// Display columns of a UTF-8 text: CJK and other wide characters take two columns.
int Columns(const std::string& text) {
    int cols = 0;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        cols += len >= 3 ? 2 : 1;
        i += len;
    }
    return cols;
}

// The end of text that fits in `room` columns, cut at a character boundary, led by "...".
std::string TailWithin(const std::string& text, int room) {
    if (Columns(text) <= room) return text;
    if (room <= 3) return {};
    size_t start = text.size();
    int cols = 0;
    while (start > 0) {
        size_t prev = start - 1;
        while (prev > 0 && (static_cast<unsigned char>(text[prev]) & 0xC0) == 0x80) --prev;
        int w = Columns(text.substr(prev, start - prev));
        if (cols + w > room - 3) break;
        cols += w;
        start = prev;
    }
    return "..." + text.substr(start);
}

int TerminalWidth(FILE* out) {
    winsize ws{};
    if (ioctl(fileno(out), TIOCGWINSZ, &ws) == 0 && ws.ws_col >= 20) return ws.ws_col;
    return 80;
}

// "512 B", "1.5 KiB", "12.0 MiB", "3.2 GiB".
std::string Amount(double bytes) {
    const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    size_t unit = 0;
    while (bytes >= 1024 && unit + 1 < std::size(units)) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
    return text;
}

}  // namespace

// One line redrawn in place: "TITLE [#####.....]  42% 12.0 MiB/256.0 MiB 85.3 MiB/s PATH",
// kept within the terminal's width so that the carriage return always lands on the line's own
// start. The bar moves per file and, between files, with the bytes the block loops report: of
// the whole job when its size is known, else of the files done.
class TerminalHost::Progress : public IProgressView {
public:
    Progress(TerminalHost& host, std::string title)
        : m_host(host), m_title(std::move(title)), m_outer(host.m_progress) {
        m_host.m_progress = this;
    }
    ~Progress() override {
        Finish();
        if (m_host.m_progress == this) m_host.m_progress = m_outer;
    }

    void Update(int percent, const std::string& path) override {
        m_percent = std::clamp(percent, 0, 100);
        m_path = path;
        Draw();
    }
    // Bytes moved: redrawn at most five times a second.
    void Tick() {
        auto now = std::chrono::steady_clock::now();
        if (m_drawn && now - m_drawnAt < std::chrono::milliseconds(200)) return;
        Draw();
    }
    void Finish() override {
        if (m_drawn) {
            std::fprintf(m_host.m_out, "\n");
            std::fflush(m_host.m_out);
        }
        m_drawn = false;
    }

private:
    void Draw() {
        const uint64_t done = m_host.m_bytesDone, total = m_host.m_jobBytes;
        int percent = total > 0 ? static_cast<int>(std::min<uint64_t>(done, total) * 100 / total) : m_percent;
        constexpr int kWidth = 24;
        int filled = percent * kWidth / 100;
        std::string bar(static_cast<size_t>(filled), '#');
        bar.append(static_cast<size_t>(kWidth - filled), '.');
        char shown[8];
        std::snprintf(shown, sizeof shown, "%3d%%", percent);
        std::string head = m_title + " [" + bar + "] " + shown + " ";
        if (done > 0) {
            head += Amount(static_cast<double>(done)) + (total > 0 ? "/" + Amount(static_cast<double>(total)) : "");
            double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_host.m_started).count();
            if (seconds >= 0.5) head += " " + Amount(static_cast<double>(done) / seconds) + "/s";
            head += " ";
        }
        int room = TerminalWidth(m_host.m_out) - 1 - Columns(head);
        std::fprintf(m_host.m_out, "\r\033[K%s%s", head.c_str(), TailWithin(EscapeText(m_path), room).c_str());
        std::fflush(m_host.m_out);
        m_drawn = true;
        m_drawnAt = std::chrono::steady_clock::now();
    }

    TerminalHost& m_host;
    std::string m_title;
    Progress* m_outer;  // the view this one stands in front of, drawn again once it is gone
    int m_percent = 0;
    std::string m_path;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_drawnAt;
};

namespace {

class SilentProgress : public IProgressView {
public:
    void Update(int, const std::string&) override {}
    void Finish() override {}
};

}  // namespace

namespace {

// A message's lines as a terminal shows them: each escaped (carriage returns and empty lines
// dropped), every line after the first indented by two spaces. Names a file supplied cannot
// drive the terminal, and a line break inside them only starts another indented line, never a
// line of its own that could pass for a message.
std::string IndentedLines(const std::string& text) {
    std::string out;
    bool first = true;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line;
        for (size_t i = start; i < end; ++i)
            if (text[i] != '\r') line += text[i];
        start = end + 1;
        if (line.empty()) continue;
        out += (first ? "" : "\n  ") + EscapeText(line);
        first = false;
    }
    return out;
}

}  // namespace

std::string PrintedMessage(const std::string& text, const std::string& subject) {
    std::string out = "varnex: ";
    if (!subject.empty()) out += EscapeText(subject) + ": ";
    return out + IndentedLines(text);
}

std::string AnswerKindOf(unsigned type) {
    switch (type & MB_TYPEMASK) {
        case MB_ABORTRETRYIGNORE:
        case MB_RETRYCANCEL:
            return "retry";
        case MB_OK:
            return {};
        default:
            return "yes-no";
    }
}

std::string NoAnswerLine(const std::string& kind) {
    static const char* const kScriptable[] = {"replace", "yes-no", "retry", "folder", "file"};
    for (const char* k : kScriptable)
        if (kind == k) return "varnex: " + MessageText(msg::terminal::NoAnswer, kind);
    return {};
}

TerminalHost::TerminalHost() : TerminalHost(stdin, stderr, isatty(fileno(stdin)) != 0, isatty(fileno(stderr)) != 0) {}

TerminalHost::TerminalHost(FILE* in, FILE* out, bool interactive, bool showProgress)
    : m_in(in), m_out(out), m_interactive(interactive), m_showProgress(showProgress) {}

bool TerminalHost::ReadLine(const std::string& prompt, SecretText& line, bool masked) {
    line.clear();
    // Ctrl-C while the user is asked stops the operation; echo comes back on every way out.
    InterruptibleWait wait;
    std::unique_ptr<EchoOff> quiet;
    if (masked) quiet = std::make_unique<EchoOff>(fileno(m_in));
    // The prompt only once echo is off: what is typed right after it is never shown.
    std::fprintf(m_out, "%s", prompt.c_str());
    std::fflush(m_out);
    // Straight from the descriptor, as every secret is read: no stdio buffer holds the entry.
    bool any = ReadSecretLine(fileno(m_in), line);
    if (quiet && quiet->Active()) {
        quiet.reset();
        std::fprintf(m_out, "\n");
    }
    return any && !InterruptSeen();
}

bool TerminalHost::ReadLine(const std::string& prompt, std::string& line) {
    SecretText typed;
    bool ok = ReadLine(prompt, typed, false);
    line = typed.view();
    return ok;
}

int TerminalHost::MessageBox(const std::string& text, unsigned type) {
    if (!m_interactive) {
        std::fprintf(m_out, "%s\n", PrintedMessage(text, Subject()).c_str());
        std::string hint = NoAnswerLine(AnswerKindOf(type));
        if (!hint.empty()) std::fprintf(m_out, "%s\n", hint.c_str());
        return CancellingAnswer(type);
    }
    std::fprintf(m_out, "%s\n", IndentedLines(text).c_str());
    std::vector<Choice> choices = ChoicesFor(type);
    if (choices.size() == 1) return choices[0].answer;
    // The buttons in the reader's language; their default words answer too, as in a script.
    std::vector<std::string> labels, words;
    for (const Choice& c : choices) {
        labels.push_back(MessageText(c.label));
        words.push_back(c.label.text);
    }
    for (;;) {
        std::string prompt;
        for (size_t i = 0; i < labels.size(); ++i)
            prompt += (i ? "  [" : "[") + std::to_string(i + 1) + "] " + labels[i];
        std::string line;
        if (!ReadLine(prompt + ": ", line)) return CancellingAnswer(type);
        int i = Pick(line, labels);
        if (i < 0) i = Pick(line, words);
        if (i >= 0) return choices[static_cast<size_t>(i)].answer;
    }
}

namespace {

// A caption as a terminal shows it: without the "&" that marks a key in a window.
std::string PlainCaption(const std::string& caption) {
    std::string out;
    for (char c : caption)
        if (c != '&') out += c;
    return out;
}

// The entry prompt: the dialog's label, with a colon unless it already ends in one.
std::string EntryPrompt(const DialogModel& dialog) {
    std::string label = dialog.InputLabel();
    if (label.empty()) return "> ";
    bool colon = label.back() == ':' || (label.size() >= 3 && label.compare(label.size() - 3, 3, "：") == 0);
    label += colon ? " " : ": ";
    if (!dialog.MaskInput() && !dialog.Input().empty()) label += "[" + dialog.Input() + "] ";
    return label;
}

}  // namespace

int TerminalHost::RunDialog(DialogModel& dialog) {
    if (!m_interactive) {
        // Nobody can answer: say what was asked and take the cancelling answer.
        std::vector<std::string> lines = dialog.Lines();
        std::fprintf(m_out, "%s\n",
                     PrintedMessage(dialog.Title() + (lines.empty() ? "" : ": " + lines[0]), Subject()).c_str());
        std::string hint = NoAnswerLine(dialog.Kind());
        if (!hint.empty()) std::fprintf(m_out, "%s\n", hint.c_str());
        std::string word = dialog.CancellingAnswer();
        for (const DialogButton& b : dialog.Buttons())
            if (!word.empty() && b.answer == word && dialog.CanPress(b.id)) return dialog.Press(b.id);
        return dialog.Close();
    }
    std::fprintf(m_out, "== %s ==\n", EscapeText(dialog.Title()).c_str());
    for (const std::string& line : dialog.Lines()) std::fprintf(m_out, "%s\n", EscapeText(line).c_str());
    if (dialog.HasInput()) {
        for (;;) {
            SecretText line;
            if (!ReadLine(EntryPrompt(dialog), line, dialog.MaskInput())) return dialog.Close();
            // Enter on a proposed, visible entry takes the proposal.
            if (!(line.empty() && !dialog.MaskInput() && !dialog.Input().empty())) dialog.SetInput(line.view());
            int ok = dialog.DefaultButton();
            if (ok != 0 && dialog.CanPress(ok)) return dialog.Press(ok);
            // An entry the dialog cannot take, left empty: offer the buttons (cancel among them).
            if (ok == 0 || line.empty()) break;
            // Asked again, with the reason the entry was not taken.
            if (std::string why = dialog.EntryRefusal(); !why.empty()) std::fprintf(m_out, "%s\n", why.c_str());
        }
    }
    std::vector<DialogButton> buttons = dialog.Buttons();
    std::vector<std::string> labels, words;
    for (const DialogButton& b : buttons) {
        labels.push_back(PlainCaption(b.caption));
        words.push_back(b.answer);
    }
    for (;;) {
        std::string prompt;
        for (size_t i = 0; i < labels.size(); ++i)
            prompt += (i ? "  [" : "[") + std::to_string(i + 1) + "] " + labels[i];
        std::string line;
        if (!ReadLine(prompt + ": ", line)) return dialog.Close();
        // A script word ("yes", "none", ...) answers as it does in a script.
        int i = -1;
        for (size_t w = 0; w < words.size() && i < 0; ++w)
            if (!line.empty() && words[w] == line) i = static_cast<int>(w);
        if (i < 0) i = Pick(line, labels);
        if (i < 0) i = Pick(line, words);
        if (i >= 0 && dialog.CanPress(buttons[static_cast<size_t>(i)].id))
            return dialog.Press(buttons[static_cast<size_t>(i)].id);
    }
}

std::unique_ptr<IProgressView> TerminalHost::CreateProgressView(const std::string& title, const std::string&) {
    if (!m_showProgress) return std::make_unique<SilentProgress>();
    if (m_progress == nullptr && m_bytesDone == 0) m_started = std::chrono::steady_clock::now();
    return std::make_unique<Progress>(*this, title);
}

void TerminalHost::WorkDone(uint64_t bytes) {
    m_bytesDone += bytes;
    if (m_progress) m_progress->Tick();
}
