#include "package/PackageWalker.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/Korvane.h"
#include "formats/PackageRecords.h"
#include "password/PackagePaths.h"
#include "platform/MessageBox.h"

namespace {

const char kSearchFailed[] = "搜索文件出错";

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

int PackageWalker::AddDirectory(CFile* package, const std::string& folder) {
    std::string base = m_baseFolder;
    // The folder must lie under the base folder and, as a path, fit where the walkers keep it.
    if (folder.compare(0, base.size(), base) != 0 || folder.size() >= kMaxPath) {
        AfxMessageBox(kSearchFailed);
        return 0;
    }
    std::string relative = ToStoredFolder(folder.substr(base.size()));
    if (relative.size() >= kRecordNameCap) {
        AfxMessageBox(kSearchFailed);
        return 0;
    }
    std::snprintf(m_workPath, kMaxPath, "%s", folder.c_str());
    return WritePlainDirectoryRecord(m_engine, package, relative) ? 1 : 0;
}

int PackageWalker::AddFile(CFile* package, const std::string& folder, const std::string& name, int* itemCount) {
    if (!SameFolder(folder, m_workPath) && !AddDirectory(package, folder)) return 0;
    // A name that would read back as a folder path cannot be restored as this file.
    if (!IsSafeStoredName(name) || name.size() >= kRecordNameCap || std::strlen(m_workPath) + name.size() >= kMaxPath) {
        AfxMessageBox(kSearchFailed);
        return 0;
    }
    if (!WritePlainFileRecord(m_engine, package, name)) return 0;
    ++*itemCount;
    return 1;
}

int PackageWalker::WalkList(const char* pathList, CFile* package, int* recordStart, int* itemCount) {
    *itemCount = 0;
    for (const char* p = pathList; *p; p += std::strlen(p) + 1) {
        if (std::strlen(p) >= kMaxPath) {
            AfxMessageBox(kSearchFailed);
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

    // A folder, or a path that names neither: the latter is collected as an empty folder.
    std::string folder = WithSeparator(target);
    if (!SameFolder(folder, m_workPath) && !AddDirectory(package, folder)) return 0;
    std::vector<std::string> names;
    if (!ListFolder(folder, names)) {
        // A folder that exists but cannot be listed would silently be left out of the package.
        if (!IsExistingFolder(folder)) return 1;
        AfxMessageBox(kSearchFailed);
        return 0;
    }
    for (const std::string& name : names) {
        std::string entry = folder + name;
        struct stat link {};
        if (::lstat(entry.c_str(), &link) != 0) continue;
        // Folders are followed only when they are real folders: a linked folder could lead
        // back into the tree. Other special files (pipes, devices) have no content to pack.
        if (S_ISDIR(link.st_mode)) {
            if (!AddDirectory(package, WithSeparator(entry))) return 0;
            // The failure below has shown its message already.
            if (!Walk(entry.c_str(), package, recordStart, itemCount)) return 0;
        } else if (IsExistingFile(entry) && !IsThePackage(package, entry)) {
            if (!AddFile(package, folder, name, itemCount)) return 0;
        }
    }
    return 1;
}
