#pragma once
// CIMapi: one mail message (subject, text, To and Cc recipients, attachments) composed in
// Simple MAPI records and sent through the mail module "mapi", loaded at run time (the module
// shipped with the engine, which composes the message into the suite's mail outbox
// and hands it to the person's mail program).
//
// Subject, originator, recipient names and attachment paths and names are kept as pointers to
// the caller's strings, which must stay valid until Send returns; only the note text is
// copied. Recipients and attachments only accumulate: one message per object. A copy owns
// arrays of its own.
//
// Error codes (Error() answers the last one and resets it): 1 the module is not found, 2 it
// lacks an entry point, 3 no memory for a To recipient, 4 for a Cc recipient, 5 for an
// attachment.

#include <memory>
#include <string>
#include <vector>

#include "mail/SimpleMapi.h"

class CModule;

class CIMapi {
public:
    CIMapi();
    ~CIMapi();
    CIMapi(const CIMapi& other);
    CIMapi& operator=(const CIMapi& other);

    void Subject(const char* subject);
    void Text(const char* text);
    void From(const char* name);
    int To(const char* name);
    int Cc(const char* name);
    int Attach(const char* path, const char* name = nullptr);
    unsigned int Error();

    // Whether mail can be sent: the setting "MAPI" of section "MAIL" is non-zero and the mail
    // module is installed. Answered once per process.
    static int HasEmail();
    // Loads the mail module (shared by every object of the process) and resolves its entry
    // points. Shows why and answers 0 when it cannot.
    int LoadLibraryA();
    // Unloads the mail module.
    void FreeLibarary();
    // Logs on, sends the message with the mail program's dialog, logs off. Needs LoadLibraryA.
    // 1 when sent or cancelled by the person; 0 when the logon failed (not shown) or the mail
    // program refused the message (shown). `flags` is not used.
    int Send(unsigned long flags = 0);

    // The note text as it stands (with one space per attachment after a Send).
    const std::string& NoteText() const { return m_text; }

    static std::unique_ptr<CModule> m_hInstMail;  // the mail module "mapi", shared by all objects
    static int m_isMailAvail;                     // -1 not yet known, else HasEmail's answer

private:
    int AllocNewTo();
    int AddRecipient(const char* name, MapiUlong recipientClass, unsigned int error);
    void Relink();

    MapiMessage m_message{};
    MapiRecipDesc m_originator{};
    unsigned int m_error = 0;
    std::string m_text;
    LPMAPISENDMAIL m_sendMail = nullptr;
    LPMAPILOGON m_logon = nullptr;
    LPMAPILOGOFF m_logoff = nullptr;
    LPVARNEXMAPICONFIGURE m_configure = nullptr;
    std::vector<MapiRecipDesc> m_recips;
    std::vector<MapiFileDesc> m_files;
};
