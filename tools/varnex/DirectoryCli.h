#pragma once
// Recipients named on the command line that the store does not know, from the organisation's
// directory (when the program is built with it): each certificate is shown and used only once
// confirmed, by its fingerprint in --answers confirm=SHA256 or by typing yes at the terminal.
// A blanket yes-no=yes never confirms a certificate.

#include <string>
#include <vector>

#include "Cli.h"

class LogonStore;

// Replaces names by the store names of the people they name, groups ("@NAME") expanded; prints
// the notice of group members left out. False after printing why; names are then unchanged.
bool ResolveCliRecipients(CliContext& cli, LogonStore& store, std::vector<std::string>& names);
