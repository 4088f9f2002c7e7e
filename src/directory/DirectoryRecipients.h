#pragma once
// Recipients the store does not know, taken from the organisation's directory. A name the
// store knows (a registered user, an installed certificate) is used as the store has it. Any
// other address or uid is looked up; its certificate is shown and used only once the person
// at the keyboard confirms it, and is then kept in the store (confirmed, with its source), so
// the store's rule holds unchanged: a certificate that changes must be confirmed again.
// "@NAME" names a group: the store's, else the directory's groupOfNames, read at the time of
// use; members without a usable certificate are named in one notice and left out.
//
// Nothing is handed on after a failure: the caller receives the whole list or nothing.

#include <functional>
#include <string>
#include <vector>

#include "directory/DirectoryClient.h"
#include "logon/CertProfile.h"

class LogonStore;

namespace directory {

// Answers whether the person confirms this certificate for this person.
using ConfirmCert = std::function<bool(const Person& person, const logon::CertSummary& summary)>;

struct Resolved {
    std::vector<std::string> recipients;  // names the store resolves, in the order given
    std::vector<std::string> leftOut;     // group members without a usable certificate
    std::string notice;                   // them, in one message; empty if none
};

// The names with every group expanded and every directory person cached; false with the
// reason in error. The directory is only asked when a name needs it.
bool ResolveRecipients(LogonStore& store, const std::vector<std::string>& names, const ConfirmCert& confirm,
                       Resolved& out, std::string& error);

// The members of the directory's group (never the store's group of that name), as
// ResolveRecipients expands "@group".
bool ResolveDirectoryGroup(LogonStore& store, const std::string& group, const ConfirmCert& confirm, Resolved& out,
                           std::string& error);

// The fingerprint the confirmation answer gives: hex with or without colons, any case, as
// uppercase hex without colons; empty when it is not 64 hex digits.
std::string NormalizeFingerprint(const std::string& text);

}  // namespace directory
