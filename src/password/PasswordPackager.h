#pragma once
// The whole making of one password package, in the order its format needs: the plain head,
// the collection pass, the end record, the encryption pass. The package is written under a
// temporary name beside its final place and moved there only when complete, so a failed or
// cancelled pack leaves no package behind and never destroys an existing file.

#include <string>
#include <vector>

#include "platform/Secret.h"
#include "platform/Window.h"

class CKorvane;

struct PasswordPackRequest {
    std::string packagePath;
    std::vector<std::string> paths;  // files and folders, absolute
    std::string baseFolder;          // absolute; every path lies under it
    SecretText password;
    int cipherId = 0;  // 0: the engine's choice for new files
    HWND notifyWindow = nullptr;
    // Whether an existing file at packagePath may be replaced. Without it, a file that is
    // there, or appears while the package is made, is never replaced.
    bool replace = false;
};

// 1 when the package is complete at packagePath; 0 after the failure's message. Every path
// must be a file or a folder (a link to one is followed); anything else is refused by name
// before anything is written. Links and special files met inside a folder are left out and
// named in one notice when the package is complete.
int PackWithPassword(CKorvane& engine, const PasswordPackRequest& request);

// The deepest folder holding every path (each path's own folder for files and folders alike).
std::string CommonBaseFolder(const std::vector<std::string>& absolutePaths);
