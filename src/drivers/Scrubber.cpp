#include "drivers/Scrubber.h"

#include <openssl/rand.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/FileSystem.h"
#include "platform/Overwrite.h"

namespace {

// One block of random bytes, drawn once per file and written over the whole file: what an
// overwrite destroys does not depend on the bytes differing from block to block, and drawing
// fresh bytes for every block would cost a fifth of the pass.
constexpr size_t kScrubBlockSize = 307200;

// Overwrites the whole file, then truncates it: dropping the blocks' mapping leaves no length
// behind once the name is gone.
bool OverwriteWithRandom(int fd, uint64_t length, int* error) {
    std::unique_ptr<unsigned char[]> block(new unsigned char[kScrubBlockSize]);
    size_t blockLength = static_cast<size_t>(std::min<uint64_t>(kScrubBlockSize, length));
    if (blockLength > 0 && RAND_bytes(block.get(), static_cast<int>(blockLength)) != 1) {
        *error = EIO;
        return false;
    }
    if (!OverwriteRepeating(fd, length, block.get(), blockLength, error)) return false;
    TruncateAndFlush(fd);
    return true;
}

}  // namespace

WipeOutcome ScrubHeldFile(const std::string& path, int held, int* error, std::string* leftAs) {
    return WipeHeldFile(kCurrentFolder, path, held, OverwriteWithRandom, error, leftAs);
}

int ScrubFile(const char* path) {
    if (path == nullptr || *path == '\0') return 0;
    switch (KindOfPath(path)) {
        case PathKind::Missing:
            return 1;
        case PathKind::Folder:
            return 0;
        case PathKind::Link:
        case PathKind::Other:
            return RemoveName(path) ? 1 : 0;
        case PathKind::File:
            break;
    }
    UniqueFd held = HoldAt(kCurrentFolder, path);
    int error = 0;
    std::string leftAs;
    if (held.Valid()) ScrubHeldFile(path, held.Get(), &error, &leftAs);
    return KindOfPath(path) == PathKind::Missing ? 1 : 0;
}

WipeOutcome ScrubRegularFile(const char* path, const FileIdentity& expected) {
    if (path == nullptr || *path == '\0' || KindOfPath(path) != PathKind::File) return WipeOutcome::kNotRemoved;
    UniqueFd held = HoldAt(kCurrentFolder, path);
    FileIdentity identity;
    if (!held.Valid() || !IdentityOf(held.Get(), &identity)) return WipeOutcome::kNotRemoved;
    if (!SameFile(identity, expected)) return WipeOutcome::kReplaced;
    int error = 0;
    std::string leftAs;
    return ScrubHeldFile(path, held.Get(), &error, &leftAs);
}
