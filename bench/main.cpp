#include <algorithm>
#include <vector>

#include "Bench.h"

namespace {

std::vector<BenchCase>& Cases() {
    static std::vector<BenchCase> cases;
    return cases;
}

}  // namespace

BenchRegistrar::BenchRegistrar(BenchCase c) { Cases().push_back(std::move(c)); }

double MeasureMBps(const std::function<void()>& fn, double bytesPerCall, double minSeconds) {
    using Clock = std::chrono::steady_clock;
    fn();  // warm up
    long calls = 0;
    auto start = Clock::now();
    double elapsed = 0;
    do {
        fn();
        ++calls;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < minSeconds);
    return bytesPerCall * static_cast<double>(calls) / elapsed / 1e6;
}

void PrintRate(const char* what, double mbps) { std::printf("  %-48s %9.1f MB/s\n", what, mbps); }

void PrintRatio(const char* what, double mbps, double boundMbps) {
    std::printf("  %-48s %9.1f MB/s  (%.2f of %.1f MB/s)\n", what, mbps, boundMbps > 0 ? mbps / boundMbps : 0.0,
                boundMbps);
}

int main(int argc, char** argv) {
    auto cases = Cases();
    std::sort(cases.begin(), cases.end(), [](const BenchCase& a, const BenchCase& b) { return a.name < b.name; });
    if (argc > 1 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "--list")) {
        std::printf("usage: varnex_bench [NAME...]\nbenchmarks:\n");
        for (const BenchCase& c : cases) std::printf("  %s\n", c.name.c_str());
        return 0;
    }
    for (const BenchCase& c : cases) {
        bool wanted = argc == 1;
        for (int i = 1; i < argc; ++i) wanted = wanted || c.name == argv[i];
        if (!wanted) continue;
        std::printf("%s\n", c.name.c_str());
        std::fflush(stdout);
        c.run();
    }
    return 0;
}
