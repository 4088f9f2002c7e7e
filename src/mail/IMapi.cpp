#include "mail/IMapi.h"

#include <cstdlib>
#include <new>
#include <string>
#include <string_view>

#include "engine/EngineContext.h"
#include "logon/ILogon.h"
#include "mail/MailComposer.h"
#include "mail/MailOutbox.h"
#include "mail/Messages.h"
#include "platform/MessageBox.h"
#include "platform/Module.h"

std::unique_ptr<CModule> CIMapi::m_hInstMail;
int CIMapi::m_isMailAvail = -1;

namespace {

constexpr const char* kMailModule = "mapi";

// The module's notice, shown by name: the one it gives (a mail left in the outbox, then its
// path) as that message; any other as it came, through the mail table's lookup.
void ShowNotice(const char* text) {
    const std::string_view notice = text ? text : "";
    const std::string_view outbox = kMailLeftInOutbox;
    if (notice.starts_with(outbox)) {
        ShowLeftInOutbox(std::string(notice.substr(outbox.size())).c_str());
        return;
    }
    const std::string copy(notice);
    ShowMessage(FindMessage(msg::mail::kTable, copy.c_str()));
}

}  // namespace

CIMapi::CIMapi() {
    m_originator.ulRecipClass = MAPI_ORIG;
    m_message.lpOriginator = &m_originator;
}

CIMapi::~CIMapi() = default;

CIMapi::CIMapi(const CIMapi& other) { *this = other; }

CIMapi& CIMapi::operator=(const CIMapi& other) {
    if (this == &other) return *this;
    m_message = other.m_message;
    m_originator = other.m_originator;
    m_error = other.m_error;
    m_text = other.m_text;
    m_sendMail = other.m_sendMail;
    m_logon = other.m_logon;
    m_logoff = other.m_logoff;
    m_configure = other.m_configure;
    m_recips = other.m_recips;
    m_files = other.m_files;
    Relink();
    return *this;
}

// The message's pointers into this object's own members and arrays.
void CIMapi::Relink() {
    m_message.lpOriginator = &m_originator;
    m_message.nRecipCount = static_cast<MapiUlong>(m_recips.size());
    m_message.lpRecips = m_recips.empty() ? nullptr : m_recips.data();
    m_message.nFileCount = static_cast<MapiUlong>(m_files.size());
    m_message.lpFiles = m_files.empty() ? nullptr : m_files.data();
}

void CIMapi::Subject(const char* subject) { m_message.lpszSubject = const_cast<char*>(subject); }

void CIMapi::Text(const char* text) { m_text = text ? text : ""; }

void CIMapi::From(const char* name) { m_originator.lpszName = const_cast<char*>(name); }

int CIMapi::AllocNewTo() {
    try {
        m_recips.push_back(MapiRecipDesc{});
    } catch (const std::bad_alloc&) {
        return 0;
    }
    Relink();
    return 1;
}

int CIMapi::AddRecipient(const char* name, MapiUlong recipientClass, unsigned int error) {
    if (!AllocNewTo()) {
        m_error = error;
        return 0;
    }
    m_recips.back().ulRecipClass = recipientClass;
    m_recips.back().lpszName = const_cast<char*>(name);
    return 1;
}

int CIMapi::To(const char* name) { return AddRecipient(name, MAPI_TO, 3); }

int CIMapi::Cc(const char* name) { return AddRecipient(name, MAPI_CC, 4); }

int CIMapi::Attach(const char* path, const char* name) {
    try {
        MapiFileDesc file{};
        file.lpszPathName = const_cast<char*>(path);
        file.lpszFileName = const_cast<char*>(name);
        m_files.push_back(file);
    } catch (const std::bad_alloc&) {
        m_error = 5;
        return 0;
    }
    Relink();
    return 1;
}

unsigned int CIMapi::Error() {
    unsigned int error = m_error;
    m_error = 0;
    return error;
}

int CIMapi::HasEmail() try {
    if (m_isMailAvail == -1) {
        ILogon* logon = LogonLibrary();
        int configured = logon ? std::atoi(logon->GetOption("MAIL", "MAPI", "0").c_str()) : 0;
        m_isMailAvail = configured != 0 && !CModule::FindModule(kMailModule).empty() ? 1 : 0;
    }
    return m_isMailAvail;
} catch (...) {
    return EntryFailed(EngineContext{}, 0);
}

int CIMapi::LoadLibraryA() try {
    if (!m_hInstMail) {
        auto module = std::make_unique<CModule>();
        if (!module->Load(kMailModule)) {
            ShowMessage(msg::mail::MapiMissing);
            m_error = 1;
            return 0;
        }
        m_hInstMail = std::move(module);
    }
    m_sendMail = m_hInstMail->Proc<LPMAPISENDMAIL>("MAPISendMail");
    m_logon = m_hInstMail->Proc<LPMAPILOGON>("MAPILogon");
    m_logoff = m_hInstMail->Proc<LPMAPILOGOFF>("MAPILogoff");
    m_configure = m_hInstMail->Proc<LPVARNEXMAPICONFIGURE>("VarnexMapiConfigure");
    if (!m_sendMail || !m_logon || !m_logoff) {
        ShowMessage(msg::mail::MapiCannotSend);
        m_error = 2;
        return 0;
    }
    return 1;
} catch (...) {
    return EntryFailed(EngineContext{}, 0);
}

void CIMapi::FreeLibarary() {
    m_hInstMail.reset();
    m_sendMail = nullptr;
    m_logon = nullptr;
    m_logoff = nullptr;
    m_configure = nullptr;
}

int CIMapi::Send(unsigned long /*flags*/) try {
    // Objects that loaded the module before another one unloaded it hold stale entry points.
    if (!m_hInstMail || !m_sendMail || !m_logon || !m_logoff) return 0;
    // One space per attachment at the end of the text; each attachment stands in for one.
    size_t length = m_text.size();
    for (size_t i = 0; i < m_files.size(); ++i) {
        m_files[i].nPosition = static_cast<MapiUlong>(length + i);
        m_text += ' ';
    }
    m_message.lpszNoteText = m_text.data();
    Relink();

    if (m_configure) {
        MailSettings settings = CurrentMailSettings();
        m_configure(settings.outbox.c_str(), settings.opener.c_str(), ShowNotice);
    }
    // No owner window on this platform: the mail program's dialogs belong to no window of ours.
    LHANDLE session = 0;
    if (m_logon(0, nullptr, nullptr, MAPI_LOGON_UI | MAPI_NEW_SESSION, 0, &session) != SUCCESS_SUCCESS) return 0;
    MapiUlong sent = m_sendMail(session, 0, &m_message, MAPI_DIALOG, 0);
    m_logoff(session, 0, 0, 0);
    if (sent == SUCCESS_SUCCESS || sent == MAPI_USER_ABORT || sent == MAPI_E_LOGIN_FAILURE) return 1;
    ShowMessage(msg::mail::SendFailed);
    return 0;
} catch (...) {
    return EntryFailed(EngineContext{}, 0);
}
