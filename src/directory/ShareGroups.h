#pragma once
// The directory groups a share path names, read for the engine's shared encryption at the time
// of use: each member's certificate is confirmed and cached as for any recipient from the
// directory (see DirectoryRecipients.h). Given to the engine through its context.

#include "directory/DirectoryRecipients.h"
#include "logon/DirectoryGroups.h"

namespace directory {

class ShareGroups : public IDirectoryGroups {
public:
    // store and confirm outlive the object. sayRefusal: a certificate the confirmation refused
    // is said like any other failure (a script that gave no fingerprint); false when the refusal
    // was the person's own answer in a dialog, which needs no message after it (see Refused).
    ShareGroups(LogonStore& store, ConfirmCert confirm, bool sayRefusal = true)
        : m_store(store), m_confirm(std::move(confirm)), m_sayRefusal(sayRefusal) {}
    bool Members(const std::string& group, std::vector<std::string>& names) override;
    // Whether the last Members failed because a certificate was refused.
    bool Refused() const { return m_refused; }

private:
    LogonStore& m_store;
    ConfirmCert m_confirm;
    bool m_sayRefusal = true;
    bool m_refused = false;
};

// Whether the directory set up in the store holds the group, asked when a share path is granted
// to it: 1 it does, 0 it holds no group of that name, -1 it cannot be asked or the name is not
// one group (error says why).
int HoldsGroup(LogonStore& store, const std::string& group, std::string& error);

}  // namespace directory
