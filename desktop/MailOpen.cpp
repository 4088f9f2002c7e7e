// open of a mail package: after logging on, its files are unpacked into the user's mail folder
// and listed, with what the signature check found.

#include <cstring>

#include "Actions.h"
#include "LogonEntry.h"
#include "Messages.h"
#include "dialogs/FileListDialog.h"
#include "engine/Korvane.h"
#include "mail/MailLayout.h"
#include "mail/MailUnpackStep.h"
#include "platform/CFile.h"

int OpenMailPackage(ActionJob& job, const std::string& path) {
    CFile file;
    CFileException error;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyNone, &error)) {
        ShowMessage(msg::desktop::NotDecrypted, path);
        return 0;
    }
    if (!LogOnUser(job.store)) return -1;
    CMailEncrypt engine(job.engine.Context());
    const UnpackedMail got = UnpackMailPackage(engine, &file, nullptr);
    if (got.outOfMemory || got.result != 1 || got.files.empty()) {
        ShowMessage(msg::desktop::NotDecrypted, path);
        return 0;
    }
    std::string list;
    for (const std::string& unpacked : got.files) list += unpacked + "|";
    CDlgFileList shown{std::string_view(list)};
    UiHost().RunDialog(shown);
    const DECRYPT_MAIL_KEY& key = *got.key;
    const std::string damaged(key.szDamagedFile, strnlen(key.szDamagedFile, sizeof key.szDamagedFile));
    if (!damaged.empty()) ShowMessage(msg::desktop::MailDamaged, damaged);
    if (!(key.nMailFlag & kMailFlagSign))
        ShowMessage(msg::desktop::MailNotSigned);
    else if (key.nVerify == 1)
        ShowMessage(msg::desktop::MailSignatureValid);
    else if (key.nVerify == -1)
        ShowMessage(msg::desktop::MailNoCertificate);
    else
        ShowMessage(msg::desktop::MailSignatureBad);
    return damaged.empty() && (!(key.nMailFlag & kMailFlagSign) || key.nVerify == 1) ? 1 : 0;
}
