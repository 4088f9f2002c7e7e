#pragma once
// The directory groups a share path names, read for the engine's shared encryption at the time
// of use: each member's certificate is confirmed and cached as for any recipient from the
// directory (see DirectoryRecipients.h). Given to the engine through its context.

#include "directory/DirectoryRecipients.h"
#include "logon/DirectoryGroups.h"

namespace directory {

class ShareGroups : public IDirectoryGroups {
public:
    // store and confirm outlive the object.
    ShareGroups(LogonStore& store, ConfirmCert confirm) : m_store(store), m_confirm(std::move(confirm)) {}
    bool Members(const std::string& group, std::vector<std::string>& names) override;

private:
    LogonStore& m_store;
    ConfirmCert m_confirm;
};

}  // namespace directory
