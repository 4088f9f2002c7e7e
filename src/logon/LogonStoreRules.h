#pragma once
// What the logon store accepts as user IDs, names, addresses, group names, share paths and
// passwords. Each check answers an empty text when the input is fine, else the reason, in
// words fit for "varnex: ...". The caps are the room the engine's records give these
// texts (ILogon.h), so a store never hands out a text that an engine copy would cut.

#include <string>
#include <string_view>
#include <vector>

#include "logon/ILogon.h"
#include "platform/Messages.h"

// Group names are shown beside certificate names; they get the same room.
inline constexpr size_t kLogonGroupNameRoom = kLogonCertNameRoom;
// Settings are short texts; these caps keep a mistaken paste out of the store.
inline constexpr size_t kLogonOptionNameRoom = 256;
inline constexpr size_t kLogonOptionValueRoom = 4096;

namespace logon {

// A user ID names the user's certificate (CertificateNameOf) and its file in certs/ and
// on a key device, and it is an entry of ";"-separated lists: no separators of any kind.
std::string CheckUserId(std::string_view userId);
// Certificate names of other people follow the user-ID rule.
std::string CheckCertName(std::string_view name);
// A display name and e-mail address together form the key text "name<e-mail>".
std::string CheckNameAndEmail(std::string_view name, std::string_view email);
// A new logon password: at least kLogonPasswordMinChars characters (as the password dialog
// asks of every password), within kLogonPasswordRoom bytes. Passwords set before the rule
// still log on.
inline constexpr size_t kLogonPasswordMinChars = 6;
std::string CheckPassword(std::string_view password);
std::string CheckGroupName(std::string_view name);
std::string CheckSharePath(std::string_view path);
std::string CheckOptionText(const MessageDef& what, std::string_view text, size_t cap);

// A well-formed address: one "@" with text on both sides, no blanks, brackets or ";".
bool MailAddressWellFormed(std::string_view email);
// The form under which share paths are kept and compared: trimmed, no trailing "/"
// (except for "/" itself). Case is ignored by the database.
std::string SharePathKey(std::string_view path);

std::string HexOf(const std::vector<unsigned char>& bytes);

}  // namespace logon
