// Image model throughput: colour conversion of a camera-sized CMYK picture and
// an in-place negative over 24-bit rows.
#include "codecs/model/TDibGraphic.h"
#include "codecs/model/TPixelConverter.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using namespace lumara;

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

void setMegapixels(benchmark::State& state, double pixels) {
    state.counters["MP/s"] =
        benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

std::vector<uint8_t> pattern(size_t size) {
    std::vector<uint8_t> v(size);
    uint32_t x = 12345;
    for (auto& b : v) {
        x = x * 1103515245u + 12345u;
        b = uint8_t(x >> 16);
    }
    return v;
}

void BM_CmykInterleavedToBgr(benchmark::State& state) {
    TPixelConverter c;
    c.SetSourceScheme(csCMYK);
    c.SetSourceSamplesPerPixel(4);
    c.SetTargetScheme(csBGR);
    const auto source = pattern(size_t(kWidth) * kHeight * 4);
    std::vector<uint8_t> target(size_t(kWidth) * kHeight * 3);
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y) {
            const void* row[1] = {source.data() + size_t(y) * kWidth * 4};
            c.ConvertRow(row, 1, kWidth, 0xFF, target.data() + size_t(y) * kWidth * 3);
        }
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    setMegapixels(state, double(kWidth) * kHeight);
}
BENCHMARK(BM_CmykInterleavedToBgr)->Unit(benchmark::kMillisecond);

void BM_CmykPlanarToBgr(benchmark::State& state) {
    TPixelConverter c;
    c.SetSourceScheme(csCMYK);
    c.SetSourceSamplesPerPixel(4);
    c.SetTargetScheme(csBGR);
    const auto source = pattern(size_t(kWidth) * kHeight * 4);
    std::vector<uint8_t> target(size_t(kWidth) * kHeight * 3);
    const size_t plane = size_t(kWidth) * kHeight;
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y) {
            const size_t at = size_t(y) * kWidth;
            const void* planes[4] = {source.data() + at, source.data() + plane + at,
                                     source.data() + 2 * plane + at,
                                     source.data() + 3 * plane + at};
            c.ConvertRow(planes, 4, kWidth, 0xFF, target.data() + at * 3);
        }
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    setMegapixels(state, double(kWidth) * kHeight);
}
BENCHMARK(BM_CmykPlanarToBgr)->Unit(benchmark::kMillisecond);

// One row, which stays in the cache: the arithmetic alone.
void BM_CmykInterleavedToBgrRow(benchmark::State& state) {
    TPixelConverter c;
    c.SetSourceScheme(csCMYK);
    c.SetSourceSamplesPerPixel(4);
    c.SetTargetScheme(csBGR);
    const auto source = pattern(size_t(kWidth) * 4);
    std::vector<uint8_t> target(size_t(kWidth) * 3);
    for (auto _ : state) {
        const void* row[1] = {source.data()};
        c.ConvertRow(row, 1, kWidth, 0xFF, target.data());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    setMegapixels(state, double(kWidth));
}
BENCHMARK(BM_CmykInterleavedToBgrRow);

void BM_LabToBgrRow(benchmark::State& state) {
    TPixelConverter c;
    c.SetSourceScheme(csCIELab);
    c.SetSourceOptions(coLabByteRange | coLabChromaOffset);
    c.SetTargetScheme(csBGR);
    const auto source = pattern(size_t(kWidth) * 3);
    std::vector<uint8_t> target(size_t(kWidth) * 3);
    for (auto _ : state) {
        const void* row[1] = {source.data()};
        c.ConvertRow(row, 1, kWidth, 0xFF, target.data());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    setMegapixels(state, double(kWidth));
}
BENCHMARK(BM_LabToBgrRow);

void BM_NegativeTrueColour(benchmark::State& state) {
    TDibGraphic image;
    image.NewImage(kWidth, kHeight, ifTrueColor, nullptr, 0, 0);
    TNegativeTransform negative;
    for (auto _ : state) {
        negative.Apply(image);
        benchmark::DoNotOptimize(image.Bits());
        benchmark::ClobberMemory();
    }
    setMegapixels(state, double(kWidth) * kHeight);
}
BENCHMARK(BM_NegativeTrueColour)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
