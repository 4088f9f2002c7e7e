// The path rules by which the package walkers relate folders to a package's base folder.
// Paths are native ("/"-separated) byte strings of at most 259 bytes in 260-byte buffers.
// Case is folded for ASCII letters only; multi-byte characters compare as units.

#include <cstring>
#include <string>

#include "engine/Korvane.h"
#include "logon/ILogon.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace {

constexpr char kSeparator = '/';

// Copies text into a 260-byte buffer; false (and out untouched) when it does not fit.
bool CopyPath(const std::string& text, char* out) {
    if (text.size() >= static_cast<size_t>(kMaxPath)) return false;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

}  // namespace

int CKorvane::DirEqualNoCase(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return 0;
    size_t la = std::strlen(a), lb = std::strlen(b);
    return EqualNoCase({a, la}, {b, lb}) ? 1 : 0;
}

void CKorvane::AddDirSeg(char* path) {
    if (path == nullptr) return;
    size_t n = std::strlen(path);
    if (n == 0 || path[n - 1] != kSeparator) {
        path[n] = kSeparator;
        path[n + 1] = '\0';
    }
}

int CKorvane::GetRelativePath(char* baseFolder, char* folder, char* out) {
    size_t lb = strnlen(baseFolder, kMaxPath), lf = strnlen(folder, kMaxPath);
    // A buffer without room for the separator it may need holds no path the walkers make.
    if (lb >= kMaxPath - 1u || lf >= kMaxPath - 1u) return 0;
    AddDirSeg(baseFolder);
    AddDirSeg(folder);
    lb = std::strlen(baseFolder);
    lf = std::strlen(folder);
    if (!StartsWithNoCase({folder, lf}, {baseFolder, lb})) return 0;
    std::memmove(out, folder + lb, lf - lb + 1);
    return 1;
}

int CKorvane::GetParentDirectory(const char* path, char* out) try {
    EngineCall call(m_context);
    if (path == nullptr || out == nullptr || *path == '\0') return 0;
    ILogon* logon = LogonLibrary();
    if (logon ? logon->FileExists(path) != 0 : IsExistingFile(path)) {
        std::string folder;
        if (logon) {
            logon->SplitFolder(path, folder);
        } else {
            folder = path;
            size_t last = folder.rfind(kSeparator);
            if (last == std::string::npos) return 0;
            folder.erase(last + 1);
        }
        return CopyPath(folder, out) ? 1 : 0;
    }
    if (!(logon ? logon->FolderExists(path) != 0 : IsExistingFolder(path))) return 0;
    std::string folder(path);
    if (!folder.empty() && folder.back() == kSeparator) folder.pop_back();
    size_t last = folder.rfind(kSeparator);
    if (last == std::string::npos) return 0;
    return CopyPath(folder.substr(0, last + 1), out) ? 1 : 0;
} catch (...) {
    return EntryFailed(m_context, 0);
}

void CKorvane::SeperateUserInfo(const char* text, char* first, char* second) {
    if (text == nullptr || first == nullptr || second == nullptr) return;
    const char* feed = std::strchr(text, '\n');
    if (feed == nullptr) {
        std::memmove(first, text, std::strlen(text) + 1);
        second[0] = '\0';
        return;
    }
    size_t head = static_cast<size_t>(feed - text);
    std::string rest(feed + 1);  // text may share a buffer with first
    std::memmove(first, text, head);
    first[head] = '\0';
    std::memcpy(second, rest.c_str(), rest.size() + 1);
}
