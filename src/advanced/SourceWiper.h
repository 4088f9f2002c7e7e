#pragma once
// The last step of encrypting a file in place, run on a thread of its own beside the packing of
// the batch's next file: the package and its folder entry flushed to the disk, and only then the
// source wiped (if it is still the very file the package holds). One file is in hand at a time.
// Nothing here shows a message: the engine collects each outcome on its own thread, before it
// hands over the next file and when the batch ends, and says what it means.

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/FileIdentity.h"
#include "platform/FileLock.h"
#include "platform/Overwrite.h"

class SourceWiper {
public:
    struct Job {
        std::string source;
        std::string package;
        ExclusiveFileLock lock;  // held from before the package was begun until the wipe ends
        bool sealedOne = false;  // the pass read exactly one file, whose identity is `sealed`
        FileIdentity sealed{};
    };
    struct Outcome {
        std::string source;
        FileIdentity file{};   // the file the package holds, as it was read (when known)
        int flushError = 0;    // the package could not be made durable: the source was kept
        bool changed = false;  // the source is not the file the package holds: it was kept
        WipeOutcome wipe = WipeOutcome::kWiped;
        int wipeError = 0;
        std::string leftAs;
    };

    SourceWiper();
    ~SourceWiper();  // waits for the file in hand
    SourceWiper(const SourceWiper&) = delete;
    SourceWiper& operator=(const SourceWiper&) = delete;

    bool Busy() const { return m_busy; }
    // Hands over a file; nothing may be in hand (Finish it first).
    void Start(Job job);
    // Waits for the file in hand and answers what became of it.
    Outcome Finish();

    // The step itself, on the calling thread.
    static Outcome Settle(Job& job);

private:
    void Run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<Job> m_job;          // handed over, not yet taken up
    std::optional<Outcome> m_outcome;  // done, not yet collected
    bool m_busy = false;               // engine side: a file is in hand
    bool m_stop = false;
    std::thread m_thread;
};
