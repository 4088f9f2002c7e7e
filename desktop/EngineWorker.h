#pragma once
// One engine job on a thread of its own: the suite's store is opened there, and the job runs
// with an engine whose context has the desktop's host, so every question it asks comes to the
// GUI thread through the host. finished() (QThread's) tells the GUI thread the job has ended;
// Result() is then the job's answer.

#include <QThread>
#include <functional>
#include <string>

class CKorvane;
class LogonStore;
class QtUiHost;

class EngineWorker : public QThread {
    Q_OBJECT
public:
    using Job = std::function<int(CKorvane& engine, LogonStore& store)>;
    EngineWorker(QtUiHost& host, std::string home, Job job, QObject* parent = nullptr);

    int Result() const { return m_result; }

protected:
    void run() override;

private:
    QtUiHost& m_host;
    std::string m_home;
    Job m_job;
    int m_result = 0;
};
