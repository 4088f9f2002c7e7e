#include "EngineWorker.h"

#include "Messages.h"
#include "QtUiHost.h"
#include "engine/EngineContext.h"
#include "engine/Korvane.h"
#include "logon/LogonStore.h"

EngineWorker::EngineWorker(QtUiHost& host, std::string home, Job job, QObject* parent)
    : QThread(parent), m_host(host), m_home(std::move(home)), m_job(std::move(job)) {}

void EngineWorker::run() {
    LogonStore store;
    EngineContext context{&m_host, &store, nullptr, nullptr};
    try {
        EngineCall call(context);
        if (!store.Open(m_home)) {
            ShowMessage(msg::desktop::StoreFailed, store.LastError());
            m_result = 0;
            return;
        }
        CKorvane engine(context);
        m_result = m_job(engine, store);
    } catch (...) {
        m_result = EntryFailed(context, 0);
    }
}
