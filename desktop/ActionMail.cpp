// mail: one signed and encrypted mail package of the files for the people chosen, then the
// question whether to hand it to the mail program now (no: it stays where it was made).

#include "Actions.h"
#include "LogonEntry.h"
#include "Messages.h"
#include "Recipients.h"
#include "logon/LogonStore.h"
#include "mail/MailPackStep.h"
#include "platform/MessageBox.h"

int MailFiles(ActionJob& job) {
    MailPackRequest request;
    for (const std::string& path : job.files) {
        if (CheckMailFile(path) != MailFileProblem::kNone) {
            ShowMessage(msg::desktop::MailFileRefused, path);
            return 0;
        }
        request.files.push_back(path);
    }
    if (!LogOnUser(job.store)) return -1;
    const std::string me = LoggedOnUser(job.store);
    int ended = -1;
    const std::unique_ptr<RecipientChoice> choice = ChooseRecipients(job, me, false, ended);
    if (!choice) return ended;
    request.recipients = choice->ChosenCertNames();
    job.store.GetSignerName(me, request.signer);
    std::string package;
    if (PackMailFiles(request, package) != 1) return 0;  // the engine said why
    if (ShowMessage(msg::desktop::MailPacked, package) != IDYES) return 1;
    if (HandOffMail(package, request.recipients) != 1) return 0;
    ShowMessage(msg::desktop::MailHandedOff);
    return 1;
}
