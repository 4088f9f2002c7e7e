#pragma once
// What several benchmarks share: wall-clock seconds, peak memory, deterministic input files,
// and the fused bound of envelope and mail packages measured in the same run.

#include <chrono>
#include <cstddef>
#include <filesystem>

using BenchClock = std::chrono::steady_clock;

// Seconds from `since` to now.
double Seconds(BenchClock::time_point since);
// Peak resident memory of the process so far.
long PeakRssKiB();
// A file of `size` pseudo-random bytes (the same bytes for the same seed), written in blocks.
void MakeFile(const std::filesystem::path& path, size_t size, unsigned seed);
// MB/s of IDEA in 64-bit OFB, the CRC-16 of its output and SHA-0 of its input over the same
// 307,200-byte blocks: what sealing or opening a signed package cannot beat.
double FusedBound();
