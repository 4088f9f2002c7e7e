// open: reads each file's head itself, whatever its name, and does what the file is for. A file
// named as one of ours that holds none of them is refused with a message and left as it is;
// any other file shows its properties.

#include <strings.h>

#include <cstring>

#include "Actions.h"
#include "Messages.h"
#include "engine/CheckedRecordIo.h"
#include "engine/Korvane.h"
#include "formats/EncryptFlag.h"
#include "mail/MailLayout.h"
#include "platform/CFile.h"
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

// Mail packages have a head of their own, sealed as one block: its first four bytes unseal to
// "QL30". A file named ".qlt" is handed to the mail reader whatever it holds, which says why it
// refuses it.
bool IsMailPackage(const std::string& path) {
    if (path.size() > 4 && strcasecmp(path.c_str() + path.size() - 4, ".qlt") == 0) return true;
    CFile file;
    CFileException error;
    char lead[4] = {};
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyNone, &error)) return false;
    try {
        if (file.Read(lead, sizeof lead) != sizeof lead) return false;
    } catch (const CFileException&) {
        return false;
    }
    CheckedRecordIo io;
    if (!io.Decipher(lead, sizeof lead, lead)) return false;
    return std::memcmp(lead, kMailMagic, 2) == 0 && std::memcmp(lead + 2, kMailVersion, 2) == 0;
}

// The names the desktop gives our kinds: a file the file manager sent here for its name alone.
bool NamedAsOurs(const std::string& path) {
    for (const char* extension : {kPasswordPackageExtension, kEnvelopeExtension, ".idi"}) {
        const size_t length = std::strlen(extension);
        if (path.size() > length && strcasecmp(path.c_str() + path.size() - length, extension) == 0) return true;
    }
    return false;
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
                // What the file manager took for ours by its name may be anything: it is judged
                // by what it holds, never by its name.
                if (IsMailPackage(path)) {
                    one = OpenMailPackage(job, path);
                } else if (NamedAsOurs(path)) {
                    ShowMessage(msg::desktop::NotAPackage, path);
                    one = 0;
                } else {
                    DispFileProperty(path.c_str());
                }
                break;
        }
        if (one < 0) return one;
        if (one != 1) result = 0;
    }
    return result;
}
