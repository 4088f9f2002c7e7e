#include "dialogs/MessagePump.h"

#include "engine/EngineContext.h"
#include "platform/UiHost.h"
#include "platform/Window.h"

extern "C" void DoEvents() try {
    UiHost().PumpEvents();
    while (DispatchOnePostedMessage()) {
    }
} catch (...) {
    EntryFailed(EngineContext{});
}
