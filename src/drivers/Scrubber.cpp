#include "drivers/Scrubber.h"

#include <openssl/rand.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/Overwrite.h"

namespace {

// Large enough that a pass runs at the disk's speed, small enough to stay out of the way.
constexpr size_t kScrubBlockSize = 307200;

// Writes fresh random bytes over the whole file, block by block, then flushes them.
bool OverwriteWithRandom(int fd, uint64_t length) {
    std::unique_ptr<unsigned char[]> block(new unsigned char[kScrubBlockSize]);
    for (uint64_t done = 0; done < length;) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(kScrubBlockSize, length - done));
        if (RAND_bytes(block.get(), static_cast<int>(chunk)) != 1) return false;
        size_t written = 0;
        while (written < chunk) {
            ssize_t n = ::pwrite(fd, block.get() + written, chunk - written, static_cast<off_t>(done + written));
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            written += static_cast<size_t>(n);
        }
        done += chunk;
    }
    return ::fdatasync(fd) == 0 || errno == EINVAL;
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
