#pragma once
// The plaintext digest of a signed or verified pass on a thread of its own, beside the cipher:
// each block is copied into one of two buffers that the thread digests while the caller
// enciphers the next. Wait() returns once every byte fed is digested; the content stream waits
// at the end of each file, before anyone can read the digest, so the engine's digest is never
// touched by two threads at once. Small pieces, and a thread that cannot start, are digested on
// the caller's thread, in order.

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class DigestThread {
public:
    using Update = std::function<void(const unsigned char* data, size_t length)>;

    explicit DigestThread(Update update);
    ~DigestThread();
    DigestThread(const DigestThread&) = delete;
    DigestThread& operator=(const DigestThread&) = delete;

    void Feed(const unsigned char* data, size_t length);
    void Wait();

private:
    void Run();
    bool Started();

    Update m_update;
    std::unique_ptr<unsigned char[]> m_buffers;  // two of kRoom; plaintext, wiped at the end
    size_t m_lengths[2] = {};
    size_t m_head = 0, m_count = 0;  // next buffer to fill; buffers fed and not yet digested
    bool m_stop = false, m_failedToStart = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread;
};
