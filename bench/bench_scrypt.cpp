// The password derivation at the cost every log-on pays (logon::kKeyCost): ours beside
// OpenSSL's, one alone and two at once on two threads, as a log-on runs its password check
// and its key's opening. Medians of several runs, in milliseconds.

#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "Bench.h"
#include "logon/LogonKeys.h"
#include "logon/Scrypt.h"

namespace {

constexpr int kRuns = 7;
constexpr char kPassword[] = "bench-password";
constexpr unsigned char kSalt[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

using Derive = std::function<bool(unsigned char* out)>;

double MedianMs(const std::function<void()>& fn) {
    std::vector<double> ms;
    fn();  // warm up
    for (int i = 0; i < kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        fn();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

void Report(const char* what, const Derive& derive) {
    unsigned char a[32], b[32];
    const double alone = MedianMs([&] { derive(a); });
    const double pair = MedianMs([&] {
        std::thread other([&] { derive(b); });
        derive(a);
        other.join();
    });
    std::printf("  %-30s %7.1f ms alone, %7.1f ms two at once\n", what, alone, pair);
}

void BenchScrypt() {
    const logon::KeyCost c = logon::kKeyCost;
    Report("OpenSSL EVP_PBE_scrypt", [&](unsigned char* out) {
        return EVP_PBE_scrypt(kPassword, sizeof kPassword - 1, kSalt, sizeof kSalt, c.n, c.r, c.p, 0, out, 32) == 1;
    });
    Report("ours", [&](unsigned char* out) {
        return logon::ScryptDerive(kPassword, sizeof kPassword - 1, kSalt, sizeof kSalt, c.n, c.r, c.p, out, 32);
    });
    Report("ours, on one thread", [&](unsigned char* out) {
        return logon::ScryptDerive(kPassword, sizeof kPassword - 1, kSalt, sizeof kSalt, c.n, c.r, c.p, out, 32,
                                   logon::ScryptCore::kFastest, logon::ScryptThreads::kOne);
    });
    Report("ours, AVX2 at most", [&](unsigned char* out) {
        return logon::ScryptDerive(kPassword, sizeof kPassword - 1, kSalt, sizeof kSalt, c.n, c.r, c.p, out, 32,
                                   logon::ScryptCore::kAvx2);
    });
    Report("ours, portable mixing", [&](unsigned char* out) {
        return logon::ScryptDerive(kPassword, sizeof kPassword - 1, kSalt, sizeof kSalt, c.n, c.r, c.p, out, 32,
                                   logon::ScryptCore::kPortable);
    });
}

}  // namespace

VARNEX_BENCH("scrypt", BenchScrypt);
