#pragma once
// The user's own temporary folder: $TMPDIR when it is set, else the suite folder's "tmp/",
// created owner-only (0700). Files the engine keeps there (the delete log) must never be
// reachable by another user, so a "tmp" that is a symbolic link, not a folder, or not the
// user's own is refused.
//
// The suite folder is the one whose logon store was opened last (the store records it when
// it opens); before any store is opened it is $VARNEX_HOME, else ~/.varnex.

#include <string>

void SetSuiteFolder(const std::string& folder);
std::string SuiteFolder();

// The folder with a trailing separator; false (with errno set) when it cannot be made safe.
bool UserTempFolder(std::string& out);
