#include "logon/LogonStoreRules.h"

#include "logon/StoreMessages.h"
#include "platform/Text.h"

namespace logon {

namespace {

bool HasControl(std::string_view text) {
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f) return true;
    }
    return false;
}

bool Padded(std::string_view text) {
    return !text.empty() && (text.front() == ' ' || text.back() == ' ' || text.front() == '\t' || text.back() == '\t');
}

// Room for text in a field of cap bytes that keeps a terminating NUL; `what` names the text.
std::string TooLong(const MessageDef& what, std::string_view text, size_t cap) {
    if (text.size() < cap) return {};
    return MessageText(msg::logon_store::TooLong, MessageText(what), text.size(), cap - 1);
}

// The rules of a user ID, and of a certificate name, which is held to the same ones; each
// refusal in the words of the one asked about.
std::string CheckId(std::string_view id, bool certificate) {
    using namespace msg::logon_store;
    if (id.empty()) return MessageText(certificate ? CertNameEmpty : UserIdEmpty);
    if (std::string error = TooLong(certificate ? TheCertName : TheUserId, id, kLogonCertNameRoom); !error.empty())
        return error;
    if (HasControl(id) || Padded(id) || id.front() == '.' || id.front() == '@' ||
        id.find_first_of("/\\;<>") != std::string_view::npos) {
        return MessageText(certificate ? CertNameCharacters : UserIdCharacters);
    }
    std::string owner;
    if (UserIdOfSharedKeyName(id, owner)) return MessageText(certificate ? CertNameShare : UserIdShare);
    return {};
}

}  // namespace

std::string CheckUserId(std::string_view userId) { return CheckId(userId, false); }

std::string CheckCertName(std::string_view name) { return CheckId(name, true); }

std::string CheckNameAndEmail(std::string_view name, std::string_view email) {
    if (name.empty()) return MessageText(msg::logon_store::NameEmpty);
    if (HasControl(name) || Padded(name) || name.find_first_of(";<>") != std::string_view::npos) {
        return MessageText(msg::logon_store::NameCharacters);
    }
    if (!email.empty() && !MailAddressWellFormed(email))
        return MessageText(msg::logon_store::NotAnAddress, std::string(email));
    std::string keyText = KeyTextOf(name, email);
    if (keyText.size() >= kLogonKeyTextRoom)
        return MessageText(msg::logon_store::KeyTextTooLong, keyText.size(), kLogonKeyTextRoom - 1);
    return {};
}

std::string CheckPassword(std::string_view password) {
    // Characters, not bytes, as the password dialog counts them.
    size_t characters = 0;
    for (unsigned char c : password)
        if ((c & 0xC0) != 0x80) ++characters;
    if (characters < kLogonPasswordMinChars) return MessageText(msg::logon_store::PasswordTooShort);
    return TooLong(msg::logon_store::ThePassword, password, kLogonPasswordRoom);
}

std::string CheckGroupName(std::string_view name) {
    if (name.empty()) return MessageText(msg::logon_store::GroupNameEmpty);
    if (std::string error = TooLong(msg::logon_store::TheGroupName, name, kLogonGroupNameRoom); !error.empty())
        return error;
    if (HasControl(name) || Padded(name) || name.front() == '@' || name.find(';') != std::string_view::npos) {
        return MessageText(msg::logon_store::GroupNameCharacters);
    }
    return {};
}

std::string CheckSharePath(std::string_view path) {
    std::string key = SharePathKey(path);
    if (key.empty()) return MessageText(msg::logon_store::SharePathEmpty);
    if (HasControl(key)) return MessageText(msg::logon_store::SharePathControl);
    return TooLong(msg::logon_store::TheSharePath, key, kLogonPathRoom);
}

std::string CheckOptionText(const MessageDef& what, std::string_view text, size_t cap) {
    if (HasControl(text)) return MessageText(msg::logon_store::HoldsControl, MessageText(what));
    return TooLong(what, text, cap);
}

bool MailAddressWellFormed(std::string_view email) {
    size_t at = email.find('@');
    return at != std::string_view::npos && at > 0 && at + 1 < email.size() &&
           email.find('@', at + 1) == std::string_view::npos && !HasControl(email) &&
           email.find_first_of(" \t<>;,") == std::string_view::npos;
}

std::string SharePathKey(std::string_view path) {
    std::string out = LogonTrim(path);
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

std::string HexOf(const std::vector<unsigned char>& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

}  // namespace logon
