#pragma once
// The engine context: what an engine object works with outside itself. The UI host it shows
// its messages and dialogs through, the logon library it asks for users, keys and settings,
// the key-device factory the library makes key devices with, and the catalogue its texts
// come from. An engine object is given one at construction and keeps it for its life.
//
// The engine reaches these through UiHost(), LogonLibrary(), logon::KeyDevices() and
// Messages(), which answer the context of the engine call running on the calling thread:
// every exported entry point binds its object's context for the length of the call
// (EngineCall). So two engines with two hosts run on two threads at once, each seeing only
// its own; outside any call, and for a slot the context leaves empty, the installed one
// answers (the host and library installed when the call runs, the standard factory, the
// installed or the environment's catalogue).
//
// The directory groups slot is read only by the object's own shared encryption (a share path
// that names a group of the organisation's directory); it is not bound to the thread. Left
// empty, such a share cannot be encrypted for.
//
// The context owns nothing: whoever makes the host, library, factory and catalogue keeps
// them alive while an engine holds them. One host and one library serve one thread at a time.

#include "platform/MessageCatalogue.h"

class IUiHost;
class ILogon;
class IDirectoryGroups;
namespace logon {
class IKeyDeviceFactory;
}

struct EngineContext {
    IUiHost* host = nullptr;  // null: each slot follows the installed one (see above)
    ILogon* logon = nullptr;
    const logon::IKeyDeviceFactory* keyDevices = nullptr;
    const IMessageCatalogue* catalogue = nullptr;
    IDirectoryGroups* directoryGroups = nullptr;
};

// Binds a context to the calling thread for one scope and puts back what was bound before;
// calls nest (an entry point calling another binds again). Empty slots keep what the thread
// has bound, so an engine made inside another engine's call works with the caller's host.
class EngineCall {
public:
    explicit EngineCall(const EngineContext& context);
    ~EngineCall();
    EngineCall(const EngineCall&) = delete;
    EngineCall& operator=(const EngineCall&) = delete;

private:
    EngineContext m_bound;  // the slots this call bound
    IUiHost* m_host = nullptr;
    ILogon* m_logon = nullptr;
    const logon::IKeyDeviceFactory* m_keyDevices = nullptr;
    const IMessageCatalogue* m_catalogue = nullptr;
};

// The guard of every exported entry point. An entry is a function-try-block that binds its
// object's context and hands whatever escapes to EntryFailed:
//
//     int CKorvane::Operation(...) try {
//         EngineCall call(m_context);
//         ...
//     } catch (...) {
//         return EntryFailed(m_context, 0);
//     }
//
// EntryFailed must be called from a catch handler. It shows the failure once, through the
// context's host (a file error as the checked reader shows one, exhausted memory, or an
// internal error with its text), and answers `failure`, the entry's failure result.
int EntryFailed(const EngineContext& context, int failure) noexcept;
void EntryFailed(const EngineContext& context) noexcept;
