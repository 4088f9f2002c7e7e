#pragma once
// The whole making of one envelope package of files and folder trees for the logged-on user
// and further registered users, in the order its format needs: template head, recipient
// entries from the logon library, a fresh session key, the walk, the end record, the
// encryption pass. Written under a temporary name beside its final place and moved there only
// when complete, so a failed pack leaves no package behind and never destroys an existing file.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Window.h"

class CKorvane;

struct EnvelopePackRequest {
    std::string packagePath;
    std::vector<std::string> paths;       // files and folders, absolute
    std::string baseFolder;               // absolute; every path lies under it
    std::vector<std::string> recipients;  // user IDs; the logged-on user is always one
    int cipherId = 0;                     // 0: the engine's choice for new files
    uint8_t kind = 2;                     // 2, or 8 for a shared package (recipients by key text)
    HWND notifyWindow = nullptr;
    // Whether an existing file at packagePath may be replaced. Without it, a file that is
    // there, or appears while the package is made, is never replaced.
    bool replace = false;
};

// 1 when the package is complete at packagePath; 0 after the failure's message (none when
// nobody is logged on).
int PackEnvelope(CKorvane& engine, const EnvelopePackRequest& request);
