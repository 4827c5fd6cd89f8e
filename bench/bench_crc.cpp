// The CRC-32 of flash blocks and file fragments (calc_cksum32) against zlib's crc32 on
// the same 4 MiB buffer: MB/s (10^6 bytes a second), the median of several runs. Prints
// one markdown table row per routine (| Measure | Result | Target | Met |); exits 1 when
// the two disagree on the result.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "cksum.h"

namespace {

constexpr std::size_t kBufferLen = 4u << 20;  // a whole flash image
constexpr int kRuns = 15;
constexpr int kPassesPerRun = 8;

template <typename Crc>
double MedianMBps(const std::vector<unsigned char>& buffer, Crc crc, uint32_t& result)
{
    std::vector<double> rates;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        for (int pass = 0; pass < kPassesPerRun; ++pass) result = crc(buffer.data(), buffer.size());
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        rates.push_back(static_cast<double>(kBufferLen) * kPassesPerRun / took.count() / 1e6);
    }
    std::nth_element(rates.begin(), rates.begin() + kRuns / 2, rates.end());
    return rates[kRuns / 2];
}

}  // namespace

int main()
{
    std::vector<unsigned char> buffer(kBufferLen);
    uint32_t x = 2463534242u;
    for (unsigned char& byte : buffer) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        byte = static_cast<unsigned char>(x);
    }
    uint32_t ours = 0;
    uint32_t theirs = 0;
    const double oursRate =
        MedianMBps(buffer, [](const unsigned char* p, std::size_t n) { return calc_cksum32(p, n); }, ours);
    const double zlibRate = MedianMBps(
        buffer, [](const unsigned char* p, std::size_t n) { return static_cast<uint32_t>(crc32(0, p, n)); }, theirs);
    std::printf("| CRC-32 of 4 MiB, calc_cksum32 (%s) | %.0f MB/s, %.2fx zlib | at least zlib's | %s |\n",
                Cksum32Method(), oursRate, oursRate / zlibRate, oursRate >= zlibRate ? "yes" : "no");
    std::printf("| CRC-32 of 4 MiB, zlib %s crc32 | %.0f MB/s | the yardstick | - |\n", zlibVersion(), zlibRate);
    if (ours != theirs) {
        std::fprintf(stderr, "bench_crc: the CRCs differ: %08X against zlib's %08X\n", ours, theirs);
        return 1;
    }
    return 0;
}
