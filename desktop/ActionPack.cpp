// pack: a password package of the chosen files and folders, named after the first one.

#include <openssl/crypto.h>

#include <filesystem>

#include "Actions.h"
#include "Messages.h"
#include "QtUiHost.h"
#include "engine/Korvane.h"
#include "password/PasswordPackager.h"
#include "platform/SourceBytes.h"

namespace {

// "NAME.vrk" beside the first path, else "NAME (2).vrk" and so on: an existing file is never
// replaced.
std::string FreePackageName(const std::string& first) {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string candidate = first + ".vrk";
    for (int n = 2; fs::exists(fs::symlink_status(candidate, ec)); ++n)
        candidate = first + " (" + std::to_string(n) + ").vrk";
    return candidate;
}

}  // namespace

int PackFiles(ActionJob& job) {
    PasswordPackRequest request;
    request.paths = job.files;
    request.baseFolder = CommonBaseFolder(job.files);
    request.packagePath = FreePackageName(job.files.front());
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
