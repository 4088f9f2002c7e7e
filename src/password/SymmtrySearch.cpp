// The collection pass of a password package: the key-check block behind the plain head, then
// one plain record per folder and file, in walk order.

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/Korvane.h"
#include "formats/EncryptArgs.h"
#include "formats/PackageRecords.h"
#include "formats/ProtectedFields.h"
#include "password/PackagePaths.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace {

const char kSearchFailed[] = "搜索文件出错";

// The stored separator has no escape: a name holding it would read back as a nested path.
bool RefuseStoredSeparator(const std::string& name, const std::string& path) {
    if (name.find(kStoredSep) == std::string::npos) return false;
    AfxMessageBox(Format("\"%s\"的名称中含有字符\"\\\"，不能加密。", path.c_str()));
    return true;
}

const char kNotFileOrFolder[] = "\"%s\"不是文件或文件夹，不能加密。";

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

int CKorvane::WritePlainDirectoryRecord(CFile* package, const std::string& folder) {
    std::string base = m_baseFolder;
    // The folder must lie under the base folder and, as a path, fit where the walkers keep it.
    if (folder.compare(0, base.size(), base) != 0 || folder.size() >= kMaxPath) {
        AfxMessageBox(kSearchFailed);
        return 0;
    }
    if (RefuseStoredSeparator(folder.substr(base.size()), folder)) return 0;
    std::string relative = ToStoredFolder(folder.substr(base.size()));
    if (relative.size() >= kRecordNameCap) {
        AfxMessageBox(kSearchFailed);
        return 0;
    }
    std::snprintf(m_workPath, sizeof m_workPath, "%s", folder.c_str());
    const int32_t type = kRecordDirectory, zero = 0, length = static_cast<int32_t>(relative.size());
    const uint16_t crc = 0;
    return fWriteBuf(package, &type, 4) && fWriteBuf(package, &zero, 4) && fWriteBuf(package, &length, 4) &&
           fWriteBuf(package, relative.data(), relative.size()) && fWriteBuf(package, &crc, 2);
}

int CKorvane::WritePlainFileRecord(CFile* package, const std::string& name, int* itemCount) {
    if (RefuseStoredSeparator(name, m_workPath + name)) return 0;
    // A name that would read back as a folder path cannot be restored as this file.
    if (!IsSafeStoredName(name) || name.size() >= kRecordNameCap || std::strlen(m_workPath) + name.size() >= kMaxPath) {
        AfxMessageBox(kSearchFailed);
        return 0;
    }
    const int32_t type = kRecordFile, zero = 0, length = static_cast<int32_t>(name.size());
    // Content length, two times, size, attributes, content CRC and record CRC, all zero for now.
    const unsigned char rest[4 + 2 * kTimeTextSize + 4 + 1 + 2 + 2] = {};
    if (!(fWriteBuf(package, &type, 4) && fWriteBuf(package, &zero, 4) && fWriteBuf(package, &length, 4) &&
          fWriteBuf(package, name.data(), name.size()) && fWriteBuf(package, rest, sizeof rest)))
        return 0;
    ++*itemCount;
    return 1;
}

int CKorvane::EnterFolder(const std::string& relative) {
    if (std::strlen(m_baseFolder) + relative.size() >= sizeof m_workPath) {
        AfxMessageBox(kStructureError);
        return 0;
    }
    std::snprintf(m_workPath, sizeof m_workPath, "%s%s", m_baseFolder, relative.c_str());
    return 1;
}

int CKorvane::ReadPlainPackageHead(CFile* package, EncryptFlag* head) {
    unsigned long got = 0;
    if (!fSeekToBegin(package) || !fReadBuf(package, head, sizeof *head, &got, 1)) return 0;
    head->baseFolder[kBaseFolderSize - 1] = '\0';
    std::string base = WithSeparator(head->baseFolder);
    std::snprintf(m_baseFolder, sizeof m_baseFolder, "%s", base.c_str());
    std::snprintf(m_workPath, sizeof m_workPath, "%s", base.c_str());
    return 1;
}

int CKorvane::WriteKeyCheckBlock(CFile* package, const Sysmetry_Decrypt_Info& info, int* recordStart) {
    EncryptFlag head;
    if (!ReadPlainPackageHead(package, &head)) return 0;

    unsigned char check[kKeyCheckCap];
    int checkLength = 0;
    if (info.keyLength <= 0 || info.keyLength > static_cast<int>(sizeof info.key) || info.ivLength < 0 ||
        info.ivLength > static_cast<int>(sizeof info.iv) ||
        !EncryptKey30(head.cipherId, info.key, info.keyLength, check, &checkLength)) {
        AfxMessageBox("加密失败，请检查密钥设施是否安装好。");
        return 0;
    }
    ProtectedWriter block(*this, package);
    if (!(block.I32(checkLength) && block.Field(check, static_cast<size_t>(checkLength)) && block.I32(info.ivLength) &&
          block.Field(info.iv, static_cast<size_t>(info.ivLength)) && block.Finish()))
        return 0;
    try {
        *recordStart = static_cast<int>(package->GetPosition());
    } catch (const CFileException& e) {
        ShowReadError(e);
        return 0;
    }
    return 1;
}

int CKorvane::Symmtry_SearchFile(const char* pathList, CFile* package, const Sysmetry_Decrypt_Info& info,
                                 int* recordStart, int* itemCount) {
    if (pathList == nullptr || package == nullptr || recordStart == nullptr || itemCount == nullptr) return 0;
    *itemCount = 0;
    m_leftOutEntries.clear();
    for (const char* p = pathList; *p; p += std::strlen(p) + 1) {
        char path[kMaxPath];
        if (std::strlen(p) >= sizeof path) {
            AfxMessageBox(kSearchFailed);
            return 0;
        }
        std::strcpy(path, p);
        if (!Symmtry_SearchSingleFile(path, package, info, recordStart, itemCount)) return 0;
    }
    return 1;
}

int CKorvane::Symmtry_SearchSingleFile(const char* path, CFile* package, const Sysmetry_Decrypt_Info& info,
                                       int* recordStart, int* itemCount) {
    if (path == nullptr || package == nullptr || recordStart == nullptr || itemCount == nullptr) return 0;
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
    if (length == kHeadSize && !WriteKeyCheckBlock(package, info, recordStart)) return 0;
    if (!fSeekToEnd(package)) return 0;

    std::string target = path;
    if (IsExistingFile(target)) {
        if (IsThePackage(package, target)) return 1;
        std::string folder = FolderPart(target);
        if (!SameFolder(folder, m_workPath) && !WritePlainDirectoryRecord(package, folder)) return 0;
        return WritePlainFileRecord(package, NamePart(target), itemCount);
    }

    // A path given here (a link to one is followed) is a file or a folder; anything else
    // (a pipe, a device, a dangling link) has no content to pack and is refused by name.
    if (!IsExistingFolder(target)) {
        AfxMessageBox(Format(kNotFileOrFolder, target.c_str()));
        return 0;
    }
    std::string folder = WithSeparator(target);
    if (!SameFolder(folder, m_workPath) && !WritePlainDirectoryRecord(package, folder)) return 0;
    std::vector<std::string> names;
    if (!ListFolder(folder, names)) {
        // A folder that exists but cannot be listed would silently be left out of the package.
        AfxMessageBox(kSearchFailed);
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
            if (!WritePlainDirectoryRecord(package, WithSeparator(entry))) return 0;
            // The failure below has shown its message already.
            if (!Symmtry_SearchSingleFile(entry.c_str(), package, info, recordStart, itemCount)) return 0;
        } else if (S_ISREG(link.st_mode)) {
            if (IsThePackage(package, entry)) continue;
            if (!SameFolder(folder, m_workPath) && !WritePlainDirectoryRecord(package, folder)) return 0;
            if (!WritePlainFileRecord(package, name, itemCount)) return 0;
        } else {
            m_leftOutEntries.push_back(entry);
        }
    }
    return 1;
}
