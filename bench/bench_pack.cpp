// Password packages end to end: pack and restore a large file and a tree of small files,
// beside the bound of the raw cipher plus the CRC over the same blocks in the same run.

#include <gcrypt.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "Bench.h"
#include "BenchFiles.h"
#include "engine/Crc16.h"
#include "engine/Korvane.h"
#include "password/PasswordPackager.h"
#include "platform/ScriptedHost.h"

namespace {

namespace fs = std::filesystem;
using Clock = BenchClock;

constexpr size_t kBlock = 307200;

// MB/s of the raw library cipher in 64-bit OFB plus the CRC over 307,200-byte blocks.
double RawBound(int cipherId) {
    int algo = cipherId == 45 ? GCRY_CIPHER_DES : cipherId == 62 ? GCRY_CIPHER_3DES : GCRY_CIPHER_IDEA;
    size_t keyLength = cipherId == 45 ? 8 : cipherId == 62 ? 24 : 16;
    gcry_cipher_hd_t hd = nullptr;
    gcry_cipher_open(&hd, algo, GCRY_CIPHER_MODE_OFB, 0);
    std::vector<unsigned char> key(keyLength, 0x42), iv(8, 0x24), block(kBlock, 0x11), out(kBlock);
    gcry_cipher_setkey(hd, key.data(), key.size());
    gcry_cipher_setiv(hd, iv.data(), iv.size());
    volatile uint16_t sink = 0;
    double mbps = MeasureMBps(
        [&] {
            gcry_cipher_encrypt(hd, out.data(), out.size(), block.data(), block.size());
            sink = Crc16Update(0xFFFF, out.data(), out.size());
        },
        kBlock);
    gcry_cipher_close(hd);
    return mbps;
}

struct Timing {
    double pack, restore;
};

Timing PackAndRestore(const fs::path& work, const fs::path& source, int cipher) {
    ScriptedHost host;
    ScopedUiHost installed(host);
    CKorvane engine;
    PasswordPackRequest request;
    request.packagePath = (work / "bench.pkg").string();
    request.paths = {source.string()};
    request.baseFolder = source.parent_path().string();
    request.password = "bench-password";
    request.cipherId = cipher;
    auto t0 = Clock::now();
    if (PackWithPassword(engine, request) != 1)
        for (const std::string& text : host.MessageTexts()) std::printf("  pack failed: %s\n", text.c_str());
    double pack = Seconds(t0);
    fs::remove_all(work / "out");
    fs::create_directories(work / "out");
    CKorvane reader;
    reader.m_presetOutFolder = (work / "out").string();
    reader.m_batchPassword = request.password;
    reader.m_passwordKnown = 1;
    t0 = Clock::now();
    if (reader.SymmtryDecryptFiles(request.packagePath.c_str(), nullptr, 0, 1) != 1)
        for (const std::string& text : host.MessageTexts()) std::printf("  restore failed: %s\n", text.c_str());
    double restore = Seconds(t0);
    fs::remove(request.packagePath);
    fs::remove_all(work / "out");
    return {pack, restore};
}

// Seconds the built varnex program (beside this benchmark) takes for `args`, as a user runs it;
// -1 when it fails.
double RunVarnex(const fs::path& work, const std::string& args) {
    const fs::path program = fs::read_symlink("/proc/self/exe").parent_path() / "varnex";
    const std::string command = program.string() + " --home " + (work / "home").string() + " --quiet " + args +
                                " </dev/null >/dev/null 2>" + (work / "cli.err").string();
    auto t0 = Clock::now();
    int status = std::system(command.c_str());
    double seconds = Seconds(t0);
    if (status == 0) return seconds;
    std::printf("  varnex %s failed (status %d)\n", args.c_str(), status);
    return -1;
}

// `varnex pack` and `varnex decrypt` of the large file, wall time including start and the
// final flush.
void CommandLine(const fs::path& work, size_t bytes, double bound) {
    { std::ofstream(work / "pw") << "bench-password\n"; }
    const std::string package = (work / "cli.pkg").string(), out = (work / "cli-out").string();
    double pack = RunVarnex(work, "--new-password-file " + (work / "pw").string() + " pack -o " + package + " --base " +
                                      (work / "src").string() + " " + (work / "src/large.bin").string());
    fs::create_directories(out);
    double restore = pack > 0 ? RunVarnex(work, "--package-password-file " + (work / "pw").string() +
                                                    " decrypt --keep --to " + out + " " + package)
                              : -1;
    if (pack > 0) PrintRatio("    256 MiB file, varnex pack", bytes / pack / 1e6, bound);
    if (restore > 0) PrintRatio("    256 MiB file, varnex decrypt", bytes / restore / 1e6, bound);
    fs::remove(package);
    fs::remove_all(out);
}

void BenchPack() {
    fs::path work = fs::temp_directory_path() / ("varnex-bench-" + std::to_string(::getpid()));
    fs::create_directories(work / "src");
    const size_t kLarge = size_t{256} << 20, kSmall = size_t{16} << 20;

    MakeFile(work / "src/small.bin", kSmall, 1);
    PackAndRestore(work, work / "src/small.bin", 46);
    std::printf("  peak RSS after a 16 MiB package:  %ld KiB\n", PeakRssKiB());
    MakeFile(work / "src/large.bin", kLarge, 2);

    fs::create_directories(work / "src/tree");
    std::mt19937 rng(3);
    size_t treeBytes = 0;
    for (int i = 0; i < 2000; ++i) {
        size_t size = 1024 + rng() % (63 * 1024);
        fs::path folder = work / "src/tree" / ("d" + std::to_string(i / 100));
        fs::create_directories(folder);
        MakeFile(folder / ("f" + std::to_string(i)), size, static_cast<unsigned>(i));
        treeBytes += size;
    }
    for (int cipher : {46, 45, 62}) {
        double bound = RawBound(cipher);
        std::printf("  cipher %d: raw cipher + CRC bound %.1f MB/s\n", cipher, bound);
        Timing large = PackAndRestore(work, work / "src/large.bin", cipher);
        double packMbps = kLarge / large.pack / 1e6, restoreMbps = kLarge / large.restore / 1e6;
        PrintRatio("    256 MiB file, pack", packMbps, bound);
        PrintRatio("    256 MiB file, restore", restoreMbps, bound);
        if (cipher == 46) CommandLine(work, kLarge, bound);
        Timing tree = PackAndRestore(work, work / "src/tree", cipher);
        double treePack = treeBytes / tree.pack / 1e6, treeRestore = treeBytes / tree.restore / 1e6;
        PrintRatio("    2,000-file tree, pack", treePack, bound);
        PrintRatio("    2,000-file tree, restore", treeRestore, bound);
        std::printf("    tree time per byte / large file time per byte: pack %.2f, restore %.2f\n", packMbps / treePack,
                    restoreMbps / treeRestore);
    }
    std::printf("  peak RSS after 256 MiB packages:  %ld KiB\n", PeakRssKiB());
    fs::remove_all(work);
}

}  // namespace

VARNEX_BENCH("pack", BenchPack);
