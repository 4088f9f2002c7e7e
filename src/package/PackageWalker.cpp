#include "package/PackageWalker.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "engine/Korvane.h"
#include "formats/PackagePaths.h"
#include "formats/PackageRecords.h"
#include "package/Messages.h"
#include "password/Messages.h"
#include "platform/AtomicFile.h"
#include "platform/FolderList.h"
#include "platform/MessageBox.h"
#include "platform/PathInfo.h"
#include "platform/PrintableText.h"
#include "platform/Text.h"

namespace {

// The stored separator has no escape: a name holding it would read back as a nested path.
bool RefuseStoredSeparator(const std::string& name, const std::string& path) {
    if (name.find(kStoredSep) == std::string::npos) return false;
    ShowMessage(msg::package::StoredSeparatorInName, path);
    return true;
}

// True when `path` is the package being written: a package never packs itself.
bool IsThePackage(CFile* package, const std::string& path) { return SameTarget(package->GetFilePath(), path); }

// Folder names differ by letter case on this platform: "A/" and "a/" are two folders, and
// taking them for one would file the second folder's files under the first.
bool SameFolder(const std::string& a, const std::string& b) { return a == b; }

}  // namespace

void PackageWalker::ShowSearchFailed(const std::string& path, int error) {
    ShowMessage(msg::package::SearchFailed, error == 0 ? path : path + "\n" + std::strerror(error));
}

int PackageWalker::ReadPlainHead(CKorvane& engine, CFile* package, EncryptFlag* head, char* baseFolder,
                                 char* workPath) {
    unsigned long got = 0;
    if (!engine.fSeekToBegin(package) || !engine.fReadBuf(package, head, sizeof *head, &got, 1)) return 0;
    head->baseFolder[kBaseFolderSize - 1] = '\0';
    std::string base = WithSeparator(head->baseFolder);
    std::snprintf(baseFolder, kMaxPath, "%s", base.c_str());
    std::snprintf(workPath, kMaxPath, "%s", base.c_str());
    return 1;
}

void PackageWalker::ShowLeftOut(const CKorvane& engine) {
    if (engine.m_leftOutEntries.empty()) return;
    std::string list;
    // One line each, whatever the names hold: a line feed in a name must not forge a line.
    for (const std::string& e : engine.m_leftOutEntries) list += "\n" + EscapeText(e);
    ShowMessage(msg::package::LeftOut, list);
}

int PackageWalker::AddDirectory(CFile* package, const std::string& folder) {
    std::string base = m_baseFolder;
    // The folder must lie under the base folder and, as a path, fit where the walkers keep it.
    if (folder.compare(0, base.size(), base) != 0 || folder.size() >= kMaxPath) {
        ShowSearchFailed(folder, folder.size() >= kMaxPath ? ENAMETOOLONG : 0);
        return 0;
    }
    if (RefuseStoredSeparator(folder.substr(base.size()), folder)) return 0;
    std::string relative = ToStoredFolder(folder.substr(base.size()));
    if (relative.size() >= kRecordNameRoom) {
        ShowSearchFailed(folder, ENAMETOOLONG);
        return 0;
    }
    std::snprintf(m_workPath, kMaxPath, "%s", folder.c_str());
    return WritePlainDirectoryRecord(m_engine.Records(), package, relative) ? 1 : 0;
}

int PackageWalker::AddFile(CFile* package, const std::string& folder, const std::string& name, int* itemCount) {
    if (!SameFolder(folder, m_workPath) && !AddDirectory(package, folder)) return 0;
    if (RefuseStoredSeparator(name, folder + name)) return 0;
    // A name that would read back as a folder path cannot be restored as this file.
    if (!IsSafeStoredName(name)) {
        ShowSearchFailed(folder + name);
        return 0;
    }
    if (name.size() >= kRecordNameRoom || std::strlen(m_workPath) + name.size() >= kMaxPath) {
        ShowSearchFailed(folder + name, ENAMETOOLONG);
        return 0;
    }
    if (!WritePlainFileRecord(m_engine.Records(), package, name)) return 0;
    ++*itemCount;
    return 1;
}

int PackageWalker::WalkList(const char* pathList, CFile* package, int* recordStart, int* itemCount) {
    *itemCount = 0;
    m_engine.m_leftOutEntries.clear();
    for (const char* p = pathList; *p; p += std::strlen(p) + 1) {
        if (std::strlen(p) >= kMaxPath) {
            ShowSearchFailed(p, ENAMETOOLONG);
            return 0;
        }
        if (!Walk(p, package, recordStart, itemCount)) return 0;
    }
    return 1;
}

int PackageWalker::Walk(const char* path, CFile* package, int* recordStart, int* itemCount) {
    uint64_t length = 0;
    try {
        length = package->GetLength();
    } catch (const CFileException&) {
        length = 0;
    }
    if (length < kHeadSize) {
        ShowMessage(msg::package::BadHead);
        return 0;
    }
    if (length == kHeadSize) {
        EncryptFlag head;
        if (!ReadPlainHead(m_engine, package, &head, m_baseFolder, m_workPath) || !m_engine.fSeekToEnd(package) ||
            !m_writeBlock(package, head))
            return 0;
        // A failed position query throws to the guard of the walk's entry (a read error).
        *recordStart = static_cast<int>(package->GetPosition());
    }
    if (!m_engine.fSeekToEnd(package)) return 0;

    std::string target = path;
    if (IsExistingFile(target)) {
        if (IsThePackage(package, target)) return 1;
        return AddFile(package, FolderPart(target), NamePart(target), itemCount);
    }

    // A path given here (a link to one is followed) is a file or a folder; anything else
    // (a pipe, a device, a dangling link) has no content to pack and is refused by name.
    if (!IsExistingFolder(target)) {
        ShowMessage(msg::password::NotFileOrFolder, target);
        return 0;
    }
    std::string folder = WithSeparator(target);
    if (!SameFolder(folder, m_workPath) && !AddDirectory(package, folder)) return 0;
    UniqueFd handle = OpenNamedFolder(folder);
    if (!handle.Valid()) {
        ShowSearchFailed(folder, errno);
        return 0;
    }
    return WalkFolder(handle.Get(), folder, package, itemCount);
}

int PackageWalker::WalkFolder(int folderFd, const std::string& folder, CFile* package, int* itemCount) {
    std::vector<FolderEntry> entries;
    if (ListFolderEntries(folderFd, entries) != FolderListing::Complete) {
        // A folder listed in part, or not at all, would silently be left out of the package.
        ShowSearchFailed(folder);
        return 0;
    }
    for (const FolderEntry& e : entries) {
        if (e.name == "dirinfo") continue;
        std::string entry = folder + e.name;
        // Inside a tree nothing is followed: a linked folder could lead back into the tree or
        // out of it, a linked file could be anyone's. Links and special files (also a folder
        // swapped for one since the listing) are left out and named to the caller.
        PathKind kind = e.kind;
        UniqueFd sub;
        if (kind == PathKind::Folder && !OpenListedFolder(folderFd, e.name, &sub, &kind)) {
            ShowSearchFailed(WithSeparator(entry));
            return 0;
        }
        if (kind == PathKind::Folder) {
            std::string subFolder = WithSeparator(entry);
            // The failures below have shown their messages already.
            if (!AddDirectory(package, subFolder) || !WalkFolder(sub.Get(), subFolder, package, itemCount)) return 0;
        } else if (kind == PathKind::File) {
            if (IsThePackage(package, entry) || IsTempName(e.name)) continue;
            if (!AddFile(package, folder, e.name, itemCount)) return 0;
        } else if (kind != PathKind::Missing) {  // a missing entry went away meanwhile
            m_engine.m_leftOutEntries.push_back(entry);
        }
    }
    return 1;
}
