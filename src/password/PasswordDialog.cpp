// Password entry: the dialog and the engine's twice-asked new password.

#include "password/PasswordDialog.h"

#include <cstring>

#include "engine/Korvane.h"
#include "password/Messages.h"
#include "platform/MessageBox.h"

namespace {

// The longest prefix of text within max bytes that does not cut a UTF-8 character.
size_t CutAtCharacter(std::string_view text, size_t max) {
    if (text.size() <= max) return text.size();
    size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return n;
}

}  // namespace

size_t CharacterCount(std::string_view text) {
    size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

CDlgPassword::~CDlgPassword() = default;

void CDlgPassword::Store(std::string_view text) {
    m_password.assign(text.substr(0, CutAtCharacter(text, kMaxPasswordBytes)));
    m_confirmEnabled = CharacterCount(m_password.view()) >= kMinPasswordChars;
}

void CDlgPassword::SetPassword(const std::string& password) { Store(password); }

void CDlgPassword::SetInput(std::string_view text) { Store(text); }

std::string CDlgPassword::EntryRefusal() const {
    return m_confirmEnabled ? std::string() : MessageText(msg::password::TooShort);
}

int CKorvane::GetPasswd(char* password) try {
    EngineCall call(m_context);
    if (password == nullptr) return 0;
    CDlgPassword dialog;
    dialog.SetPrompt(MessageText(msg::password::EnterEncryptionKey));
    if (UiHost().RunDialog(dialog) != CDlgPassword::kIdConfirm) return 0;
    SecretText first = dialog.Password();

    dialog.SetPassword("");
    dialog.SetPrompt(MessageText(msg::password::ReenterEncryptionKey));
    int second = UiHost().RunDialog(dialog);
    bool same = second == CDlgPassword::kIdConfirm && first == dialog.Password().view();
    if (second == CDlgPassword::kIdConfirm && !same) ShowMessage(msg::password::PasswordsDiffer);
    if (same) std::memcpy(password, first.c_str(), first.size() + 1);
    return same ? 1 : 0;
} catch (...) {
    return EntryFailed(m_context, 0);
}
