#include "platform/ScriptedHost.h"

#include <algorithm>
#include <cstring>

#include "platform/MessageBox.h"
#include "platform/TerminalHost.h"

namespace {

std::vector<int> ButtonsOf(unsigned type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return {IDOK, IDCANCEL};
        case MB_ABORTRETRYIGNORE:
            return {IDABORT, IDRETRY, IDIGNORE};
        case MB_YESNOCANCEL:
            return {IDYES, IDNO, IDCANCEL};
        case MB_YESNO:
            return {IDYES, IDNO};
        case MB_RETRYCANCEL:
            return {IDRETRY, IDCANCEL};
        default:
            return {IDOK};
    }
}

// The button a script word presses on a box of this type; 0 when the box has no such button.
// "yes" and "no" also press OK and Cancel where a box asks with those.
int MessageAnswer(const std::string& word, unsigned type) {
    auto has = [buttons = ButtonsOf(type)](int id) {
        return std::find(buttons.begin(), buttons.end(), id) != buttons.end();
    };
    int id = 0;
    if (word == "ok" || word == "yes")
        id = has(IDYES) || word == "ok" ? (word == "ok" ? IDOK : IDYES) : IDOK;
    else if (word == "no")
        id = has(IDNO) ? IDNO : IDCANCEL;
    else if (word == "cancel")
        id = IDCANCEL;
    else if (word == "abort")
        id = IDABORT;
    else if (word == "retry")
        id = IDRETRY;
    else if (word == "ignore")
        id = IDIGNORE;
    return has(id) ? id : 0;
}

}  // namespace

class ScriptedHost::RecordingProgress : public IProgressView {
public:
    RecordingProgress(ScriptedHost& host, std::string title) : m_host(host), m_title(std::move(title)) {}
    void Update(int percent, const std::string& path) override {
        m_host.m_progress.push_back({m_title, percent, path});
    }
    void Finish() override {}

private:
    ScriptedHost& m_host;
    std::string m_title;
};

bool ScriptedHost::AddAnswers(const std::string& list) {
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!item.empty()) {
            size_t eq = item.find('=');
            if (eq == std::string::npos || eq == 0) return false;
            AddAnswer(item.substr(0, eq), item.substr(eq + 1));
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

void ScriptedHost::AddAnswer(const std::string& kind, const std::string& value) { m_answers[kind].push_back(value); }

bool ScriptedHost::NextAnswer(const std::string& kind, std::string& value) {
    auto it = m_answers.find(kind);
    if (it != m_answers.end() && !it->second.empty()) {
        value = it->second.front();
        it->second.pop_front();
        m_lastAnswer[kind] = value;
        return true;
    }
    auto last = m_lastAnswer.find(kind);
    if (last == m_lastAnswer.end()) return false;
    value = last->second;
    return true;
}

int ScriptedHost::NamedMessageBox(std::string_view id, const std::string& text, unsigned type) {
    if (m_echo) std::fprintf(m_echo, "%s\n", PrintedMessage(text, Subject()).c_str());
    if (m_onMessage) m_onMessage(text);
    int answer = CancellingAnswer(type);
    std::string kind = AnswerKindOf(type), word;
    if (!kind.empty() && NextAnswer(kind, word) && MessageAnswer(word, type) != 0) {
        answer = MessageAnswer(word, type);
    } else if (!kind.empty() && m_echo) {
        std::fprintf(m_echo, "%s\n", NoAnswerLine(kind).c_str());
    }
    m_messages.push_back({text, type, answer, std::string(id)});
    return answer;
}

int ScriptedHost::RunDialog(DialogModel& dialog) {
    Dialog record{dialog.Kind(), dialog.Title(), dialog.Lines(), 0};
    std::string word;
    bool answered = NextAnswer(dialog.Kind(), word);
    if (!answered) {
        word = dialog.CancellingAnswer();
        if (m_echo) {
            // Say what was asked and which answer was missing.
            std::string question = dialog.Title() + (record.lines.empty() ? "" : ": " + record.lines[0]);
            std::fprintf(m_echo, "%s\n", PrintedMessage(question, Subject()).c_str());
            std::string hint = NoAnswerLine(dialog.Kind());
            if (!hint.empty()) std::fprintf(m_echo, "%s\n", hint.c_str());
        }
    }
    int result = 0;
    bool done = false;
    for (const DialogButton& b : dialog.Buttons()) {
        if (!word.empty() && b.answer == word && dialog.CanPress(b.id)) {
            result = dialog.Press(b.id);
            done = true;
            break;
        }
    }
    if (!done && answered && dialog.HasInput()) {
        dialog.SetInput(word);
        int ok = dialog.DefaultButton();
        if (ok != 0 && dialog.CanPress(ok)) {
            result = dialog.Press(ok);
            done = true;
        }
    }
    if (!done) result = dialog.Close();
    record.result = result;
    m_dialogs.push_back(std::move(record));
    return result;
}

std::unique_ptr<IProgressView> ScriptedHost::CreateProgressView(const std::string& title, const std::string&) {
    return std::make_unique<RecordingProgress>(*this, title);
}

LRESULT ScriptedHost::RecordingWindow::SendMessage(unsigned msg, WPARAM wParam, LPARAM lParam) {
    WindowMessage m{msg, wParam, -1, {}};
    if (msg == WM_PROGRESS_FILE && lParam != 0) {
        const auto* payload = reinterpret_cast<const ProgressPayload*>(lParam);
        m.percent = payload->percent;
        m.path.assign(payload->path, strnlen(payload->path, sizeof payload->path));
    }
    m_host.m_windowMessages.push_back(std::move(m));
    return 0;
}

std::vector<std::string> ScriptedHost::MessageTexts() const {
    std::vector<std::string> texts;
    for (const Message& m : m_messages) texts.push_back(m.text);
    return texts;
}

std::vector<std::string> ScriptedHost::MessageIds() const {
    std::vector<std::string> ids;
    for (const Message& m : m_messages) ids.push_back(m.id);
    return ids;
}

void ScriptedHost::Clear() {
    m_messages.clear();
    m_dialogs.clear();
    m_windowMessages.clear();
    m_progress.clear();
}
