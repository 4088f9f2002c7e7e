#include "engine/EngineContext.h"

#include <exception>
#include <new>

#include "engine/Korvane.h"
#include "engine/Messages.h"
#include "logon/ILogon.h"
#include "logon/KeyDevice.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "platform/UiHost.h"

EngineCall::EngineCall(const EngineContext& context) : m_bound(context) {
    if (context.host != nullptr) m_host = BindThreadUiHost(context.host);
    if (context.logon != nullptr) m_logon = BindThreadLogonLibrary(context.logon);
    if (context.keyDevices != nullptr) m_keyDevices = logon::BindThreadKeyDevices(context.keyDevices);
    if (context.catalogue != nullptr) m_catalogue = BindThreadMessageCatalogue(context.catalogue);
}

EngineCall::~EngineCall() {
    if (m_bound.host != nullptr) BindThreadUiHost(m_host);
    if (m_bound.logon != nullptr) BindThreadLogonLibrary(m_logon);
    if (m_bound.keyDevices != nullptr) logon::BindThreadKeyDevices(m_keyDevices);
    if (m_bound.catalogue != nullptr) BindThreadMessageCatalogue(m_catalogue);
}

int EntryFailed(const EngineContext& context, int failure) noexcept {
    try {
        EngineCall call(context);
        try {
            throw;
        } catch (const CFileException& error) {
            // A file call made outside the checked I/O (a length or position query).
            CKorvane::ShowReadError(error);
        } catch (const std::bad_alloc&) {
            ShowMessage(msg::engine::OutOfMemory);
        } catch (const std::exception& error) {
            ShowMessage(msg::engine::InternalErrorText, error.what());
        } catch (...) {
            ShowMessage(msg::engine::InternalError);
        }
    } catch (...) {
        // Showing the message failed as well (no memory left for its text): the result is all
        // the caller gets.
    }
    return failure;
}

void EntryFailed(const EngineContext& context) noexcept { EntryFailed(context, 0); }
