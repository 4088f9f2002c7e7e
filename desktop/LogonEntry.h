#pragma once
// Logging on before an action that signs or opens with the user's key: the store's user (its
// only one, else the last one), and the logon password asked in a masked entry, three tries.

#include <string>

#include "platform/Secret.h"
#include "platform/UiHost.h"

class LogonStore;

class LogonEntry : public DialogModel {
public:
    enum : int { kIdOk = 1, kIdCancel = 2 };
    explicit LogonEntry(std::string userId) : m_userId(std::move(userId)) {}

    std::string Kind() const override { return "logon"; }
    int TemplateId() const override { return 0; }
    std::string Title() const override;
    std::vector<std::string> Lines() const override { return {}; }
    std::vector<DialogButton> Buttons() const override;
    int DefaultButton() const override { return kIdOk; }
    bool HasInput() const override { return true; }
    bool MaskInput() const override { return true; }
    std::string InputLabel() const override;
    void SetInput(std::string_view text) override { m_password.assign(text); }
    std::string CancellingAnswer() const override { return "cancel"; }
    bool CanPress(int id) const override { return id != kIdOk || !m_password.empty(); }
    int Press(int id) override { return id == kIdOk && !m_password.empty() ? kIdOk : kIdCancel; }
    int Close() override { return kIdCancel; }

    std::string_view Password() const { return m_password.view(); }
    void Forget() { m_password.clear(); }

private:
    std::string m_userId;
    SecretText m_password;  // wiped when replaced, forgotten or destroyed
};

// The user named on the command line (--user) for this run; empty: the store's default user.
void ChooseLogonUser(std::string userId);

// Logs the chosen user (else the store's) on through the host; false when the person cancelled
// or the tries ran out (each wrong one said).
bool LogOnUser(LogonStore& store);
