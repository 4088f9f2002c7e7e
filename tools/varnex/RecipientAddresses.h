#pragma once
// A recipient named on the command line by the e-mail address of a registered user stands for
// that user, as the user ID would.

#include <string>
#include <vector>

class LogonStore;

// Replaces each name that is no user ID but the registered e-mail address (any case) of
// exactly one user of the store by that user's ID. Other names stay as given (groups, people
// of the directory, slips), for the checks that follow to judge.
void UsersForAddresses(LogonStore& store, std::vector<std::string>& names);
