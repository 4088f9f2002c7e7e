#pragma once
// Recipients named on the command line that the store does not know, from the organisation's
// directory (when the program is built with it): each certificate is shown and used only once
// confirmed, by its fingerprint in --answers confirm=SHA256 or by typing yes at the terminal.
// A blanket yes-no=yes never confirms a certificate.

#include <memory>
#include <string>
#include <vector>

#include "Cli.h"
#include "logon/DirectoryGroups.h"

class LogonStore;

// Replaces names by the store names of the people they name, groups ("@NAME") expanded; prints
// the notice of group members left out. False after printing why; names are then unchanged.
bool ResolveCliRecipients(CliContext& cli, LogonStore& store, std::vector<std::string>& names);

// The directory groups share paths name, for the engine's shared encryption: members' certificates
// confirmed as above. Null when the program is built without the directory.
std::unique_ptr<IDirectoryGroups> CliDirectoryGroups(CliContext& cli, LogonStore& store);

// Whether a directory is set up (and the program built with it): a group the store does not
// hold is then taken to be the directory's.
bool HaveDirectory(LogonStore& store);

// Whether the directory holds the group a share path is granted to: 1 yes, 0 no, -1 it cannot
// be asked (error says why).
int DirectoryHoldsGroup(LogonStore& store, const std::string& group, std::string& error);

// Why the directory would refuse this value of section/key when used ("Directory" URI, StartTLS,
// TimeLimit), in its own words; empty when it takes it or the setting is not the directory's.
std::string CheckDirectorySetting(const std::string& section, const std::string& key, const std::string& value);
