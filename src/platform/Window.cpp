#include "platform/Window.h"

#include <algorithm>
#include <deque>

namespace {

struct Posted {
    HWND wnd;
    unsigned msg;
    WPARAM wParam;
    LPARAM lParam;
};

thread_local std::deque<Posted> g_queue;

}  // namespace

void PostMessage(HWND wnd, unsigned msg, WPARAM wParam, LPARAM lParam) {
    if (wnd) g_queue.push_back({wnd, msg, wParam, lParam});
}

bool DispatchOnePostedMessage() {
    if (g_queue.empty()) return false;
    Posted p = g_queue.front();
    g_queue.pop_front();
    p.wnd->SendMessage(p.msg, p.wParam, p.lParam);
    return true;
}

void ForgetPostedMessages(HWND wnd) {
    std::erase_if(g_queue, [wnd](const Posted& p) { return p.wnd == wnd; });
}
