// sign: a signature file beside each file, signed with the logged-on user's key.

#include "Actions.h"
#include "LogonEntry.h"
#include "Messages.h"
#include "engine/Korvane.h"
#include "logon/LogonStore.h"
#include "platform/Secret.h"

int SignFilesAction(ActionJob& job) {
    if (!LogOnUser(job.store)) return -1;
    std::string userId;
    SecretText password;
    int type = 0;
    job.store.GetLogonUser(userId, password, type);
    std::string list;
    for (const std::string& path : job.files) list.append(path).push_back('\0');
    list.push_back('\0');
    job.engine.SignFiles(list.c_str(), userId.c_str(), password.c_str(), 0, 0);
    const int signedCount = static_cast<int>(job.engine.m_signedCount);
    if (signedCount > 0)
        ShowMessage(msg::desktop::Signed, signedCount);
    else
        ShowMessage(msg::desktop::NotSigned);
    return signedCount == static_cast<int>(job.files.size()) ? 1 : 0;
}
