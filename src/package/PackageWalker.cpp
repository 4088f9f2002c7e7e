#include "package/PackageWalker.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/Korvane.h"
#include "formats/PackagePaths.h"
#include "formats/PackageRecords.h"
#include "platform/AtomicFile.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace {

const char kSearchFailed[] = "搜索文件出错";

// The walk's failure, naming the path it stopped at (a path beyond the rooms the walkers
// keep paths in, or a folder that cannot be listed), so the user knows which one to move.
void SearchFailed(const std::string& path) { AfxMessageBox(std::string(kSearchFailed) + "\n" + path); }
const char kNotFileOrFolder[] = "\"%s\"不是文件或文件夹，不能加密。";

// The stored separator has no escape: a name holding it would read back as a nested path.
bool RefuseStoredSeparator(const std::string& name, const std::string& path) {
    if (name.find(kStoredSep) == std::string::npos) return false;
    AfxMessageBox(Format("\"%s\"的名称中含有字符\"\\\"，不能加密。", path.c_str()));
    return true;
}

// True when `path` is the package being written: a package never packs itself.
bool IsThePackage(CFile* package, const std::string& path) {
    struct stat a = {};
    struct stat b = {};
    return ::stat(package->GetFilePath().c_str(), &a) == 0 && ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

// Folder names differ by letter case on this platform: "A/" and "a/" are two folders, and
// taking them for one would file the second folder's files under the first.
bool SameFolder(const std::string& a, const std::string& b) { return a == b; }

// Entries of a folder in name order, without ".", ".." and "dirinfo"; false when the folder
// cannot be listed.
bool ListFolder(const std::string& folder, std::vector<std::string>& names) {
    DIR* d = ::opendir(folder.c_str());
    if (!d) return false;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == ".." || name == "dirinfo") continue;
        names.push_back(std::move(name));
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return true;
}

}  // namespace

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
    std::string text = "以下链接或特殊文件没有加密:";
    for (const std::string& e : engine.m_leftOutEntries) text += "\n" + e;
    AfxMessageBox(text, MB_ICONINFORMATION);
}

int PackageWalker::AddDirectory(CFile* package, const std::string& folder) {
    std::string base = m_baseFolder;
    // The folder must lie under the base folder and, as a path, fit where the walkers keep it.
    if (folder.compare(0, base.size(), base) != 0 || folder.size() >= kMaxPath) {
        SearchFailed(folder);
        return 0;
    }
    if (RefuseStoredSeparator(folder.substr(base.size()), folder)) return 0;
    std::string relative = ToStoredFolder(folder.substr(base.size()));
    if (relative.size() >= kRecordNameCap) {
        SearchFailed(folder);
        return 0;
    }
    std::snprintf(m_workPath, kMaxPath, "%s", folder.c_str());
    return WritePlainDirectoryRecord(m_engine, package, relative) ? 1 : 0;
}

int PackageWalker::AddFile(CFile* package, const std::string& folder, const std::string& name, int* itemCount) {
    if (!SameFolder(folder, m_workPath) && !AddDirectory(package, folder)) return 0;
    if (RefuseStoredSeparator(name, folder + name)) return 0;
    // A name that would read back as a folder path cannot be restored as this file.
    if (!IsSafeStoredName(name) || name.size() >= kRecordNameCap || std::strlen(m_workPath) + name.size() >= kMaxPath) {
        SearchFailed(folder + name);
        return 0;
    }
    if (!WritePlainFileRecord(m_engine, package, name)) return 0;
    ++*itemCount;
    return 1;
}

int PackageWalker::WalkList(const char* pathList, CFile* package, int* recordStart, int* itemCount) {
    *itemCount = 0;
    m_engine.m_leftOutEntries.clear();
    for (const char* p = pathList; *p; p += std::strlen(p) + 1) {
        if (std::strlen(p) >= kMaxPath) {
            SearchFailed(p);
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
        AfxMessageBox("加密文件头不正确");
        return 0;
    }
    if (length == kHeadSize) {
        EncryptFlag head;
        if (!ReadPlainHead(m_engine, package, &head, m_baseFolder, m_workPath) || !m_engine.fSeekToEnd(package) ||
            !m_writeBlock(package, head))
            return 0;
        try {
            *recordStart = static_cast<int>(package->GetPosition());
        } catch (const CFileException& e) {
            CKorvane::ShowReadError(e);
            return 0;
        }
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
        AfxMessageBox(Format(kNotFileOrFolder, target.c_str()));
        return 0;
    }
    std::string folder = WithSeparator(target);
    if (!SameFolder(folder, m_workPath) && !AddDirectory(package, folder)) return 0;
    std::vector<std::string> names;
    if (!ListFolder(folder, names)) {
        // A folder that exists but cannot be listed would silently be left out of the package.
        SearchFailed(folder);
        return 0;
    }
    for (const std::string& name : names) {
        std::string entry = folder + name;
        struct stat link {};
        if (::lstat(entry.c_str(), &link) != 0) continue;
        // Inside a tree nothing is followed: a linked folder could lead back into the tree or
        // out of it, a linked file could be anyone's. Links and special files are left out
        // and named to the caller.
        if (S_ISDIR(link.st_mode)) {
            if (!AddDirectory(package, WithSeparator(entry))) return 0;
            // The failure below has shown its message already.
            if (!Walk(entry.c_str(), package, recordStart, itemCount)) return 0;
        } else if (S_ISREG(link.st_mode)) {
            if (IsThePackage(package, entry) || IsTempName(name)) continue;
            if (!AddFile(package, folder, name, itemCount)) return 0;
        } else {
            m_engine.m_leftOutEntries.push_back(entry);
        }
    }
    return 1;
}
