#pragma once
// The files an encryption-in-place batch works on, as every program collects them from the
// paths it was given: files and folders (a folder's files recursively), into the engine's file
// list. Links met inside a folder are left out and named in one notice.

#include <string>
#include <vector>

class CAdvanceEmcrypt;

enum class EncryptSourcesEnd {
    kOk,
    kMissing,          // a path does not exist (not said; badPath names it)
    kNotFileOrFolder,  // a path is neither a file nor a folder (not said; badPath names it)
    kLink,             // a path is a link: never followed, never encrypted (not said; badPath names it)
    kSaid,             // the engine said why (a full memory, a folder that cannot be listed)
};

// Fills list with the NUL-separated paths, ended by an empty entry.
EncryptSourcesEnd CollectEncryptList(CAdvanceEmcrypt& engine, const std::vector<std::string>& paths, std::string& list,
                                     std::string& badPath);
