#pragma once
// Runs actions one after another, each on an engine thread of its own: the files of a drop made
// while one runs wait for it. Answers given once in the run (one package or one per file) are
// kept across the actions. idle() says the queue is empty and nothing runs.

#include <QObject>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "Actions.h"

class EngineWorker;
class QtUiHost;

class ActionRunner : public QObject {
    Q_OBJECT
public:
    ActionRunner(QtUiHost& host, std::string home, QObject* parent = nullptr);
    ~ActionRunner() override;

    // action must be one FindAction knows; files absolute.
    void Enqueue(const std::string& action, std::vector<std::string> files);
    bool Busy() const { return m_worker != nullptr; }
    // The action running now, else the last one run.
    const std::string& CurrentAction() const { return m_action; }
    // The worst result so far: 1 all done, 0 something failed, -1 something was stopped.
    int Result() const { return m_result; }
    // The program quits: what waits is dropped, the running action's questions are cancelled
    // and its loops asked to stop; returns once it has ended (events are still delivered).
    void Finish();

signals:
    void idle();

private:
    void StartNext();
    void Ended();

    QtUiHost& m_host;
    std::string m_home;
    RunAnswers m_answers;
    std::deque<std::pair<std::string, std::vector<std::string>>> m_queue;
    std::vector<std::string> m_files;  // the running action's
    std::string m_action;
    std::unique_ptr<EngineWorker> m_worker;
    int m_result = 1;
};
