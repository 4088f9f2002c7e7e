#include "directory/ShareGroups.h"

#include "directory/Messages.h"
#include "logon/LogonStore.h"

namespace directory {

bool ShareGroups::Members(const std::string& group, std::vector<std::string>& names) {
    m_refused = false;
    const ConfirmCert confirm = [this](const Person& person, const logon::CertSummary& summary) {
        m_refused = !m_confirm || !m_confirm(person, summary);
        return !m_refused;
    };
    Resolved resolved;
    std::string error;
    if (!ResolveDirectoryGroup(m_store, group, confirm, resolved, error)) {
        if (!m_refused || m_sayRefusal) ShowMessage(msg::directory::ShareGroupFailed, group, error);
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

int HoldsGroup(LogonStore& store, const std::string& group, std::string& error) {
    Settings settings;
    if (!ReadSettings(store, settings, error)) return -1;
    Client client(settings);
    Entry found;
    const int held = client.Connect() ? client.FindGroup(group, found) : -1;
    if (held != 1) error = client.Error();
    return held;
}

}  // namespace directory
