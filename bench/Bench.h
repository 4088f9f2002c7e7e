#pragma once
// varnex_bench: throughput benchmarks. Each subsystem adds a file with VARNEX_BENCH(name,
// function); `varnex_bench [NAME...]` runs all or the named ones. Results are MB/s, printed
// beside the raw primitive measured in the same run, so ratios hold on any machine.

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

struct BenchCase {
    std::string name;
    std::function<void()> run;
};

struct BenchRegistrar {
    explicit BenchRegistrar(BenchCase c);
};

#define VARNEX_BENCH_CONCAT2(a, b) a##b
#define VARNEX_BENCH_CONCAT(a, b) VARNEX_BENCH_CONCAT2(a, b)
#define VARNEX_BENCH(name, fn) static const BenchRegistrar VARNEX_BENCH_CONCAT(kBench, __LINE__)(BenchCase{name, fn})

// Runs `fn` (which processes `bytesPerCall` bytes) repeatedly for at least `minSeconds` and
// returns MB/s (10^6 bytes per second).
double MeasureMBps(const std::function<void()>& fn, double bytesPerCall, double minSeconds = 0.5);

void PrintRate(const char* what, double mbps);
void PrintRatio(const char* what, double mbps, double boundMbps);
