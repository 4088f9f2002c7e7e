#pragma once
// The plaintext digest of a signed or verified pass on a thread of its own, beside the cipher.
// What is fed is copied into one of two buffers, so the caller may reuse or wipe its bytes as
// soon as Feed returns; a buffer goes to the thread when it is full, so the small files of a
// tree are digested together, and the digest of one file runs on while the next is read,
// enciphered and written. Wait() returns once every byte fed is digested: whoever finishes or
// reads the engine's digest waits first, so it is never touched by two threads at once. A pass
// that never fills a buffer, and a thread that cannot start, digest on the caller's thread, in
// order.

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
    // Digests what is still fed and not digested, then ends the thread.
    ~DigestThread();
    DigestThread(const DigestThread&) = delete;
    DigestThread& operator=(const DigestThread&) = delete;

    void Feed(const unsigned char* data, size_t length);
    void Wait();

private:
    void Run();
    unsigned char* Buffer(size_t slot);
    // Gives the buffer being filled to the thread (or digests it here when there is none).
    void HandOver();

    Update m_update;
    std::unique_ptr<unsigned char[]> m_buffers;  // two of kRoom; plaintext, wiped at the end
    size_t m_touched[2] = {};                    // how much of each buffer has held bytes
    // The caller's side: whether it holds buffer m_head (free of the thread), and how full.
    bool m_holding = false;
    size_t m_fill = 0;
    bool m_failedToStart = false;
    // Shared with the thread under m_mutex.
    size_t m_lengths[2] = {};
    size_t m_head = 0, m_count = 0;  // next buffer to fill; buffers handed over and not yet digested
    bool m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread;
};
