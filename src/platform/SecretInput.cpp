#include "platform/SecretInput.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "platform/SignalCleanup.h"

namespace {

// SIGINT is held back while a line is read and let through only inside the wait for input, so
// a Ctrl-C that comes just before the wait ends it at once instead of being missed (a read
// entered after the handler ran would wait for the next key).
class SigintHeld {
public:
    SigintHeld() {
        sigset_t held;
        ::sigemptyset(&held);
        ::sigaddset(&held, SIGINT);
        ::pthread_sigmask(SIG_BLOCK, &held, &m_before);
    }
    ~SigintHeld() { ::pthread_sigmask(SIG_SETMASK, &m_before, nullptr); }
    SigintHeld(const SigintHeld&) = delete;
    SigintHeld& operator=(const SigintHeld&) = delete;

    // Waits until fd has input (or its end, or an error, which the read then reports); false
    // once SIGINT interrupted a prompt's wait.
    bool WaitForInput(int fd) const {
        for (;;) {
            if (InterruptSeen()) return false;
            pollfd ready{fd, POLLIN, 0};
            int n = ::ppoll(&ready, 1, nullptr, &m_before);
            if (n > 0 || (n < 0 && errno != EINTR)) return true;
        }
    }

private:
    sigset_t m_before{};
};

}  // namespace

bool ReadSecretLine(int fd, SecretText& line) {
    line.clear();
    const SigintHeld held;
    char c = 0;
    bool any = false;
    bool carriage = false;  // a '\r' read and not yet known to end the line
    while (held.WaitForInput(fd) && ::read(fd, &c, 1) == 1) {
        any = true;
        if (c == '\n') break;
        if (carriage) line.push_back('\r');
        carriage = c == '\r';
        if (!carriage) line.push_back(c);
    }
    OPENSSL_cleanse(&c, 1);
    return any;
}
