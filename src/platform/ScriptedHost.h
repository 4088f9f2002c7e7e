#pragma once
// A UI host that answers from a script and records everything it is shown. Tests install it
// to answer dialogs and to assert on the messages a user would see; the program uses it for
// non-interactive runs (--answers).
//
// Answers are kept per kind: "replace", "password", "folder", "file", "yes-no", "retry", or
// any dialog's Kind(). Each kind's answers are used in order; once they run out, the last
// one used is repeated.
// A dialog answer is a button's script word, or else the text for the dialog's entry field
// (its default button is then pressed). A question without an answer takes its cancelling
// answer.

#include <cstdio>
#include <deque>
#include <functional>
#include <map>

#include "platform/UiHost.h"
#include "platform/Window.h"

class ScriptedHost : public IUiHost {
public:
    struct Message {
        std::string text;
        unsigned type;  // buttons | icon
        int answer;
        std::string id;  // the message's id; empty for a box shown by text alone
    };
    struct Dialog {
        std::string kind;
        std::string title;
        std::vector<std::string> lines;
        int result;
    };
    struct WindowMessage {
        unsigned msg;
        WPARAM wParam;
        int percent;       // from the payload of WM_PROGRESS_FILE, else -1
        std::string path;  // from the payload of WM_PROGRESS_FILE
    };
    struct ProgressUpdate {
        std::string title;
        int percent;
        std::string path;
    };

    ScriptedHost() = default;
    // Parses "kind=value,kind=value"; false on a malformed entry.
    bool AddAnswers(const std::string& list);
    void AddAnswer(const std::string& kind, const std::string& value);
    // Called with each message box's text before it is answered: a test looks at the world as
    // it stands while the question waits.
    void OnMessage(std::function<void(const std::string& text)> hook) { m_onMessage = std::move(hook); }
    // Also print every message box to `echo` as PrintedMessage writes it.
    void EchoMessagesTo(FILE* echo) { m_echo = echo; }

    int MessageBox(const std::string& text, unsigned type) override { return NamedMessageBox({}, text, type); }
    int NamedMessageBox(std::string_view id, const std::string& text, unsigned type) override;
    int RunDialog(DialogModel& dialog) override;
    std::unique_ptr<IProgressView> CreateProgressView(const std::string& title, const std::string& text) override;

    // A window that records what it is sent (for the engine's notification window).
    HWND Window() { return &m_window; }

    const std::vector<Message>& Messages() const { return m_messages; }
    std::vector<std::string> MessageTexts() const;
    std::vector<std::string> MessageIds() const;
    const std::vector<Dialog>& Dialogs() const { return m_dialogs; }
    const std::vector<WindowMessage>& WindowMessages() const { return m_windowMessages; }
    const std::vector<ProgressUpdate>& Progress() const { return m_progress; }
    void Clear();

private:
    class RecordingWindow : public CWnd {
    public:
        explicit RecordingWindow(ScriptedHost& host) : m_host(host) {}
        LRESULT SendMessage(unsigned msg, WPARAM wParam, LPARAM lParam) override;

    private:
        ScriptedHost& m_host;
    };
    class RecordingProgress;

    // Next answer for `kind`, or false when the script has none.
    bool NextAnswer(const std::string& kind, std::string& value);

    std::map<std::string, std::deque<std::string>> m_answers;
    std::map<std::string, std::string> m_lastAnswer;  // repeated once a kind's answers run out
    std::vector<Message> m_messages;
    std::vector<Dialog> m_dialogs;
    std::vector<WindowMessage> m_windowMessages;
    std::vector<ProgressUpdate> m_progress;
    RecordingWindow m_window{*this};
    FILE* m_echo = nullptr;
    std::function<void(const std::string&)> m_onMessage;
};
