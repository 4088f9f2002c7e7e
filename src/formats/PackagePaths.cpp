#include "formats/PackagePaths.h"

std::string FolderPart(const std::string& path) {
    size_t slash = path.rfind(kSep);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NamePart(const std::string& path) {
    size_t slash = path.rfind(kSep);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithSeparator(std::string folder) {
    if (folder.empty() || folder.back() != kSep) folder += kSep;
    return folder;
}

std::string ToStoredFolder(const std::string& native) {
    std::string stored = native;
    for (char& c : stored)
        if (c == kSep) c = kStoredSep;
    return stored;
}

std::string FromStoredFolder(const std::string& stored) {
    std::string native = stored;
    for (char& c : native)
        if (c == kStoredSep) c = kSep;
    return native;
}

bool IsSafeStoredFolder(const std::string& stored) {
    std::string native = FromStoredFolder(stored);
    if (!native.empty() && native[0] == kSep) return false;
    if (native.find('\0') != std::string::npos) return false;
    size_t start = 0;
    while (start <= native.size()) {
        size_t end = native.find(kSep, start);
        std::string part = native.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part == "..") return false;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return true;
}

bool IsSafeStoredName(const std::string& stored) {
    return !stored.empty() && stored != "." && stored != ".." && stored.find(kSep) == std::string::npos &&
           stored.find(kStoredSep) == std::string::npos && stored.find('\0') == std::string::npos;
}
