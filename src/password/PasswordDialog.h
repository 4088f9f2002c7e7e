#pragma once
// The password dialog: one masked entry, a confirm button that is enabled only while the entry
// holds at least six characters, and a cancel button. Script kind "password": the answer is
// the password text, or "cancel".

#include <string>

#include "password/Messages.h"
#include "platform/Secret.h"
#include "platform/UiHost.h"

constexpr size_t kMinPasswordChars = 6;
constexpr size_t kMaxPasswordBytes = 995;  // the caller's buffer holds 996 with the terminator

class CDlgPassword : public DialogModel {
public:
    enum : int { kIdConfirm = 1, kIdCancel = 2 };

    CDlgPassword() = default;
    ~CDlgPassword() override;
    CDlgPassword(const CDlgPassword&) = delete;
    CDlgPassword& operator=(const CDlgPassword&) = delete;

    void SetPrompt(const std::string& prompt) { m_prompt = prompt; }
    // Sets the entry as a program does before running the dialog (not an edit by the person).
    void SetPassword(const std::string& password);
    // The entry after kIdConfirm.
    const SecretText& Password() const { return m_password; }

    std::string Kind() const override { return "password"; }
    int TemplateId() const override { return 6004; }
    std::string Title() const override { return MessageText(msg::password::DialogTitle); }
    std::vector<std::string> Lines() const override { return {MessageText(msg::password::DialogHint)}; }
    std::vector<DialogButton> Buttons() const override {
        return {{kIdConfirm, MessageText(msg::password::DialogOk), "ok"},
                {kIdCancel, MessageText(msg::password::DialogCancel), "cancel"}};
    }
    int DefaultButton() const override { return kIdConfirm; }
    bool HasInput() const override { return true; }
    bool MaskInput() const override { return true; }
    std::string InputLabel() const override { return m_prompt; }
    // A masked entry is never handed out as a plain string: Password() is its one reader.
    std::string Input() const override { return {}; }
    // An edit by the person: the confirm button follows the entry's length.
    void SetInput(std::string_view text) override;
    std::string EntryRefusal() const override;
    std::string CancellingAnswer() const override { return "cancel"; }
    bool CanPress(int id) const override { return id != kIdConfirm || m_confirmEnabled; }
    int Press(int id) override { return id == kIdConfirm && m_confirmEnabled ? kIdConfirm : kIdCancel; }
    int Close() override { return kIdCancel; }

    bool ConfirmEnabled() const { return m_confirmEnabled; }

private:
    void Store(std::string_view text);

    std::string m_prompt;
    SecretText m_password;
    // Follows the entry from the start, not only after the first edit: a short password that
    // was set but never typed must not be confirmable either.
    bool m_confirmEnabled = false;
};

// Characters (not bytes) of a UTF-8 text.
size_t CharacterCount(std::string_view text);
