#pragma once
// The PIN entry of a token: one masked entry, confirm and cancel. A token sets its own PIN
// rules (many cards take four digits), so any entry that is not empty may be confirmed; the
// token answers whether it was right. Script kind "pin": the answer is the PIN, or "cancel".

#include <string>

#include "logon/Messages.h"
#include "platform/Secret.h"
#include "platform/UiHost.h"

namespace logon {

class PinDialog : public DialogModel {
public:
    enum : int { kIdConfirm = 1, kIdCancel = 2 };

    explicit PinDialog(std::string token) : m_token(std::move(token)) {}
    // The entry after kIdConfirm.
    const SecretText& Pin() const { return m_pin; }

    std::string Kind() const override { return "pin"; }
    int TemplateId() const override { return 6004; }
    std::string Title() const override { return MessageText(msg::logon::PinTitle); }
    std::vector<std::string> Lines() const override { return {}; }
    std::vector<DialogButton> Buttons() const override {
        return {{kIdConfirm, MessageText(msg::logon::PinOk), "ok"},
                {kIdCancel, MessageText(msg::logon::PinCancel), "cancel"}};
    }
    int DefaultButton() const override { return kIdConfirm; }
    bool HasInput() const override { return true; }
    bool MaskInput() const override { return true; }
    std::string InputLabel() const override { return MessageText(msg::logon::PinPrompt, m_token); }
    // A masked entry is never handed out as a plain string: Pin() is its one reader.
    std::string Input() const override { return {}; }
    void SetInput(std::string_view text) override { m_pin.assign(text); }
    std::string CancellingAnswer() const override { return "cancel"; }
    bool CanPress(int id) const override { return id != kIdConfirm || !m_pin.empty(); }
    int Press(int id) override { return id == kIdConfirm && !m_pin.empty() ? kIdConfirm : kIdCancel; }
    int Close() override { return kIdCancel; }

private:
    std::string m_token;
    SecretText m_pin;
};

}  // namespace logon
