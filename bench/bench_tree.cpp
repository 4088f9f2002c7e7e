// Many small files: a tree of 2,000 files of 1-64 KiB packed and restored as a password package
// and as an envelope package (cipher 46), beside the same tree through `tar` piped to an OpenPGP
// tool with the same cipher and no compression, timed in the same run. Ratios are our time over
// the pipe's time (1.00 is as fast; lower is better).

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "Bench.h"
#include "BenchFiles.h"
#include "engine/Korvane.h"
#include "envelope/EnvelopePackager.h"
#include "logon/LogonStore.h"
#include "password/PasswordPackager.h"
#include "platform/ScriptedHost.h"

namespace {

namespace fs = std::filesystem;
using Clock = BenchClock;

constexpr const char* kPassword = "bench-password";

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// Seconds of one shell pipeline; negative when it failed.
double TimeShell(const std::string& command) {
    auto t0 = Clock::now();
    int status = std::system(command.c_str());
    double seconds = Seconds(t0);
    return status == 0 ? seconds : -1;
}

void Fresh(const fs::path& folder) {
    fs::remove_all(folder);
    fs::create_directories(folder);
}

void ShowFailure(const ScriptedHost& host, const char* what) {
    for (const std::string& text : host.MessageTexts()) std::printf("  %s failed: %s\n", what, text.c_str());
}

void PrintAgainst(const char* what, double ours, double theirs) {
    std::printf("  %-40s %7.3f s  (%.2fx the pipe's %.3f s)\n", what, ours, theirs > 0 ? ours / theirs : 0.0, theirs);
}

void BenchTree() {
    const fs::path work = fs::temp_directory_path() / ("varnex-bench-tree-" + std::to_string(::getpid()));
    const fs::path tree = work / "src/tree";
    std::mt19937 rng(3);
    size_t bytes = 0;
    for (int i = 0; i < 2000; ++i) {
        size_t size = 1024 + rng() % (63 * 1024);
        fs::path folder = tree / ("d" + std::to_string(i / 100));
        fs::create_directories(folder);
        MakeFile(folder / ("f" + std::to_string(i)), size, static_cast<unsigned>(i));
        bytes += size;
    }
    std::printf("  2,000 files, %.1f MB\n", bytes / 1e6);

    // The comparison: tar of the tree through the OpenPGP tool's symmetric encryption, IDEA,
    // no compression, and back; its own home folder so nothing of the user's is touched.
    fs::create_directories(work / "gpg");
    fs::permissions(work / "gpg", fs::perms::owner_all);
    const std::string gpg = "gpg --homedir " + Quoted(work / "gpg") +
                            " --batch --yes --quiet --pinentry-mode loopback --passphrase " + kPassword;
    const double tarPack =
        TimeShell("tar -C " + Quoted(work / "src") + " -cf - tree | " + gpg +
                  " --symmetric --cipher-algo IDEA --compress-algo none -o " + Quoted(work / "tree.gpg"));
    Fresh(work / "out");
    const double tarRestore = TimeShell(gpg + " -d " + Quoted(work / "tree.gpg") + " 2>/dev/null | tar -C " +
                                        Quoted(work / "out") + " -xf -");
    // The tool's agent keeps sockets in its home folder: it goes before the folder does.
    std::system(("gpgconf --homedir " + Quoted(work / "gpg") + " --kill all").c_str());
    if (tarPack < 0 || tarRestore < 0) std::printf("  the tar | gpg pipe failed\n");
    std::printf("  tar | gpg (IDEA, no compression): pack %.3f s, restore %.3f s\n", tarPack, tarRestore);

    std::error_code ignored;
    ScriptedHost host;
    ScopedUiHost installedHost(host);
    {
        CKorvane engine;
        PasswordPackRequest request;
        request.packagePath = (work / "tree.pkg").string();
        request.paths = {tree.string()};
        request.baseFolder = tree.parent_path().string();
        request.password = kPassword;
        request.cipherId = 46;
        auto t0 = Clock::now();
        if (PackWithPassword(engine, request) != 1) ShowFailure(host, "pack");
        PrintAgainst("password package, pack", Seconds(t0), tarPack);
        Fresh(work / "out");
        CKorvane reader;
        reader.m_presetOutFolder = (work / "out").string();
        reader.m_batchPassword = kPassword;
        reader.m_passwordKnown = 1;
        t0 = Clock::now();
        if (reader.SymmtryDecryptFiles(request.packagePath.c_str(), nullptr, 0, 1) != 1) ShowFailure(host, "restore");
        PrintAgainst("password package, restore", Seconds(t0), tarRestore);
    }

    LogonStore store(logon::KeyCost{16, 8, 1});
    if (!store.Open((work / "suite").string()) || store.AddUser("alice", "Alice", "a@example.org", "pw-alice") == 0 ||
        store.AddUser("bob", "Bob", "b@example.org", "pw-bob") == 0 || !store.LogOn("alice", "pw-alice")) {
        std::printf("  no store: %s\n", store.LastError().c_str());
        fs::remove_all(work, ignored);
        return;
    }
    ScopedLogonLibrary installed(&store);
    CKorvane engine;
    EnvelopePackRequest request;
    request.packagePath = (work / "tree.vrk").string();
    request.paths = {tree.string()};
    request.baseFolder = tree.parent_path().string();
    request.recipients = {"bob"};
    request.cipherId = 46;
    auto t0 = Clock::now();
    if (PackEnvelope(engine, request) != 1) ShowFailure(host, "envelope");
    PrintAgainst("envelope package, pack", Seconds(t0), tarPack);
    Fresh(work / "out");
    CKorvane reader;
    reader.m_presetOutFolder = (work / "out").string();
    t0 = Clock::now();
    if (reader.EnvelopDecryptFiles(request.packagePath.c_str(), nullptr, 0, 1) != 1) ShowFailure(host, "open");
    PrintAgainst("envelope package, restore", Seconds(t0), tarRestore);
    fs::remove_all(work, ignored);
}

}  // namespace

VARNEX_BENCH("tree", BenchTree);
