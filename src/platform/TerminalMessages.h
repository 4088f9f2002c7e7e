#pragma once
// What the terminal's host says of its own: the buttons of a message box as it offers them
// and the line that tells a script which answer a question wanted. Their default texts are
// English, as the program's own lines are.

#include "platform/Messages.h"

namespace msg::terminal {
inline constexpr char kMessageSubsystem[] = "terminal";

// clang-format off
#define VARNEX_TERMINAL_MESSAGES(M) \
    M(Ok, "OK", MB_OK) \
    M(Cancel, "Cancel", MB_OK) \
    M(Abort, "Abort", MB_OK) \
    M(Retry, "Retry", MB_OK) \
    M(Ignore, "Ignore", MB_OK) \
    M(Yes, "Yes", MB_OK) \
    M(No, "No", MB_OK) \
    M(NoAnswer, "no answer for this question (give --answers %s=...)", MB_OK)
// clang-format on
VARNEX_MESSAGE_TABLE(VARNEX_TERMINAL_MESSAGES)
}  // namespace msg::terminal
