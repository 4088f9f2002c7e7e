#include "platform/SignalCleanup.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>

namespace {

// Slots for the temporary files, in blocks: the first is always there, more are added (and
// kept for the life of the process) while files are registered, so that every file is
// removed however many a restore holds for its verdict. The handler only reads them.
constexpr int kBlockSlots = 256;
constexpr size_t kNameRoom = 256;
enum SlotState : int { kFree = 0, kFilling = 1, kLive = 2 };

struct TempSlot {
    std::atomic<int> state{kFree};
    int folderFd = -1;
    char name[kNameRoom] = {};
};

struct SlotBlock {
    TempSlot slots[kBlockSlots];
    std::atomic<int> taken{0};  // a hint: a block with all its slots taken is passed over
    std::atomic<SlotBlock*> next{nullptr};
};

SlotBlock g_firstBlock;

// The block holding slot number `slot` (counted across blocks), or null.
SlotBlock* BlockOf(int slot) {
    SlotBlock* block = &g_firstBlock;
    for (int i = slot / kBlockSlots; block != nullptr && i > 0; --i) block = block->next.load();
    return block;
}

// The terminal to put back; `g_terminalFd` is -1 when none is registered.
std::atomic<int> g_terminalFd{-1};
termios g_terminalSaved{};

std::atomic<int> g_waiting{0};
volatile sig_atomic_t g_interrupted = 0;

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Whether this process has installed the handler. A forked child starts over: it may set its
// own dispositions before its first temporary file.
std::atomic<bool> g_installed{false};
std::once_flag g_forkHook;

void CleanUpNow() {
    for (SlotBlock* block = &g_firstBlock; block != nullptr; block = block->next.load())
        for (TempSlot& slot : block->slots)
            if (slot.state.load() == kLive) ::unlinkat(slot.folderFd, slot.name, 0);
    int fd = g_terminalFd.load();
    if (fd >= 0) ::tcsetattr(fd, TCSANOW, &g_terminalSaved);
}

void OnSignal(int signal) {
    if (signal == SIGINT && g_waiting.load() > 0) {
        g_interrupted = 1;
        return;
    }
    int saved = errno;
    CleanUpNow();
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    ::sigemptyset(&standard.sa_mask);
    ::sigaction(signal, &standard, nullptr);
    // Delivered when the handler returns (the signal is blocked inside it).
    ::raise(signal);
    errno = saved;
}

}  // namespace

void InstallSignalCleanup() {
    std::call_once(g_forkHook, [] { ::pthread_atfork(nullptr, nullptr, [] { g_installed.store(false); }); });
    for (int signal : kSignals) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
        struct sigaction ours {};
        ours.sa_handler = OnSignal;
        ::sigemptyset(&ours.sa_mask);
        for (int other : kSignals) ::sigaddset(&ours.sa_mask, other);
        ours.sa_flags = 0;  // no restart: an interrupted prompt must see EINTR
        ::sigaction(signal, &ours, nullptr);
    }
    g_installed.store(true);
}

int RegisterTempFile(int folderFd, const char* name) {
    if (!g_installed.load()) InstallSignalCleanup();
    if (name == nullptr || std::strlen(name) >= kNameRoom) return -1;
    int first = 0;
    for (SlotBlock* block = &g_firstBlock;; first += kBlockSlots) {
        for (int i = 0; block->taken.load() < kBlockSlots && i < kBlockSlots; ++i) {
            TempSlot& slot = block->slots[i];
            int expected = kFree;
            if (!slot.state.compare_exchange_strong(expected, kFilling)) continue;
            block->taken.fetch_add(1);
            slot.folderFd = folderFd;
            std::strcpy(slot.name, name);
            slot.state.store(kLive);
            return first + i;
        }
        SlotBlock* next = block->next.load();
        if (next == nullptr) {
            // Every slot is taken: a new block goes behind the last (another thread's, when
            // it added one first).
            auto* added = new (std::nothrow) SlotBlock;
            if (added == nullptr) return -1;
            if (block->next.compare_exchange_strong(next, added))
                next = added;
            else
                delete added;
        }
        block = next;
    }
}

void ForgetTempFile(int slot) {
    SlotBlock* block = slot >= 0 ? BlockOf(slot) : nullptr;
    if (block == nullptr) return;
    int expected = kLive;
    if (block->slots[slot % kBlockSlots].state.compare_exchange_strong(expected, kFree)) block->taken.fetch_sub(1);
}

EchoOff::EchoOff(int fd) : m_fd(fd) {
    InstallSignalCleanup();
    if (::tcgetattr(fd, &m_saved) != 0) return;
    g_terminalSaved = m_saved;
    g_terminalFd.store(fd);
    termios quiet = m_saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    m_active = ::tcsetattr(fd, TCSAFLUSH, &quiet) == 0;
    if (!m_active) g_terminalFd.store(-1);
}

EchoOff::~EchoOff() {
    if (!m_active) return;
    ::tcsetattr(m_fd, TCSAFLUSH, &m_saved);
    g_terminalFd.store(-1);
}

InterruptibleWait::InterruptibleWait() {
    InstallSignalCleanup();
    g_waiting.fetch_add(1);
}

InterruptibleWait::~InterruptibleWait() { g_waiting.fetch_sub(1); }

bool InterruptSeen() { return g_interrupted != 0; }
