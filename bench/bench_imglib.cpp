// Scaling and drawing of a 24 megapixel photo through the imaging library.
#include "codecs/imglib/ImgLib.h"

#include <benchmark/benchmark.h>

#include <cstdint>

using namespace lumara;

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// A smooth picture with some texture, so no kernel gets a free ride.
HIMG photo()
{
    static const HIMG image = [] {
        ImgInit();
        Bitmap b(kWidth, kHeight, 24);
        uint32_t seed = 12345;
        for (int y = 0; y < kHeight; ++y) {
            uint8_t* p = b.ScanLine(y);
            for (int x = 0; x < kWidth; ++x, p += 3) {
                seed = seed * 1664525u + 1013904223u;
                const int n = int(seed >> 28);
                p[0] = uint8_t((x * 255 / kWidth + n) & 255);
                p[1] = uint8_t((y * 255 / kHeight + n) & 255);
                p[2] = uint8_t(((x + y) / 40 + n) & 255);
            }
        }
        return ImgFromBitmap(b);
    }();
    return image;
}

void copyTo(benchmark::State& state, int width, int height, int mode)
{
    const HIMG src = photo();
    ImgSetThreadCount(int(state.range(0)));
    for (auto _ : state) {
        const HIMG c = ImgCopy(src, width, height, nullptr, mode);
        if (c == 0) state.SkipWithError(ImgGetStatus().c_str());
        ImgClose(c);
    }
    ImgSetThreadCount(0);
    // Megapixels of output per second.
    state.counters["MP/s"] = benchmark::Counter(double(width) * height / 1e6 * state.iterations(),
                                               benchmark::Counter::kIsRate);
}

void BM_ReduceTo1500x1000(benchmark::State& state) { copyTo(state, 1500, 1000, kCopyNormal); }
void BM_EnlargeTo12000x8000(benchmark::State& state) { copyTo(state, 12000, 8000, kCopyNormal); }
void BM_PreviewTo1500x1000(benchmark::State& state) { copyTo(state, 1500, 1000, kCopyPreview); }
void BM_PlainEnlargeTo12000x8000(benchmark::State& state)
{
    copyTo(state, 12000, 8000, kCopyPlainEnlarge);
}

void BM_DrawOneToOne(benchmark::State& state)
{
    const HIMG src = photo();
    Bitmap dest(kWidth, kHeight, int(state.range(0)));
    ImgSetThreadCount(1);
    for (auto _ : state) {
        if (!ImgDrawImage(src, dest, {0, 0, kWidth - 1, kHeight - 1}, nullptr))
            state.SkipWithError(ImgGetStatus().c_str());
        benchmark::DoNotOptimize(dest.Bits());
    }
    ImgSetThreadCount(0);
    state.counters["MP/s"] = benchmark::Counter(double(kWidth) * kHeight / 1e6 * state.iterations(),
                                               benchmark::Counter::kIsRate);
}

} // namespace

// Argument: threads (1 = single-threaded, 0 = automatic).
BENCHMARK(BM_ReduceTo1500x1000)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EnlargeTo12000x8000)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PreviewTo1500x1000)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainEnlargeTo12000x8000)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
// Argument: depth of the target bitmap.
BENCHMARK(BM_DrawOneToOne)->Arg(24)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
