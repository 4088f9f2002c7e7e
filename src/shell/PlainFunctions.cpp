// Recognising secured files, the size forms of a number and the walk that measures a
// selection.

#include "shell/PlainFunctions.h"

#include <cstring>
#include <string>
#include <vector>

#include "engine/EngineContext.h"
#include "logon/ILogon.h"
#include "platform/FileSystem.h"
#include "platform/FolderList.h"
#include "platform/PathInfo.h"
#include "platform/Text.h"
#include "shell/Messages.h"

namespace {

// A folder's own description file; never counted as part of the selection.
constexpr const char* kFolderInfoName = "dirinfo";

bool ExistingFile(const std::string& path) {
    ILogon* logon = LogonLibrary();
    return logon ? logon->FileExists(path) != 0 : IsExistingFile(path);
}

// Adds a folder and everything below it. A symbolic link inside is never followed: it
// could lead out of the selection or round in a loop.
bool WalkFolder(const std::string& folder, int64_t* size, int64_t* files, int64_t* folders) {
    *folders += 1;
    std::string base = folder;
    if (base.back() != '/') base += '/';
    std::vector<std::string> names;
    FolderListing listing = ListFolder(base, names);
    bool ok = listing != FolderListing::Broken;  // an unreadable folder counts as walked
    for (const std::string& name : names) {
        if (name == kFolderInfoName) continue;
        std::string path = base + name;
        PathInfo info;
        if (!LookUpPath(path, &info, false)) {
            ok = false;  // it went away while the walk ran
            continue;
        }
        if (info.kind == PathKind::Folder) {
            if (!WalkFolder(path, size, files, folders)) ok = false;
        } else if (info.kind == PathKind::File) {
            *files += 1;
            *size += static_cast<int64_t>(info.identity.size);
        }
    }
    return ok;
}

}  // namespace

int IsEncryptedFile(const char* path) try {
    if (path == nullptr || !ExistingFile(path)) return 0;
    std::string name = LogonSplitName(path);
    size_t dot = name.rfind('.');
    if (dot == std::string::npos) return 0;
    std::string ext = name.substr(dot + 1);
    return LogonEqualNoCase(ext, "vrk") || LogonEqualNoCase(ext, "idi") ? 1 : 0;
} catch (...) {
    return EntryFailed(EngineContext{}, 0);
}

void FromatLargeNumber(int64_t n, std::string* grouped, std::string* scaled) try {
    double value = static_cast<double>(n);
    if (scaled) {
        if (n < 1024)
            *scaled = MessageText(msg::shell::ScaledBytes, static_cast<long long>(n));
        else if (n < 1048576)
            *scaled = Format("%.2f KB", value / 1024);
        else if (n < 1048576000)
            *scaled = Format("%.2f MB", value / 1048576);
        else
            *scaled = Format("%.2f GB", value / 1073741824);
    }
    if (grouped) {
        std::string digits = Format("%.0f", value);
        // The sign stays in front of the first group.
        size_t start = !digits.empty() && digits[0] == '-' ? 1 : 0;
        for (size_t i = digits.size(); i > start + 3; i -= 3) digits.insert(i - 3, ",");
        *grouped = digits;
    }
} catch (...) {
    EntryFailed(EngineContext{});
}

int Collect_FDs_Info(char* list, int64_t* size, int64_t* files, int64_t* folders) try {
    int64_t ignoredSize = 0, ignoredFiles = 0, ignoredFolders = 0;
    if (!size) size = &ignoredSize;
    if (!files) files = &ignoredFiles;
    if (!folders) folders = &ignoredFolders;
    *size = *files = *folders = 0;
    for (const char* p = list; p != nullptr && *p != '\0'; p += std::strlen(p) + 1) {
        PathInfo info;
        // A named link is followed, as the user selected what it points to.
        if (!LookUpPath(p, &info, true)) return 0;
        if (info.kind == PathKind::Folder) {
            if (!WalkFolder(p, size, files, folders)) return 0;
        } else if (info.kind == PathKind::File) {
            *files += 1;
            *size += static_cast<int64_t>(info.identity.size);
        } else {
            return 0;
        }
    }
    return 1;
} catch (...) {
    return EntryFailed(EngineContext{}, 0);
}
