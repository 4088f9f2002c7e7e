#include "platform/FlushBehind.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

void FlushBehind::Written(int fd, uint64_t count) {
    if ((m_gathered += count) < kStep || m_running.load(std::memory_order_acquire)) return;
    if (m_thread.joinable()) m_thread.join();
    m_gathered = 0;
    m_running.store(true, std::memory_order_relaxed);
    try {
        m_thread = std::thread([this, fd] {
            if (::fdatasync(fd) != 0 && errno != EINVAL) {
                int none = 0;
                m_error.compare_exchange_strong(none, errno);
            }
            m_running.store(false, std::memory_order_release);
        });
    } catch (const std::system_error&) {
        m_running.store(false, std::memory_order_relaxed);  // the final flush does it all
    }
}

int FlushBehind::Finish() {
    if (m_thread.joinable()) m_thread.join();
    m_gathered = 0;
    return m_error.exchange(0);
}
