// Envelope packages end to end: seal and open one large file for two recipients with cipher 46
// and digest 42, beside the fused bound of the same run: the library cipher in 64-bit OFB, the
// CRC and SHA-0 over the same 307,200-byte blocks.

#include <gcrypt.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "Bench.h"
#include "BenchFiles.h"
#include "engine/Crc16.h"
#include "engine/Korvane.h"
#include "engine/Sha0.h"
#include "envelope/EnvelopePackager.h"
#include "logon/LogonStore.h"
#include "platform/ScriptedHost.h"

namespace {

namespace fs = std::filesystem;
using Clock = BenchClock;

constexpr size_t kBlock = 307200;

void BenchEnvelope() {
    fs::path work = fs::temp_directory_path() / ("varnex-bench-env-" + std::to_string(::getpid()));
    fs::create_directories(work / "src");
    ScriptedHost host;
    ScopedUiHost installedHost(host);
    LogonStore store(logon::KeyCost{16, 8, 1});
    if (!store.Open((work / "suite").string()) || store.AddUser("alice", "Alice", "a@example.org", "pw-alice") == 0 ||
        store.AddUser("bob", "Bob", "b@example.org", "pw-bob") == 0 || !store.LogOn("alice", "pw-alice")) {
        std::printf("  no store: %s\n", store.LastError().c_str());
        return;
    }
    ScopedLogonLibrary installed(&store);
    const size_t kLarge = size_t{256} << 20;
    MakeFile(work / "src/large.bin", kLarge, 7);
    const double bound = FusedBound();
    std::printf("  fused bound (IDEA-OFB + CRC + SHA-0): %.1f MB/s\n", bound);

    CKorvane engine;
    EnvelopePackRequest request;
    request.packagePath = (work / "large.vrk").string();
    request.paths = {(work / "src/large.bin").string()};
    request.baseFolder = (work / "src").string();
    request.recipients = {"bob"};
    request.cipherId = 46;
    auto t0 = Clock::now();
    int sealed = PackEnvelope(engine, request);
    double seal = Seconds(t0);
    fs::create_directories(work / "out");
    CKorvane reader;
    reader.m_presetOutFolder = (work / "out").string();
    t0 = Clock::now();
    int opened = sealed == 1 ? reader.EnvelopDecryptFiles(request.packagePath.c_str(), nullptr, 0, 1) : 0;
    double open = Seconds(t0);
    if (sealed != 1 || opened != 1)
        for (const std::string& text : host.MessageTexts()) std::printf("  failed: %s\n", text.c_str());
    PrintRatio("  256 MiB file, envelope seal", kLarge / seal / 1e6, bound);
    PrintRatio("  256 MiB file, envelope open", kLarge / open / 1e6, bound);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("  peak RSS: %ld KiB\n", usage.ru_maxrss);
    fs::remove_all(work);
}

}  // namespace

VARNEX_BENCH("envelope", BenchEnvelope);
