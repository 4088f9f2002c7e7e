// wipe: destroys files and folder trees beyond recovery, once the person has confirmed a list
// that names them.

#include <sys/stat.h>

#include "Actions.h"
#include "Messages.h"
#include "engine/Korvane.h"
#include "platform/MessageBox.h"
#include "wipe/DeleteLog.h"

namespace {

constexpr size_t kNamesShown = 10;

}  // namespace

int WipeFiles(ActionJob& job) {
    std::string shown;
    for (size_t i = 0; i < job.files.size() && i < kNamesShown; ++i) shown += job.files[i] + "\n";
    if (job.files.size() > kNamesShown)
        shown += MessageText(msg::desktop::WipeMore, static_cast<int>(job.files.size() - kNamesShown)) + "\n";
    if (!shown.empty()) shown.pop_back();
    if (ShowMessage(msg::desktop::WipeConfirm, shown) != IDYES) return -1;

    std::string list;
    for (const std::string& path : job.files) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            ShowMessage(msg::desktop::NoSuchFile, path);
            return 0;
        }
        list.append(path).push_back('\0');
    }
    list.push_back('\0');
    const int result = job.engine.TrueDelFileOrDir(list.data(), 0);
    if (result == 1)
        ShowMessage(msg::desktop::Wiped, static_cast<int>(job.files.size()));
    else
        ShowMessage(msg::desktop::WipeIncomplete, DeleteLogPath());
    return result;
}
