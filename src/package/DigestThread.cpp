#include "package/DigestThread.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>
#include <system_error>

#include "engine/Korvane.h"  // kStreamBlockSize

namespace {

constexpr size_t kRoom = kStreamBlockSize;

}  // namespace

DigestThread::DigestThread(Update update) : m_update(std::move(update)) {}

DigestThread::~DigestThread() {
    Wait();
    if (m_thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    for (size_t slot = 0; slot < 2; ++slot)
        if (m_touched[slot] > 0) OPENSSL_cleanse(Buffer(slot), m_touched[slot]);
}

unsigned char* DigestThread::Buffer(size_t slot) { return m_buffers.get() + slot * kRoom; }

void DigestThread::Feed(const unsigned char* data, size_t length) {
    while (length > 0) {
        if (!m_holding) {
            if (!m_buffers) m_buffers = std::make_unique_for_overwrite<unsigned char[]>(2 * kRoom);
            if (m_thread.joinable()) {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_changed.wait(lock, [this] { return m_count < 2; });
            }
            m_holding = true;
            m_fill = 0;
        }
        // The thread never touches a buffer it has not been handed.
        const size_t piece = std::min(length, kRoom - m_fill);
        std::memcpy(Buffer(m_head) + m_fill, data, piece);
        m_fill += piece;
        m_touched[m_head] = std::max(m_touched[m_head], m_fill);
        data += piece;
        length -= piece;
        if (m_fill == kRoom) HandOver();
    }
}

void DigestThread::HandOver() {
    m_holding = false;
    if (!m_thread.joinable() && !m_failedToStart && m_fill == kRoom) {
        try {
            m_thread = std::thread(&DigestThread::Run, this);
        } catch (const std::system_error&) {
            m_failedToStart = true;
        }
    }
    if (!m_thread.joinable()) {
        m_update(Buffer(m_head), m_fill);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lengths[m_head] = m_fill;
        m_head ^= 1;
        ++m_count;
    }
    m_changed.notify_all();
}

void DigestThread::Wait() {
    if (m_holding && m_fill > 0) HandOver();
    m_holding = false;
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
        m_update(Buffer(slot), length);
        lock.lock();
        --m_count;
        m_changed.notify_all();
    }
}
