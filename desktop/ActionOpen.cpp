// open: reads each file's head itself, whatever its name, and does what the file is for.

#include <strings.h>

#include "Actions.h"
#include "Messages.h"
#include "engine/Korvane.h"
#include "formats/EncryptFlag.h"
#include "shell/PlainFunctions.h"

namespace {

int Decrypt(CKorvane& engine, const std::string& package) {
    std::string list = package;
    list.push_back('\0');
    list.push_back('\0');
    const int result = engine.KeloDecryptFile(list.c_str(), nullptr, 0);
    if (result == 0) ShowMessage(msg::desktop::NotDecrypted, package);
    return result;
}

// Mail packages have a head of their own: they are known by name.
bool IsMailPackageName(const std::string& path) {
    return path.size() > 4 && strcasecmp(path.c_str() + path.size() - 4, ".qlt") == 0;
}

}  // namespace

int OpenFiles(ActionJob& job) {
    int result = 1;
    for (const std::string& path : job.files) {
        EncryptFlag head{};
        const bool secured = job.engine.GetEncryptedFileHead(path.c_str(), &head, 0) == 1;
        int one = 1;
        switch (secured ? head.kind : 0) {
            case kKindPassword:
            case kKindEnvelope:
            case kKindShared:
                one = Decrypt(job.engine, path);
                break;
            case kKindSignUser:
            case kKindSignMail:
                one = job.engine.Verify_One_File(path.c_str());
                if (one != 1) ShowMessage(msg::desktop::NotVerified, path);
                break;
            default:
                if (IsMailPackageName(path))
                    one = OpenMailPackage(job, path);
                else
                    DispFileProperty(path.c_str());
                break;
        }
        if (one < 0) return one;
        if (one != 1) result = 0;
    }
    return result;
}
