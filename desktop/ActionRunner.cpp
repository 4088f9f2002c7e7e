#include "ActionRunner.h"

#include <QApplication>

#include "EngineWorker.h"
#include "QtUiHost.h"

ActionRunner::ActionRunner(QtUiHost& host, std::string home, QObject* parent)
    : QObject(parent), m_host(host), m_home(std::move(home)) {
    // Files dropped on a progress window: the same action again, once this one has ended.
    m_host.SetDropHandler([this](std::vector<std::string> files) { Enqueue(m_action, std::move(files)); });
}

ActionRunner::~ActionRunner() {
    m_host.SetDropHandler(nullptr);
    Finish();
}

void ActionRunner::Enqueue(const std::string& action, std::vector<std::string> files) {
    if (!FindAction(action) || files.empty()) return;
    m_queue.emplace_back(action, std::move(files));
    if (!Busy()) StartNext();
}

void ActionRunner::StartNext() {
    if (m_queue.empty()) {
        emit idle();
        return;
    }
    m_action = m_queue.front().first;
    m_files = std::move(m_queue.front().second);
    m_queue.pop_front();
    m_host.ClearStop();
    const Action run = FindAction(m_action);
    m_worker = std::make_unique<EngineWorker>(m_host, m_home, [this, run](CKorvane& engine, LogonStore& store) {
        ActionJob job{m_host, engine, store, m_files, m_answers};
        return run(job);
    });
    connect(m_worker.get(), &QThread::finished, this, &ActionRunner::Ended, Qt::QueuedConnection);
    m_worker->start();
}

void ActionRunner::Ended() {
    if (!m_worker) return;
    m_worker->wait();
    const int result = m_worker->Result();
    m_worker.reset();
    if (result == 0)
        m_result = 0;
    else if (result == -1 && m_result == 1)
        m_result = -1;
    StartNext();
}

void ActionRunner::Finish() {
    m_queue.clear();
    if (!m_worker) return;
    m_host.Shutdown();
    while (!m_worker->wait(20)) QApplication::processEvents();
    Ended();
}
