#include "RecipientAddresses.h"

#include "logon/LogonStore.h"

void UsersForAddresses(LogonStore& store, std::vector<std::string>& names) {
    std::vector<LogonUserInfo> users;
    bool listed = false;
    for (std::string& name : names) {
        if (name.empty() || name[0] == '@' || name.find('@') == std::string::npos) continue;
        if (!listed && !store.ListUsers(users)) return;
        listed = true;
        const LogonUserInfo* only = nullptr;
        int matches = 0;
        for (const LogonUserInfo& user : users) {
            if (LogonEqualNoCase(user.record.userId, name)) {
                matches = 0;  // an ID is an ID
                break;
            }
            if (!user.record.email.empty() && LogonEqualNoCase(user.record.email, name)) {
                only = &user;
                ++matches;
            }
        }
        if (matches == 1) name = only->record.userId;
    }
}
