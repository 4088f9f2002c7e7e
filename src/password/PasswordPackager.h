#pragma once
// The whole making of one password package, in the order its format needs: the plain head,
// the collection pass, the end record, the encryption pass. The package is written under a
// temporary name beside its final place and moved there only when complete, so a failed or
// cancelled pack leaves no package behind and never destroys an existing file.

#include <string>
#include <vector>

#include "platform/Window.h"

class CKorvane;

struct PasswordPackRequest {
    std::string packagePath;
    std::vector<std::string> paths;  // files and folders, absolute
    std::string baseFolder;          // absolute; every path lies under it
    std::string password;
    int cipherId = 0;  // 0: the engine's choice for new files
    HWND notifyWindow = nullptr;
};

// 1 when the package is complete at packagePath; 0 after the failure's message.
int PackWithPassword(CKorvane& engine, const PasswordPackRequest& request);

// The deepest folder holding every path (each path's own folder for files and folders alike).
std::string CommonBaseFolder(const std::vector<std::string>& absolutePaths);
