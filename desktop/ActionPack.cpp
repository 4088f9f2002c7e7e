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

// "NAME.vrp" beside the first path, else "NAME (2).vrp" and so on: an existing file is never
// replaced. Password packages are known by content; ".vrp" is the name the desktop's own MIME
// type also claims, and no other type does (".vrk" is the envelope's).
std::string FreePackageName(const std::string& first) {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string candidate = first + ".vrp";
    for (int n = 2; fs::exists(fs::symlink_status(candidate, ec)); ++n)
        candidate = first + " (" + std::to_string(n) + ").vrp";
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
