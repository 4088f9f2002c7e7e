// Deleting files and folder trees so that their content does not stay readable: every file
// is overwritten (its beginning with zeros, or all of it with random bytes), the overwrite
// is flushed to the disk, the file is unlinked, and the emptied folders are removed. Every
// entry is attempted; what stays, and every file whose content could not be overwritten (one
// with other names, one nobody may write), is listed in the delete log.

#include <openssl/rand.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "engine/Korvane.h"
#include "logon/ILogon.h"
#include "platform/FileSystem.h"
#include "platform/FolderList.h"
#include "platform/Overwrite.h"
#include "platform/PathInfo.h"
#include "platform/Text.h"
#include "wipe/DeleteLog.h"

namespace {

// Zero fill overwrites this much of every file's beginning: enough to destroy the head of
// a secured file and the start of any other, at the same cost for every file size.
constexpr size_t kZeroFillBlock = 10240;
// Random fill writes this one block, drawn once per file, over the whole file.
constexpr size_t kRandomFillBlock = 20480;

// A file that holds a folder's own description; it is never deleted, so the folder that
// holds it stays.
constexpr const char* kFolderInfoName = "dirinfo";

bool PassedOver(const std::string& name) { return name == kFolderInfoName; }

// "DIR/." and "DIR/.." name a folder by way of another (DIR may be a link): never deleted, as
// rm refuses them.
bool EndsInDotOrDotDot(const std::string& path) {
    const std::string last = path.substr(path.find_last_of('/') + 1);
    return last == "." || last == "..";
}

// The root folder, by whatever name: never wiped, whoever asks.
bool IsRootFolder(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real && std::strcmp(real.get(), "/") == 0;
}

// Seeds the random generator with the local time as decimal numbers without padding, as
// every random fill does before drawing its block.
void SeedFromClock() {
    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    std::string seed = Format("%d%d%d%d%d%d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                              local.tm_min, local.tm_sec);
    RAND_seed(seed.data(), static_cast<int>(seed.size()));
}

bool RandomFill(int fd, uint64_t length, int* error) {
    // Zeroed first: should the generator fail, no stale memory reaches the disk.
    unsigned char block[kRandomFillBlock] = {};
    size_t blockLength = static_cast<size_t>(std::min<uint64_t>(length, kRandomFillBlock));
    SeedFromClock();
    RAND_bytes(block, static_cast<int>(blockLength));
    return OverwriteRepeating(fd, length, block, blockLength, error);
}

bool ZeroFill(int fd, uint64_t length, int* error) {
    static const unsigned char kZeros[kZeroFillBlock] = {};
    return OverwriteRepeating(fd, std::min<uint64_t>(length, kZeroFillBlock), kZeros, kZeroFillBlock, error);
}

std::string WithSeparator(const char* folder) {
    std::string path(folder);
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

}  // namespace

int CKorvane::DelFileOrDir(char* pathList, int flag) try {
    EngineCall call(m_context);
    (void)flag;
    return DeletePathList(pathList, false);
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::TrueDelFileOrDir(char* pathList, int flag) try {
    EngineCall call(m_context);
    (void)flag;
    return DeletePathList(pathList, true);
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::DeletePathList(const char* pathList, bool randomFill) {
    int result = 1;
    DeleteLog log;
    CFile* logFile = nullptr;
    if (log.Create()) {
        std::string heading = Format(kDeleteLogHeading, kDeleteLogLineEnd);
        if (fWriteBuf(&log, heading.data(), heading.size())) logFile = &log;
    }
    for (const char* p = pathList; p != nullptr && *p != '\0'; p += std::strlen(p) + 1) {
        std::string path(p);
        // "link/" would name the link's target; the entry named is the link itself.
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        if (EndsInDotOrDotDot(path)) {
            WriteDeleteLogEntry(logFile, path.c_str(), kDeleteLogDotRefused);
            result = 0;
            continue;
        }
        const PathKind kind = KindOfPath(path);
        if (kind == PathKind::Folder && IsRootFolder(path)) {
            WriteDeleteLogEntry(logFile, path.c_str(), kDeleteLogRootRefused);
            result = 0;
            continue;
        }
        switch (kind) {
            case PathKind::File:
            case PathKind::Link:
                if (!DeleteEntryAt(kCurrentFolder, path.c_str(), path, logFile, randomFill)) result = 0;
                break;
            case PathKind::Folder: {
                int files = DeleteFilesBelow(path.c_str(), logFile, randomFill);
                int folders = RemoveEmptyDir(path.c_str(), logFile, 0);
                if (!files || !folders) result = 0;
                break;
            }
            case PathKind::Missing:
            case PathKind::Other:
                break;  // nothing this call deletes
        }
    }
    bool logged = logFile != nullptr;
    log.Abort();
    if (!randomFill && result == 0 && logged) {
        if (ILogon* logon = LogonLibrary()) logon->OpenResult(log.Path());
    }
    return result;
}

int CKorvane::DelFile(const char* path, CFile* log, int flag) {
    (void)flag;
    return DeleteEntryAt(kCurrentFolder, path, path, log, false);
}

int CKorvane::TrueDelFile(const char* path, CFile* log, int flag) {
    (void)flag;
    return DeleteEntryAt(kCurrentFolder, path, path, log, true);
}

int CKorvane::DeleteEntryAt(int folderFd, const char* name, const std::string& path, CFile* log, bool randomFill) {
    // A regular file is wiped through a descriptor held from the first look on; a link or a
    // special file is unlinked as it is, never followed or opened.
    UniqueFd held = HoldAt(folderFd, name);
    PathInfo info;
    if (held.Valid() && LookUpOpen(held.Get(), &info) && info.kind == PathKind::File) {
        int error = 0;
        std::string leftAs;
        switch (WipeHeldFile(folderFd, name, held.Get(), randomFill ? RandomFill : ZeroFill, &error, &leftAs)) {
            case WipeOutcome::kWiped:
                if (m_wipeObserver) m_wipeObserver(path, {});
                return 1;
            case WipeOutcome::kOtherNames:
                WriteDeleteLogEntry(log, path.c_str(), kDeleteLogOtherNames);
                return 0;
            case WipeOutcome::kNotOverwritten:
                WriteDeleteLogEntry(log, path.c_str(), Format(kDeleteLogNotOverwritten, std::strerror(error)));
                return 0;
            case WipeOutcome::kReplaced:
                WriteDeleteLogEntry(
                    log, path.c_str(),
                    leftAs.empty() ? std::string(kDeleteLogReplaced) : Format(kDeleteLogReplacedAside, leftAs.c_str()));
                return 0;
            case WipeOutcome::kNotRemoved:
                WriteDeleteLogEntry(log, path.c_str(), error);
                return 0;
        }
    }
    if (RemoveAt(folderFd, name, false)) {
        if (m_wipeObserver) m_wipeObserver(path, {});
        return 1;
    }
    WriteDeleteLogEntry(log, path.c_str(), errno);
    return 0;
}

int CKorvane::DelFilesOfDirectory(const char* folder, CFile* log, int flag) {
    (void)flag;
    return DeleteFilesBelow(folder, log, false);
}

int CKorvane::TrueDelFilesOfDirectory(const char* folder, CFile* log, int flag) {
    (void)flag;
    return DeleteFilesBelow(folder, log, true);
}

int CKorvane::DeleteFilesBelow(const char* folder, CFile* log, bool randomFill) {
    if (KindOfPath(folder) != PathKind::Folder) return 0;
    UniqueFd handle = OpenFolderAt(kCurrentFolder, folder);
    // A folder that cannot be read is reported when its removal fails.
    if (!handle.Valid()) return 1;
    return DeleteFilesIn(handle.Get(), WithSeparator(folder), log, randomFill);
}

int CKorvane::DeleteFilesIn(int folderFd, const std::string& folderPath, CFile* log, bool randomFill) {
    std::vector<std::string> names;
    FolderListing listing = ListOpenFolder(folderFd, names);
    if (listing == FolderListing::CannotStart) return 1;
    int result = listing == FolderListing::Complete ? 1 : 0;
    for (const std::string& name : names) {
        if (PassedOver(name)) continue;
        std::string path = folderPath + name;
        int done = 1;
        if (KindAt(folderFd, name.c_str()) == PathKind::Folder) {
            UniqueFd sub = OpenFolderAt(folderFd, name.c_str());
            if (sub.Valid()) done = DeleteFilesIn(sub.Get(), path + '/', log, randomFill);
        } else {
            done = DeleteEntryAt(folderFd, name.c_str(), path, log, randomFill);
        }
        if (!done) result = 0;
    }
    return result;
}

int CKorvane::RemoveEmptyDir(const char* folder, CFile* log, int flag) {
    (void)flag;
    if (KindOfPath(folder) != PathKind::Folder) return 0;
    std::string base = WithSeparator(folder);
    UniqueFd handle = OpenFolderAt(kCurrentFolder, folder);
    if (!handle.Valid()) return RemoveSingleEmptyDir(base.c_str(), log);
    int result = RemoveFoldersIn(handle.Get(), base, log);
    handle.Reset();
    if (result == 1 && !RemoveSingleEmptyDir(base.c_str(), log)) result = 0;
    return result;
}

int CKorvane::RemoveFoldersIn(int folderFd, const std::string& folderPath, CFile* log) {
    std::vector<std::string> names;
    int result = ListOpenFolder(folderFd, names) == FolderListing::Complete ? 1 : 0;
    for (const std::string& name : names) {
        if (PassedOver(name)) continue;
        // Anything but a folder is a file that stayed; its folder stays too.
        if (KindAt(folderFd, name.c_str()) != PathKind::Folder) {
            result = 0;
            continue;
        }
        std::string path = folderPath + name + '/';
        UniqueFd sub = OpenFolderAt(folderFd, name.c_str());
        int emptied = sub.Valid() ? RemoveFoldersIn(sub.Get(), path, log) : 1;
        sub.Reset();
        if (!emptied) {
            result = 0;
        } else if (!RemoveAt(folderFd, name.c_str(), true)) {
            WriteDeleteLogEntry(log, path.c_str(), errno);
            result = 0;
        }
    }
    return result;
}

int CKorvane::RemoveSingleEmptyDir(const char* folder, CFile* log) {
    if (RemoveEmptyFolder(folder)) return 1;
    WriteDeleteLogEntry(log, folder, errno);
    return 0;
}

void CKorvane::WriteDeleteLogEntry(CFile* log, const char* path, int error) {
    if (m_wipeObserver) {
        const char* text = error != 0 ? std::strerror(error) : "";
        m_wipeObserver(path, text != nullptr && *text != '\0' ? text : "?");
    }
    if (log == nullptr) return;
    std::string entry = DeleteLogEntryText(path, error);
    fWriteBuf(log, entry.data(), entry.size());
}

void CKorvane::WriteDeleteLogEntry(CFile* log, const char* path, const std::string& reason) {
    if (m_wipeObserver) m_wipeObserver(path, reason);
    if (log == nullptr) return;
    std::string entry = Format(kDeleteLogEntry, path, reason.c_str(), kDeleteLogLineEnd);
    fWriteBuf(log, entry.data(), entry.size());
}
