#include "dialogs/MessagePump.h"

#include "platform/UiHost.h"
#include "platform/Window.h"

extern "C" void DoEvents() {
    UiHost().PumpEvents();
    while (DispatchOnePostedMessage()) {
    }
}
