// Signature files: signing and verifying one 256 MiB file (digest 42) beside SHA-0 alone over
// the same blocks, and signing many small files beside one RSA-2048 signature measured alone.

#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "Bench.h"
#include "BenchFiles.h"
#include "engine/Korvane.h"
#include "engine/Sha0.h"
#include "formats/EncryptFlag.h"
#include "logon/LogonKeys.h"
#include "logon/LogonStore.h"
#include "platform/ScriptedHost.h"

namespace {

namespace fs = std::filesystem;
using Clock = BenchClock;

constexpr size_t kBlock = 307200;
constexpr const char* kPassword = "bench-password";

std::string PathList(const std::vector<std::string>& paths) {
    std::string list;
    for (const std::string& p : paths) list += p + '\0';
    return list + '\0';
}

double Sha0Bound() {
    std::vector<unsigned char> block(kBlock, 0x5a);
    unsigned char digest[Sha0::kDigestLength];
    Sha0 sha;
    return MeasureMBps(
        [&] {
            sha.Update(block.data(), block.size());
            sha.Final(digest);
        },
        kBlock);
}

// Signatures per second of one RSA-2048 PKCS#1 v1.5 signature over a 35-byte DigestInfo.
double RsaSignaturesPerSecond(EVP_PKEY* key) {
    unsigned char info[35] = {0x30, 0x21}, signature[512];
    int n = 0;
    auto t0 = Clock::now();
    while (Seconds(t0) < 0.5 || n < 20) {
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
        EVP_PKEY_sign_init(ctx);
        EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
        size_t length = sizeof signature;
        EVP_PKEY_sign(ctx, signature, &length, info, sizeof info);
        EVP_PKEY_CTX_free(ctx);
        ++n;
    }
    return n / Seconds(t0);
}

void BenchSign() {
    fs::path work = fs::temp_directory_path() / ("varnex-bench-sign-" + std::to_string(::getpid()));
    fs::create_directories(work / "small");
    ScriptedHost host;
    ScopedUiHost installedHost(host);
    LogonStore store;  // the production key protection: the session opens the key once, then keeps it
    if (!store.Open((work / "suite").string()) ||
        store.AddUser("bench", "Bench", "bench@example.org", kPassword) == 0 || !store.LogOn("bench", kPassword)) {
        std::printf("  cannot set up a store: %s\n", store.LastError().c_str());
        return;
    }
    ScopedLogonLibrary installedLogon(&store);

    const size_t kLarge = size_t{256} << 20;
    const std::string large = (work / "large.bin").string();
    MakeFile(large, kLarge, 1);
    double bound = Sha0Bound();
    std::printf("  SHA-0 alone: %.1f MB/s\n", bound);
    CKorvane engine;
    auto t0 = Clock::now();
    engine.SignFiles(PathList({large}).c_str(), "bench", kPassword, 0, 0);
    PrintRatio("    256 MiB file, sign", kLarge / Seconds(t0) / 1e6, bound);
    host.AddAnswer("verify", "ok");
    t0 = Clock::now();
    int verified = engine.Verify_One_File((large + ".idi").c_str());
    PrintRatio("    256 MiB file, verify", kLarge / Seconds(t0) / 1e6, bound);
    if (verified != 1 || !host.Messages().empty()) std::printf("    verification did not complete\n");

    EVP_PKEY* key = nullptr;
    int type = 0;
    store.GetPrivateKey(&key, "bench", kPassword, static_cast<int>(std::strlen(kPassword)), type);
    double rsa = key ? RsaSignaturesPerSecond(key) : 0;
    EVP_PKEY_free(key);
    std::vector<std::string> files;
    for (int i = 0; i < 1000; ++i) {
        files.push_back((work / "small" / ("f" + std::to_string(i))).string());
        MakeFile(files.back(), 1024, static_cast<unsigned>(i));
    }
    t0 = Clock::now();
    for (size_t start = 0; start < files.size(); start += 200) {  // 200 files per call at most
        std::vector<std::string> part(files.begin() + static_cast<long>(start),
                                      files.begin() + static_cast<long>(start + 200));
        engine.SignFiles(PathList(part).c_str(), "bench", kPassword, 0, 0);
    }
    double perSecond = files.size() / Seconds(t0);
    std::printf("  RSA-2048 signature alone: %.1f/s\n", rsa);
    std::printf("    1,000 small files signed: %.1f files/s, cost per file %.2fx one signature\n", perSecond,
                rsa / perSecond);
    fs::remove_all(work);
}

}  // namespace

VARNEX_BENCH("sign", BenchSign);
