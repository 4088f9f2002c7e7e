#include "LogonEntry.h"

#include "Messages.h"
#include "dialogs/Messages.h"
#include "logon/LogonStore.h"

std::string LogonEntry::Title() const { return MessageText(msg::desktop::LogonTitle); }

std::string LogonEntry::InputLabel() const { return MessageText(msg::desktop::LogonPrompt, m_userId); }

std::vector<DialogButton> LogonEntry::Buttons() const {
    return {{kIdOk, MessageText(msg::dialogs::Ok), "ok"}, {kIdCancel, MessageText(msg::dialogs::Cancel), "cancel"}};
}

namespace {
std::string g_chosenUser;  // set once by main before any thread starts
}  // namespace

void ChooseLogonUser(std::string userId) { g_chosenUser = std::move(userId); }

bool LogOnUser(LogonStore& store) {
    std::string userId = g_chosenUser;
    if (userId.empty() && !store.DefaultUser(userId)) {
        ShowMessage(msg::desktop::LogonFailed, store.LastError());
        return false;
    }
    constexpr int kTries = 3;
    for (int i = 0; i < kTries; ++i) {
        LogonEntry entry(userId);
        if (UiHost().RunDialog(entry) != LogonEntry::kIdOk) return false;
        const bool in = store.LogOn(userId, entry.Password());
        entry.Forget();
        if (in) return true;
        ShowMessage(msg::desktop::LogonFailed, store.LastError());
    }
    return false;
}
