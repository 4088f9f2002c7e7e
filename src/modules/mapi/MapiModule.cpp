// The mail module shipped with the engine: the three Simple MAPI entry points over the mail
// composer. A message is composed as MIME into the suite's mail outbox and handed to the
// person's mail program (see mail/MailComposer.h). The engine tells the module where the
// outbox is and who opens a message through VarnexMapiConfigure before every logon.

#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "mail/MailComposer.h"
#include "mail/SimpleMapi.h"

namespace {

std::mutex g_lock;
std::string g_outbox;
std::string g_opener;
void (*g_notice)(const char*) = nullptr;
LHANDLE g_nextSession = 1;

std::string Text(const char* s) { return s ? s : ""; }

// "Name <address>" when the record names both, else whichever it has. Addresses may carry
// the transport prefix "SMTP:".
std::string Recipient(const MapiRecipDesc& r) {
    std::string name = Text(r.lpszName), address = Text(r.lpszAddress);
    if (address.rfind("SMTP:", 0) == 0 || address.rfind("smtp:", 0) == 0) address.erase(0, 5);
    if (address.empty()) return name;
    if (name.empty() || name == address) return address;
    return "\"" + name + "\" <" + address + ">";
}

// The note text without the characters the attachments stand in for.
std::string NoteWithoutPlaceholders(const MapiMessage& m) {
    std::string text = Text(m.lpszNoteText);
    std::set<size_t> positions;
    for (MapiUlong i = 0; i < m.nFileCount; ++i) {
        size_t p = m.lpFiles[i].nPosition;
        if (p < text.size() && text[p] == ' ') positions.insert(p);
    }
    for (auto it = positions.rbegin(); it != positions.rend(); ++it) text.erase(*it, 1);
    return text;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void VarnexMapiConfigure(const char* outboxFolder, const char* opener,
                                                                void (*notice)(const char*)) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_outbox = Text(outboxFolder);
    g_opener = Text(opener);
    g_notice = notice;
}

__attribute__((visibility("default"))) MapiUlong MAPILogon(uintptr_t, char*, char*, MapiUlong, MapiUlong,
                                                           LHANDLE* session) {
    if (session == nullptr) return MAPI_E_FAILURE;
    std::lock_guard<std::mutex> hold(g_lock);
    *session = g_nextSession++;
    return SUCCESS_SUCCESS;
}

__attribute__((visibility("default"))) MapiUlong MAPISendMail(LHANDLE, uintptr_t, MapiMessage* message, MapiUlong,
                                                              MapiUlong) {
    if (message == nullptr) return MAPI_E_FAILURE;
    MailDraft draft;
    draft.subject = Text(message->lpszSubject);
    draft.text = NoteWithoutPlaceholders(*message);
    if (message->lpOriginator) draft.from = Recipient(*message->lpOriginator);
    for (MapiUlong i = 0; i < message->nRecipCount; ++i) {
        const MapiRecipDesc& r = message->lpRecips[i];
        if (r.ulRecipClass == MAPI_TO)
            draft.to.push_back(Recipient(r));
        else if (r.ulRecipClass == MAPI_CC)
            draft.cc.push_back(Recipient(r));
    }
    for (MapiUlong i = 0; i < message->nFileCount; ++i) {
        const MapiFileDesc& f = message->lpFiles[i];
        if (f.lpszPathName == nullptr) return MAPI_E_ATTACHMENT_NOT_FOUND;
        draft.attachments.push_back({f.lpszPathName, Text(f.lpszFileName), false});
    }
    std::string outbox, opener;
    void (*notice)(const char*) = nullptr;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        outbox = g_outbox;
        opener = g_opener;
        notice = g_notice;
    }
    std::string eml, error;
    if (outbox.empty() || !ComposeMail(draft, outbox, &eml, &error)) return MAPI_E_ATTACHMENT_OPEN_FAILURE;
    if (HandOffMail(draft, eml, opener) == MailHandOff::kOutbox && notice) {
        std::string text = kMailLeftInOutbox + eml;
        notice(text.c_str());
    }
    return SUCCESS_SUCCESS;
}

__attribute__((visibility("default"))) MapiUlong MAPILogoff(LHANDLE, uintptr_t, MapiUlong, MapiUlong) {
    return SUCCESS_SUCCESS;
}

}  // extern "C"
