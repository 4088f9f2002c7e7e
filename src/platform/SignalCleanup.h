#pragma once
// What the process must undo when SIGINT, SIGTERM or SIGHUP ends it: the temporary files it
// is writing are removed and a terminal left without echo gets its settings back; the signal
// is then raised again, so the process ends as the signal asks. While a prompt waits for the
// user, SIGINT only interrupts the wait: the prompt gives up and the program reports a
// stopped operation (InterruptSeen()).
//
// Everything the handler does is safe inside a signal handler: it works from fixed slots
// filled before the files exist and cleared after they are gone.

#include <termios.h>

// Installs the handler for each of the three signals whose disposition is the default (a
// host's own handler, or an ignored signal, is left alone). The first registration of a
// process does it (a forked child's too); whoever resets a signal's disposition afterwards
// calls this again to put the handler back.
void InstallSignalCleanup();

// A temporary file `name` in the open folder `folderFd` (which must stay open while the file
// is registered). Answers a slot for ForgetTempFile, or -1 for a name longer than a file name
// or when no memory is left for another slot (the file is then not removed by a signal).
// Costs no system call once the handler is installed.
int RegisterTempFile(int folderFd, const char* name);
void ForgetTempFile(int slot);

// Echo is switched off on `fd` for the life of this object, the terminal's settings are put
// back on every way out, including the three signals, and SIGINT interrupts the wait.
class EchoOff {
public:
    explicit EchoOff(int fd);
    ~EchoOff();
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    bool Active() const { return m_active; }

private:
    int m_fd;
    termios m_saved{};
    bool m_active = false;
};

// While an object of this kind lives, SIGINT interrupts the wait (a read answers EINTR)
// instead of ending the process.
class InterruptibleWait {
public:
    InterruptibleWait();
    ~InterruptibleWait();
    InterruptibleWait(const InterruptibleWait&) = delete;
    InterruptibleWait& operator=(const InterruptibleWait&) = delete;
};

// True once SIGINT interrupted a wait.
bool InterruptSeen();
