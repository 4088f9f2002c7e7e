#include "drivers/Scrubber.h"

#include <openssl/rand.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/Overwrite.h"

namespace {

// One block of random bytes, drawn once per file and written over the whole file: what an
// overwrite destroys does not depend on the bytes differing from block to block, and drawing
// fresh bytes for every block would cost a fifth of the pass.
constexpr size_t kScrubBlockSize = 307200;

bool OverwriteWithRandom(int fd, uint64_t length) {
    std::unique_ptr<unsigned char[]> block(new unsigned char[kScrubBlockSize]);
    size_t blockLength = static_cast<size_t>(std::min<uint64_t>(kScrubBlockSize, length));
    if (blockLength > 0 && RAND_bytes(block.get(), static_cast<int>(blockLength)) != 1) return false;
    int error = 0;
    return OverwriteRepeating(fd, length, block.get(), blockLength, &error);
}

}  // namespace

int ScrubFile(const char* path) {
    if (path == nullptr || *path == '\0') return 0;
    switch (KindOfPath(path)) {
        case PathKind::Missing:
            return 1;
        case PathKind::Folder:
            return 0;
        case PathKind::Link:
        case PathKind::Other:
            return ::unlink(path) == 0 ? 1 : 0;
        case PathKind::File:
            break;
    }
    uint64_t length = 0;
    int error = 0;
    FileHandle file = OpenForOverwrite(path, &length, &error);
    if (file.IsOpen() && OverwriteWithRandom(file.Get(), length)) {
        // Truncating drops the blocks' mapping, so the name's removal leaves no length behind.
        if (::ftruncate(file.Get(), 0) == 0) ::fdatasync(file.Get());
    }
    file.Reset();
    return ::unlink(path) == 0 || KindOfPath(path) == PathKind::Missing ? 1 : 0;
}
