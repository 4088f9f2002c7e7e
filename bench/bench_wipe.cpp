// Secure deletion: random fill of one 256 MiB file and zero fill of 2,000 small files, beside
// a plain loop doing the same writes and flushes in the same run.

#include <fcntl.h>
#include <openssl/rand.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "Bench.h"
#include "BenchFiles.h"
#include "drivers/Scrubber.h"
#include "engine/Korvane.h"
#include "platform/ScriptedHost.h"

namespace {

namespace fs = std::filesystem;
using Clock = BenchClock;

constexpr size_t kLarge = size_t{256} << 20;
constexpr size_t kSmallFiles = 2000;
constexpr size_t kSmallSize = 16384;

// A file of `size` bytes already on the disk, so a wipe measures overwriting, not allocation.
void MakeFile(const fs::path& path, size_t size) {
    std::vector<unsigned char> block(307200, 0x5a);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    for (size_t done = 0; done < size;) {
        size_t n = std::min(block.size(), size - done);
        if (::write(fd, block.data(), n) != static_cast<ssize_t>(n)) break;
        done += n;
    }
    ::fsync(fd);
    ::close(fd);
}

// One pass of the same 20,480-byte random block over the whole file, flushed, then unlinked.
double PlainRandomPass(const fs::path& path) {
    std::vector<unsigned char> block(20480);
    RAND_bytes(block.data(), static_cast<int>(block.size()));
    auto t0 = Clock::now();
    int fd = ::open(path.c_str(), O_RDWR);
    for (size_t done = 0; done < kLarge; done += block.size())
        if (::pwrite(fd, block.data(), block.size(), static_cast<off_t>(done)) < 0) break;
    ::fdatasync(fd);
    ::close(fd);
    ::unlink(path.c_str());
    return Seconds(t0);
}

double EngineWipe(const fs::path& path, bool random) {
    std::string list = path.string() + '\0' + '\0';
    CKorvane engine;
    auto t0 = Clock::now();
    if (random)
        engine.TrueDelFileOrDir(list.data(), 0);
    else
        engine.DelFileOrDir(list.data(), 0);
    return Seconds(t0);
}

void MakeSmallFiles(const fs::path& folder) {
    fs::create_directories(folder);
    for (size_t i = 0; i < kSmallFiles; ++i) MakeFile(folder / ("f" + std::to_string(i)), kSmallSize);
}

// The same zero writes, flushes and removals over the folder's files, in a plain loop.
double PlainZeroPass(const fs::path& folder) {
    std::vector<unsigned char> zeros(10240, 0);
    auto t0 = Clock::now();
    for (size_t i = 0; i < kSmallFiles; ++i) {
        std::string path = (folder / ("f" + std::to_string(i))).string();
        int fd = ::open(path.c_str(), O_RDWR);
        if (::pwrite(fd, zeros.data(), zeros.size(), 0) < 0) break;
        ::fdatasync(fd);
        ::close(fd);
        ::unlink(path.c_str());
    }
    ::rmdir(folder.c_str());
    return Seconds(t0);
}

void BenchWipe() {
    ScriptedHost host;
    ScopedUiHost installed(host);
    fs::path work = fs::temp_directory_path() / ("varnex-bench-wipe-" + std::to_string(::getpid()));
    fs::create_directories(work);
    ::setenv("TMPDIR", work.c_str(), 1);  // the delete log stays inside the work folder

    // The plain loop runs first and last and its better time is the bound, so writeback left
    // over from making the files counts against neither side.
    auto plainPass = [&] {
        MakeFile(work / "plain", kLarge);
        ::sync();
        return kLarge / PlainRandomPass(work / "plain") / 1e6;
    };
    double plain = plainPass();
    MakeFile(work / "engine", kLarge);
    ::sync();
    double engine = kLarge / EngineWipe(work / "engine", true) / 1e6;
    MakeFile(work / "module", kLarge);
    ::sync();
    auto t0 = Clock::now();
    ScrubFile((work / "module").c_str());
    double module = kLarge / Seconds(t0) / 1e6;
    plain = std::max(plain, plainPass());
    std::printf("  plain loop, one random pass + fdatasync         %9.1f MB/s\n", plain);
    PrintRatio("256 MiB file, random fill (varnex wipe)", engine, plain);
    PrintRatio("256 MiB file, wipe module (ScrubFile)", module, plain);

    MakeSmallFiles(work / "plain-tree");
    ::sync();
    double plainFiles = kSmallFiles / PlainZeroPass(work / "plain-tree");
    MakeSmallFiles(work / "tree");
    ::sync();
    double engineFiles = kSmallFiles / EngineWipe(work / "tree", false);
    std::printf("  2,000 files, plain zero pass + fdatasync        %9.1f files/s\n", plainFiles);
    std::printf(
        "  2,000 files, zero fill (varnex wipe --zero)     %9.1f files/s  (%.2f of the plain loop; %.1f MB/s "
        "of file data)\n",
        engineFiles, engineFiles / plainFiles, engineFiles * kSmallSize / 1e6);
    ::unsetenv("TMPDIR");
    fs::remove_all(work);
}

}  // namespace

VARNEX_BENCH("wipe", BenchWipe);
