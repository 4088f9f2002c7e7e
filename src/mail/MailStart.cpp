#include "mail/MailStart.h"

#include "logon/ILogon.h"
#include "mail/MailComposer.h"
#include "mail/MailOutbox.h"
#include "mail/Messages.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

int CMailStart::SetSubject(const char* subject) {
    m_subject = subject ? subject : "";
    return 1;
}

int CMailStart::AddAttachFile(const char* path) {
    if (path == nullptr || *path == '\0') return 0;
    m_attachments.push_back({path, false});
    return 1;
}

void CMailStart::SetNoDeleteFileFlag(int index) {
    if (index >= 0 && static_cast<size_t>(index) < m_attachments.size())
        m_attachments[static_cast<size_t>(index)].deleteAfter = false;
}

void CMailStart::SetDeleteFileFlag(int index) {
    if (index >= 0 && static_cast<size_t>(index) < m_attachments.size())
        m_attachments[static_cast<size_t>(index)].deleteAfter = true;
}

int CMailStart::Sendmail() {
    MailDraft draft;
    draft.subject = m_subject;
    for (const Attachment& a : m_attachments) draft.attachments.push_back({a.path, {}, a.deleteAfter});
    MailSettings settings = CurrentMailSettings();
    std::string eml, error;
    if (!ComposeMail(draft, settings.outbox, &eml, &error)) {
        ShowMessage(msg::mail::ComposeFailed, error);
        return 0;
    }
    if (HandOffMail(draft, eml, settings.opener) == MailHandOff::kOutbox) ShowLeftInOutbox(eml.c_str());
    // The message holds every attachment now: the flagged ones may go.
    for (const Attachment& a : m_attachments)
        if (a.deleteAfter) RemoveName(a.path);
    return 1;
}
