#pragma once
// The UI host of the desktop: message boxes, dialogs and progress windows as Qt widgets.
//
// The host lives on the GUI thread; engines call it from worker threads. Every question is a
// blocking queued call to the GUI thread (a direct call when already on it: a blocking queued
// call from a thread to itself never returns), so the engine's call waits until the person
// answers. Progress goes the other way without waiting. Once the program is quitting, or when
// the host is gone before the call is delivered, a question takes its cancelling answer; the
// GUI thread never waits on a worker that may be asking.
//
// Cancel in a progress window sets the stop flag the engine's block loops poll.

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/UiHost.h"

class QtUiHost : public QObject, public IUiHost {
    Q_OBJECT
public:
    // Make it on the GUI thread.
    explicit QtUiHost(QObject* parent = nullptr);
    ~QtUiHost() override;

    int MessageBox(const std::string& text, unsigned type) override { return NamedMessageBox({}, text, type); }
    int NamedMessageBox(std::string_view id, const std::string& text, unsigned type) override;
    int RunDialog(DialogModel& dialog) override;
    std::unique_ptr<IProgressView> CreateProgressView(const std::string& title, const std::string& text) override;
    void WorkDone(uint64_t bytes) override { m_bytes += bytes; }
    bool StopRequested() const override { return m_stop; }

    void RequestStop() { m_stop = true; }
    void ClearStop() { m_stop = false; }
    // The bytes of the job the next progress windows stand for; 0: unknown.
    void SetJobBytes(uint64_t bytes) { m_jobBytes = bytes; }
    uint64_t BytesDone() const { return m_bytes; }
    // The window the dialogs belong to; may be null.
    void SetParentWindow(QWidget* window) { m_parent = window; }
    // Files dropped on a progress window go to `dropped` (GUI thread); null: not taken.
    void SetDropHandler(std::function<void(std::vector<std::string>)> dropped) { m_dropped = std::move(dropped); }
    // From now on every question takes its cancelling answer and every loop is asked to stop.
    void Shutdown();

private:
    // Runs `ask` on the GUI thread and answers its result; nothing when it could not be asked.
    template <typename Ask>
    std::optional<int> OnGui(Ask ask);

    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_closing{false};
    std::atomic<uint64_t> m_bytes{0};
    std::atomic<uint64_t> m_jobBytes{0};
    QPointer<QWidget> m_parent;
    std::function<void(std::vector<std::string>)> m_dropped;
    // Password entries asked in a row with the same prompt (GUI thread only).
    std::string m_lastPrompt;
    int m_tries = 0;
};
