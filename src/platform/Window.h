#pragma once
// Windows as message targets. An HWND is a pointer to an object that receives
// SendMessage(msg, wParam, lParam); the progress protocol's message numbers and payload are
// fixed because callers of the engine handle them.

#include <cstdint>

using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

enum : unsigned {
    WM_USER = 0x400,
    WM_PROGRESS_FILE = WM_USER + 100,   // 0x464: lParam points to a ProgressPayload
    WM_PROGRESS_START = WM_USER + 102,  // 0x466
    WM_PROGRESS_END = WM_USER + 103,    // 0x467
    WM_PROGRESS_CLOSE = WM_USER + 104,  // 0x468: the progress window is about to be destroyed
};

// Size limits are named with one word per meaning, everywhere in the engine:
//   ...Room  the bytes a buffer or a stored field gives a value. A text keeps its terminating
//            NUL in it, so the longest text is Room - 1 and a length read from a file must be
//            below it; a byte field may fill it (a length up to Room is accepted).
//   ...Max   the largest value accepted, inclusive: a count (recipients, files, attempts), a
//            length stored without terminator, an offset or a size. Max + 1 is refused.
// kMaxPath keeps the platform's name for the path buffer (MAX_PATH): it is a Room of 260.
constexpr int kMaxPath = 260;

// lParam of WM_PROGRESS_FILE: percentage, then the NUL-terminated path of the current file.
struct ProgressPayload {
    int32_t percent;
    char path[kMaxPath];
};
static_assert(sizeof(ProgressPayload) == 264);

class CWnd {
public:
    virtual ~CWnd() = default;
    virtual LRESULT SendMessage(unsigned msg, WPARAM wParam = 0, LPARAM lParam = 0) = 0;
};
using HWND = CWnd*;

// Sends to `wnd` when it is not null; the engine's notification window is optional.
inline LRESULT SendMessageTo(HWND wnd, unsigned msg, WPARAM wParam = 0, LPARAM lParam = 0) {
    return wnd ? wnd->SendMessage(msg, wParam, lParam) : 0;
}

// Queues a message for `wnd`; it is delivered by the next DoEvents on this thread.
void PostMessage(HWND wnd, unsigned msg, WPARAM wParam = 0, LPARAM lParam = 0);
// Delivers one queued message; false when the queue is empty.
bool DispatchOnePostedMessage();
// Drops queued messages for `wnd` (called when a window is destroyed).
void ForgetPostedMessages(HWND wnd);
