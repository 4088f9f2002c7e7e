#pragma once
// The whole making of one envelope package of files and folder trees for the logged-on user
// and further registered users, in the order its format needs: template head, recipient
// entries from the logon library, a fresh session key, the walk, the end record, the
// encryption pass. Written under a temporary name beside its final place and moved there only
// when complete, so a failed pack leaves no package behind and never destroys an existing file.

#include <cstdint>
#include <string>
#include <vector>

#include "formats/EncryptArgs.h"
#include "platform/Window.h"

class CKorvane;
class ILogon;

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
    // Recipient entries made by the caller (shared encryption): when not empty they are the
    // package's recipients as they stand, and `recipients` is not read.
    std::vector<Decrypt_UserInfo> entries;
};

// Where a pack that answered 0 stopped, for callers that treat the steps differently.
enum class EnvelopePackFailure { kNone, kNotLoggedOn, kOutput, kRecipients, kWalk, kEncryption, kCommit };

// 1 when the package is complete at packagePath; 0 after the failure's message (none when
// nobody is logged on). *failure (when given) tells the step that failed.
int PackEnvelope(CKorvane& engine, const EnvelopePackRequest& request, EnvelopePackFailure* failure = nullptr);

// The recipient entry of a registered user as envelope packages of kind 2 store it: display
// text "ID\nname<e-mail>", the key text of the user's key record, the user number. Shows
// "公钥不存在，不能加密." and answers false when the user has no installed certificate.
bool FillRecipient(ILogon& logon, const std::string& userId, Decrypt_UserInfo& entry);
