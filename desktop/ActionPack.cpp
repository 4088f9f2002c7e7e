// pack: a password package of the chosen files and folders, named after the first one.

#include <openssl/crypto.h>

#include "Actions.h"
#include "Messages.h"
#include "QtUiHost.h"
#include "engine/Korvane.h"
#include "password/PasswordPackager.h"
#include "platform/SourceBytes.h"

int PackFiles(ActionJob& job) {
    PasswordPackRequest request;
    request.paths = job.files;
    request.baseFolder = CommonBaseFolder(job.files);
    request.packagePath = FreePackageName(job.files.front(), kPasswordPackageExtension);
    char password[996] = {};
    const int entered = job.engine.GetPasswd(password);
    request.password = std::string_view(password);
    OPENSSL_cleanse(password, sizeof password);
    if (!entered) return -1;  // cancelled, or the two entries differed (said)
    job.host.SetJobBytes(SourceBytes(request.paths));
    const int result = PackWithPassword(job.engine, request);
    request.password.clear();
    if (result == 1)
        ShowMessage(msg::desktop::Packed, request.packagePath);
    else if (job.host.StopRequested())
        ShowMessage(msg::desktop::Stopped);
    return job.host.StopRequested() && result != 1 ? -1 : result;
}
