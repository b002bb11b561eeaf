// SPS parse: paid for every parameter set a stream carries (once per key frame).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "media/H264Sps.h"

namespace {

// An Annex B SPS for 1920x1080 (cropped from 1088) as x264 writes it, emulation prevention bytes included.
const std::vector<uint8_t> kSps1080 = {0x00, 0x00, 0x00, 0x01, 0x67, 0x42, 0xc0, 0x28, 0xda, 0x01,
                                       0xe0, 0x08, 0x9f, 0x97, 0x01, 0x10, 0x00, 0x00, 0x03, 0x00,
                                       0x10, 0x00, 0x00, 0x03, 0x03, 0x20, 0xf1, 0x83, 0x2a};

void BM_SpsParse(benchmark::State& state)
{
    uint16_t width = 0, height = 0;
    if (!velkora::ParseH264Sps(kSps1080.data(), kSps1080.size(), width, height) || width != 1920 || height != 1080)
        state.SkipWithError("the sample SPS does not read as 1920x1080");
    for (auto _ : state) {
        benchmark::DoNotOptimize(velkora::ParseH264Sps(kSps1080.data(), kSps1080.size(), width, height));
        benchmark::DoNotOptimize(width);
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_SpsParse);

BENCHMARK_MAIN();
