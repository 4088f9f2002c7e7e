#include "mail/MailOutbox.h"

#include "logon/ILogon.h"
#include "mail/MailComposer.h"
#include "mail/Messages.h"
#include "platform/MessageBox.h"

MailSettings CurrentMailSettings() {
    MailSettings settings;
    ILogon* logon = LogonLibrary();
    std::string folder;
    if (logon && logon->GetMailFolder(folder) && !folder.empty()) {
        if (folder.back() != '/') folder += '/';
        settings.outbox = folder + "outbox/";
    }
    if (logon) settings.opener = logon->GetOption("MAIL", "Opener", "");
    return settings;
}

void ShowLeftInOutbox(const char* emlPath) { ShowMessage(msg::mail::LeftInOutbox, emlPath ? emlPath : ""); }
