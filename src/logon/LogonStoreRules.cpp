#include "logon/LogonStoreRules.h"

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

// Room for text in a field of cap bytes that keeps a terminating NUL.
std::string TooLong(std::string_view what, std::string_view text, size_t cap) {
    if (text.size() < cap) return {};
    return Format("%.*s is %zu bytes long; at most %zu are allowed", static_cast<int>(what.size()), what.data(),
                  text.size(), cap - 1);
}

}  // namespace

std::string CheckUserId(std::string_view userId) {
    if (userId.empty()) return "a user ID must not be empty";
    if (std::string error = TooLong("the user ID", userId, kLogonCertNameRoom); !error.empty()) return error;
    if (HasControl(userId) || Padded(userId) || userId.front() == '.' || userId.front() == '@' ||
        userId.find_first_of("/\\;<>") != std::string_view::npos) {
        return "a user ID must not begin with '.' or '@', nor hold blanks at its ends, control characters or any "
               "of / \\ ; < >";
    }
    std::string owner;
    if (UserIdOfSharedKeyName(userId, owner)) return "a user ID must not begin with \"share:\"";
    return {};
}

std::string CheckCertName(std::string_view name) {
    std::string error = CheckUserId(name);
    if (error.empty()) return {};
    // The same words, about a certificate name.
    for (std::string_view from : {"a user ID", "the user ID"}) {
        if (error.compare(0, from.size(), from) == 0) return "the certificate name" + error.substr(from.size());
    }
    return error;
}

std::string CheckNameAndEmail(std::string_view name, std::string_view email) {
    if (name.empty()) return "a name must not be empty";
    if (HasControl(name) || Padded(name) || name.find_first_of(";<>") != std::string_view::npos) {
        return "a name must not hold blanks at its ends, control characters or any of ; < >";
    }
    if (!email.empty() && !MailAddressWellFormed(email)) {
        return Format("'%.*s' is not an e-mail address", static_cast<int>(email.size()), email.data());
    }
    std::string keyText = KeyTextOf(name, email);
    if (keyText.size() >= kLogonKeyTextRoom) {
        return Format("name and e-mail address take %zu bytes together (as name<address>); at most %zu are allowed",
                      keyText.size(), kLogonKeyTextRoom - 1);
    }
    return {};
}

std::string CheckPassword(std::string_view password) {
    // Characters, not bytes, as the password dialog counts them.
    size_t characters = 0;
    for (unsigned char c : password)
        if ((c & 0xC0) != 0x80) ++characters;
    if (characters < kLogonPasswordMinChars) return "the password needs at least 6 characters";
    return TooLong("the password", password, kLogonPasswordRoom);
}

std::string CheckGroupName(std::string_view name) {
    if (name.empty()) return "a group name must not be empty";
    if (std::string error = TooLong("the group name", name, kLogonGroupNameRoom); !error.empty()) return error;
    if (HasControl(name) || Padded(name) || name.front() == '@' || name.find(';') != std::string_view::npos) {
        return "a group name must not begin with '@', nor hold blanks at its ends, control characters or ';'";
    }
    return {};
}

std::string CheckSharePath(std::string_view path) {
    std::string key = SharePathKey(path);
    if (key.empty()) return "a share path must not be empty";
    if (HasControl(key)) return "a share path must not hold control characters";
    return TooLong("the share path", key, kLogonPathRoom);
}

std::string CheckOptionText(std::string_view what, std::string_view text, size_t cap) {
    if (HasControl(text)) {
        return Format("%.*s must not hold control characters", static_cast<int>(what.size()), what.data());
    }
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
