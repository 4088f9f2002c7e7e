#include "advanced/SourceWiper.h"

#include "drivers/Scrubber.h"
#include "platform/FileSystem.h"

SourceWiper::SourceWiper() : m_thread([this] { Run(); }) {}

SourceWiper::~SourceWiper() {
    if (m_busy) Finish();
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void SourceWiper::Start(Job job) {
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_job.emplace(std::move(job));
    }
    m_busy = true;
    m_changed.notify_all();
}

SourceWiper::Outcome SourceWiper::Finish() {
    std::unique_lock<std::mutex> hold(m_mutex);
    m_changed.wait(hold, [this] { return m_outcome.has_value(); });
    Outcome outcome = std::move(*m_outcome);
    m_outcome.reset();
    m_busy = false;
    return outcome;
}

void SourceWiper::Run() {
    std::unique_lock<std::mutex> hold(m_mutex);
    for (;;) {
        m_changed.wait(hold, [this] { return m_stop || m_job.has_value(); });
        if (!m_job) return;
        Job job = std::move(*m_job);
        m_job.reset();
        hold.unlock();
        Outcome outcome = Settle(job);
        // The lock goes only after the wipe: a second run waiting on it then finds the file gone.
        job.lock = ExclusiveFileLock();
        hold.lock();
        m_outcome.emplace(std::move(outcome));
        m_changed.notify_all();
    }
}

SourceWiper::Outcome SourceWiper::Settle(Job& job) {
    Outcome outcome;
    outcome.source = job.source;
    outcome.file = job.sealed;
    // The original goes only once its package is on the disk under its final name.
    int error = FlushNamedFile(job.package);
    int folderError = FlushNamedFile(FolderOfPath(job.package));
    outcome.flushError = error != 0 ? error : folderError;
    if (outcome.flushError != 0) return outcome;
    FileIdentity now;
    const int held = job.lock.Fd();
    if (held < 0 || !job.sealedOne || !IdentityOf(held, &now) || !SameFileUnchanged(job.sealed, now)) {
        outcome.changed = true;
        return outcome;
    }
    outcome.wipe = ScrubHeldFile(job.source, held, &outcome.wipeError, &outcome.leftAs);
    return outcome;
}
