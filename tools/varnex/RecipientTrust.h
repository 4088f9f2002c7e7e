#pragma once
// Whether something may be encrypted for a recipient named on the command line: the same rule
// for every command that encrypts for others (envelope, mail-pack --encrypt).

#include <string>
#include <vector>

class LogonStore;

// Each recipient is a registered user or someone whose installed certificate is confirmed and
// unchanged since, and that certificate is valid now. False after saying, once, why the first
// recipient that is not is refused. `unknownRefused`: a name the store does not know is refused
// here too ("no such user"); otherwise it is left to the caller.
bool RecipientsUsableOrSay(LogonStore& store, const std::vector<std::string>& ids, bool unknownRefused);
