// Encryption in place: 2,000 files of 1-64 KiB, each into its own signed envelope package under
// a generated name, flushed, the original wiped; beside one large file (the cost per byte) and,
// measured alone in the same run, what each file cannot avoid: an RSA-2048 private-key
// operation (the signature), a public-key wrap, one fsync of a file and its folder, one wipe,
// and the unlock of the private key at the program's PBKDF2 count.

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "Bench.h"
#include "BenchFiles.h"
#include "advanced/AdvanceEmcrypt.h"
#include "drivers/Scrubber.h"
#include "logon/LogonKeys.h"
#include "logon/LogonStore.h"
#include "platform/ScriptedHost.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSmallFiles = 2000;

// Milliseconds per call of fn, over `calls` calls.
template <typename Fn>
double MsPerCall(int calls, Fn fn) {
    auto t0 = BenchClock::now();
    for (int i = 0; i < calls; ++i) fn(i);
    return Seconds(t0) * 1000.0 / calls;
}

// Encrypts every file of `files` in place; seconds, or a negative value after a failure.
double EncryptAll(CAdvanceEmcrypt& engine, const std::vector<std::string>& files, ScriptedHost& host) {
    std::string list;
    for (const std::string& f : files) list.append(f).push_back('\0');
    list.push_back('\0');
    auto t0 = BenchClock::now();
    engine.EncryptMuchFiles(list.c_str(), "alice", "pw-alice", nullptr);
    double seconds = Seconds(t0);
    size_t made = 0;
    for (const auto& o : engine.m_outcomes) made += o.package.empty() ? 0 : 1;
    if (made != files.size()) {
        for (const std::string& text : host.MessageTexts()) std::printf("  failed: %s\n", text.c_str());
        return -1;
    }
    return seconds;
}

void BenchEncrypt() {
    fs::path work = fs::temp_directory_path() / ("varnex-bench-enc-" + std::to_string(::getpid()));
    fs::create_directories(work / "small");
    ScriptedHost host;
    ScopedUiHost installedHost(host);
    // The test PBKDF2 count: the key unlock at the program's count is measured on its own below.
    LogonStore store(logon::KeyCost{16, 8, 1});
    if (!store.Open((work / "suite").string()) || store.AddUser("alice", "Alice", "a@example.org", "pw-alice") == 0 ||
        !store.LogOn("alice", "pw-alice")) {
        std::printf("  no store: %s\n", store.LastError().c_str());
        return;
    }
    ScopedLogonLibrary installed(&store);

    std::mt19937 sizes(11);
    std::vector<std::string> small;
    uint64_t smallBytes = 0;
    for (int i = 0; i < kSmallFiles; ++i) {
        size_t size = 1024 + sizes() % (63 * 1024 + 1);
        small.push_back((work / "small" / ("f" + std::to_string(i) + ".dat")).string());
        MakeFile(small.back(), size, static_cast<unsigned>(i));
        smallBytes += size;
    }
    const size_t kLarge = size_t{64} << 20;
    MakeFile(work / "large.bin", kLarge, 3);

    CAdvanceEmcrypt engine;
    double large = EncryptAll(engine, {(work / "large.bin").string()}, host);
    double batch = EncryptAll(engine, small, host);
    if (large <= 0 || batch <= 0) {
        fs::remove_all(work);
        return;
    }
    const double perByte = large / kLarge;
    const double fixedMs = (batch - perByte * static_cast<double>(smallBytes)) * 1000.0 / kSmallFiles;
    std::printf("  64 MiB file in place: %.1f MB/s\n", kLarge / large / 1e6);
    std::printf("  %d files of 1-64 KiB (%.1f MB): %.1f files/s, %.1f MB/s\n", kSmallFiles, smallBytes / 1e6,
                kSmallFiles / batch, smallBytes / batch / 1e6);
    std::printf("  fixed cost per file (batch less its bytes at the large file's rate): %.2f ms\n", fixedMs);

    // What a file cannot avoid, each measured alone.
    logon::PkeyPtr key = logon::GenerateRsaKey(2048);
    unsigned char digest[20] = {1, 2, 3}, out[512];
    size_t length = 0;
    double sign = MsPerCall(200, [&](int) {
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key.get(), nullptr);
        EVP_PKEY_sign_init(ctx);
        EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
        length = sizeof out;
        EVP_PKEY_sign(ctx, out, &length, digest, sizeof digest);
        EVP_PKEY_CTX_free(ctx);
    });
    double wrap = MsPerCall(200, [&](int) { logon::WrapWithPublicKey(key.get(), digest, 16, out, sizeof out); });
    fs::create_directories(work / "alone");
    std::vector<char> block(32 * 1024, 'x');
    double fsyncs = MsPerCall(200, [&](int i) {
        std::string path = (work / "alone" / std::to_string(i)).string();
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (::write(fd, block.data(), block.size()) < 0 || ::fsync(fd) != 0) std::printf("  fsync failed\n");
        ::close(fd);
        int dir = ::open((work / "alone").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::fsync(dir);
        ::close(dir);
    });
    double wipe = MsPerCall(200, [&](int i) { ScrubFile((work / "alone" / std::to_string(i)).string().c_str()); });
    const std::string pem = logon::ExportPrivateKeyPem(key.get(), "pw", 2);
    double unlock = MsPerCall(3, [&](int) { logon::ImportPrivateKeyPem(pem, "pw", 2); });
    std::printf(
        "  alone: RSA-2048 signature %.2f ms, RSA wrap %.3f ms, fsync of file and folder %.2f ms, wipe of "
        "32 KiB %.2f ms\n",
        sign, wrap, fsyncs, wipe);
    std::printf("  fixed cost / (signature + fsync): %.2fx (goal: within 2x)\n", fixedMs / (sign + fsyncs));
    std::printf("  key unlock at the program's cost (scrypt N=%llu r=%u p=%u): %.1f ms, paid once per batch\n",
                static_cast<unsigned long long>(logon::kKeyCost.n), logon::kKeyCost.r, logon::kKeyCost.p, unlock);
    fs::remove_all(work);
}

}  // namespace

VARNEX_BENCH("encrypt", BenchEncrypt);
