#include "directory/ShareGroups.h"

#include "directory/Messages.h"

namespace directory {

bool ShareGroups::Members(const std::string& group, std::vector<std::string>& names) {
    Resolved resolved;
    std::string error;
    if (!ResolveDirectoryGroup(m_store, group, m_confirm, resolved, error)) {
        ShowMessage(msg::directory::ShareGroupFailed, group, error);
        return false;
    }
    if (!resolved.leftOut.empty()) {
        std::string list;
        for (const std::string& who : resolved.leftOut) list += (list.empty() ? "" : ", ") + who;
        ShowMessage(msg::directory::MembersLeftOut, group, list);
    }
    names = std::move(resolved.recipients);
    return true;
}

}  // namespace directory
