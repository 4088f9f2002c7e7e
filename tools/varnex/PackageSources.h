#pragma once
// What the package-writing commands (pack, envelope) read from their arguments alike: the
// package path, the paths to pack, the base folder and the cipher, checked the same way.

#include <cstdint>
#include <string>
#include <vector>

#include "Cli.h"
#include "platform/SourceBytes.h"

struct PackageSources {
    std::string packagePath;         // absolute
    std::vector<std::string> paths;  // absolute, each named once, each existing
    std::string baseFolder;          // absolute; every path lies under it
    int cipherId = 0;                // 0: the engine's default
};

// Fills `sources` from the package named `output` (not empty), --base, --cipher and the
// positionals (at least one). Returns -1 when the command may go on, else the exit code after
// the one message said (missing or too long paths, an unknown cipher, a base folder not holding
// every path, an existing package without --force).
int ReadPackageSources(const Command& self, const ArgParser& parsed, const std::string& output,
                       PackageSources& sources);

// Copies what the sources say into a packager's request (password or envelope: both carry
// these four fields).
template <typename Request>
void TakeSources(const PackageSources& sources, Request& request) {
    request.packagePath = sources.packagePath;
    request.paths = sources.paths;
    request.baseFolder = sources.baseFolder;
    request.cipherId = sources.cipherId;
}
