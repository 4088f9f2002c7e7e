// Package names of in-place encryption and the collection of the files still to encrypt.
//
// A generated name is drawn from the process's random generator; the time text only seeds it
// (with the attempt number, so that every attempt feeds it something new). A name is taken
// only when nothing (not even a dangling link) is at that place, and it is always a single
// name inside the source's own folder: the extension comes from the source's name, which holds
// no separator.

#include <openssl/rand.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "advanced/AdvanceEmcrypt.h"
#include "advanced/Messages.h"
#include "engine/Options.h"
#include "formats/PackagePaths.h"
#include "package/PackageWalker.h"
#include "platform/AtomicFile.h"
#include "platform/FileSystem.h"
#include "platform/FolderList.h"
#include "platform/MessageBox.h"
#include "platform/Overwrite.h"
#include "platform/PathInfo.h"
#include "platform/Text.h"

namespace {

constexpr long kMaxNameAttempts = 99999999;

// Whether something is at path. Only a successful look counts: a place that cannot be looked
// at (a name too long, a folder that cannot be searched) ends the search, and the package's
// creation then reports why.
bool Taken(const std::string& path) { return NameIsTaken(path); }

// `count` letters or digits: random bytes that are neither become the digit of their value
// modulo 10.
std::string RandomChars(const std::string& seed, size_t count) {
    RAND_seed(seed.data(), static_cast<int>(seed.size()));
    unsigned char bytes[16] = {};
    if (RAND_bytes(bytes, static_cast<int>(count)) != 1) {
        std::random_device device;
        for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>(device());
    }
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        unsigned char b = bytes[i];
        bool alnum = (b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
        out += alnum ? static_cast<char>(b) : static_cast<char>('0' + b % 10);
    }
    return out;
}

std::string TimeSeed() {
    std::time_t now = std::time(nullptr);
    std::tm gmt{};
    gmtime_r(&now, &gmt);
    char text[64] = {};
    std::strftime(text, sizeof text, "%m/%d/%y %H:%M:%S GMT", &gmt);
    return text;
}

// The first free name folder + chars [+ "." + ext] + ".vrk" (folder ends with a separator).
std::string FreeName(const std::string& folder, const std::string& ext, size_t chars, long step) {
    const std::string seed = TimeSeed();
    std::string candidate;
    for (long n = 0; n < kMaxNameAttempts; n += step) {
        std::string name = RandomChars(seed + std::to_string(n), chars);
        candidate = folder + name + (ext.empty() ? "" : "." + ext) + ".vrk";
        if (!Taken(candidate)) break;
    }
    return candidate;
}

// A name that does not fit a path buffer is never cut short (a cut "x.vrk" could name the source
// itself): out is left empty instead.
void CopyOut(char* out, const std::string& text) {
    if (text.size() >= static_cast<size_t>(kMaxPath)) {
        out[0] = '\0';
        return;
    }
    std::memcpy(out, text.c_str(), text.size() + 1);
}

// Appends path and its NUL to the caller's heap buffer. Shows the memory message and answers
// false when it cannot grow.
bool Append(const std::string& path, char** buffer, int* used) {
    const size_t grow = path.size() + 1;
    if (*used < 0 || static_cast<size_t>(*used) > static_cast<size_t>(INT_MAX) - grow) {
        ShowMessage(msg::advanced::OutOfMemory);
        return false;
    }
    char* grown = static_cast<char*>(std::realloc(*buffer, static_cast<size_t>(*used) + grow));
    if (grown == nullptr) {
        ShowMessage(msg::advanced::OutOfMemory);
        return false;
    }
    std::memcpy(grown + *used, path.c_str(), grow);
    *buffer = grown;
    *used += static_cast<int>(grow);
    return true;
}

}  // namespace

void CAdvanceEmcrypt::Generate_EncryptFileName(const char* path, char* out) {
    if (!OptionIsTrue("Option", "RandFileName", "TRUE")) {
        CopyOut(out, Format("%s.vrk", path));
        return;
    }
    CopyOut(out, FreeName(FolderOfPath(path), ExtensionOfPath(path), 8, 1));
}

void CAdvanceEmcrypt::Generate_RandomEncryptFileName(char* folder, const char* ext, char* out) try {
    EngineCall call(m_context);
    AddDirSeg(folder);
    CopyOut(out, FreeName(folder, ext ? ext : "", 10, 17));
} catch (...) {
    EntryFailed(m_context);
}

int CAdvanceEmcrypt::Collect_EncryptFileName(const char* path, char** buffer, int* used) try {
    EngineCall call(m_context);
    if (path == nullptr || buffer == nullptr || used == nullptr) return 0;
    const std::string target = path;
    if (KindOfPath(target) == PathKind::Link && IsExistingFile(target)) {
        // A link to a file is not encrypted in place: its package would stand beside the link
        // and the wipe would remove the link, leaving the file it names readable as before.
        m_leftOutEntries.push_back(target);
        return 1;
    }
    // Packages are collected too: the batch passes over them by name and lists them as skipped.
    if (IsExistingFile(target)) return Append(target, buffer, used) ? 1 : 0;
    if (!IsExistingFolder(target)) return 0;

    // Below the named folder nothing is followed: links and special files (also a folder swapped
    // for one since the listing) are left out and named to the caller. A folder that cannot be
    // listed in full fails the collection: encrypting the rest would leave its files plain
    // without a word.
    struct Walk {
        CAdvanceEmcrypt& engine;
        char** buffer;
        int* used;
        bool Folder(int folderFd, const std::string& folder) {
            std::vector<FolderEntry> entries;
            if (ListFolderEntries(folderFd, entries) != FolderListing::Complete) {
                PackageWalker::ShowSearchFailed(folder);
                return false;
            }
            for (const FolderEntry& e : entries) {
                if (e.name == "dirinfo") continue;
                const std::string entry = folder + e.name;
                PathKind kind = e.kind;
                UniqueFd sub;
                if (kind == PathKind::Folder && !OpenListedFolder(folderFd, e.name, &sub, &kind)) {
                    PackageWalker::ShowSearchFailed(WithSeparator(entry));
                    return false;
                }
                if (kind == PathKind::Folder) {
                    if (!Folder(sub.Get(), WithSeparator(entry))) return false;
                } else if (kind == PathKind::File) {
                    if (IsTempName(e.name) || FoldAscii(entry).find("/my documents/desktop.ini") != std::string::npos)
                        continue;
                    if (!Append(entry, buffer, used)) return false;
                } else if (kind != PathKind::Missing) {  // a missing entry went away meanwhile
                    engine.m_leftOutEntries.push_back(entry);
                }
            }
            return true;
        }
    } walk{*this, buffer, used};
    const std::string folder = WithSeparator(target);
    UniqueFd handle = OpenNamedFolder(folder);
    if (!handle.Valid()) {
        PackageWalker::ShowSearchFailed(folder);
        return 0;
    }
    return walk.Folder(handle.Get(), folder) ? 1 : 0;
} catch (...) {
    return EntryFailed(m_context, 0);
}
