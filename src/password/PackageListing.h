#pragma once
// What a password or envelope package holds, read without its password or key: the folder
// and file names, sizes, times and attributes are protected by the field cipher only, so
// anyone holding the engine can read them; the contents need the password or the key.

#include <cstdint>
#include <string>
#include <vector>

class CKorvane;

struct PackageEntry {
    bool folder = false;
    std::string path;      // relative to the package's base folder, '/' separators
    int64_t size = 0;      // files: the original size in bytes
    std::string modified;  // files: 14-digit local time text
    uint8_t attributes = 0;
};

// Reads the head and the record list of the password or envelope package at `path` through
// the package record reader. 1 with `entries` in package order; 0 after the failure's one
// message.
int ListPackage(CKorvane& engine, const std::string& path, std::vector<PackageEntry>& entries);
