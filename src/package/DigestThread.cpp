#include "package/DigestThread.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>
#include <system_error>

#include "engine/Korvane.h"  // kStreamBlockSize

namespace {

constexpr size_t kRoom = kStreamBlockSize;
// Below this a hand-over costs about what the digest does.
constexpr size_t kInlineBelow = 16 * 1024;

}  // namespace

DigestThread::DigestThread(Update update) : m_update(std::move(update)) {}

DigestThread::~DigestThread() {
    if (m_thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    if (m_buffers) OPENSSL_cleanse(m_buffers.get(), 2 * kRoom);
}

bool DigestThread::Started() {
    if (m_thread.joinable()) return true;
    if (m_failedToStart) return false;
    try {
        m_buffers = std::make_unique_for_overwrite<unsigned char[]>(2 * kRoom);
        m_thread = std::thread(&DigestThread::Run, this);
        return true;
    } catch (const std::system_error&) {
        m_failedToStart = true;
        return false;
    }
}

void DigestThread::Feed(const unsigned char* data, size_t length) {
    if (length == 0) return;
    if (length < kInlineBelow || !Started()) {
        Wait();
        m_update(data, length);
        return;
    }
    while (length > 0) {
        const size_t piece = std::min(length, kRoom);
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_count < 2; });
        const size_t slot = m_head;
        lock.unlock();
        // The thread never touches a buffer it has not been handed.
        std::memcpy(m_buffers.get() + slot * kRoom, data, piece);
        lock.lock();
        m_lengths[slot] = piece;
        m_head ^= 1;
        ++m_count;
        lock.unlock();
        m_changed.notify_all();
        data += piece;
        length -= piece;
    }
}

void DigestThread::Wait() {
    if (!m_thread.joinable()) return;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_count == 0; });
}

void DigestThread::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_count > 0 || m_stop; });
        if (m_count == 0) return;  // stopping with nothing left
        const size_t slot = (m_head + 2 - m_count) % 2;
        const size_t length = m_lengths[slot];
        lock.unlock();
        m_update(m_buffers.get() + slot * kRoom, length);
        lock.lock();
        --m_count;
        m_changed.notify_all();
    }
}
