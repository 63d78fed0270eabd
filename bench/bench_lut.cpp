// Tone operations on a 6000 x 4000 24-bit picture, in megapixels per second.
// Each iteration builds its tables and makes its pass, as a command does.

#include "codecs/model/Bitmap.h"
#include "processing/lut/Histograms.h"
#include "processing/lut/ParallelRows.h"
#include "processing/lut/PointOperations.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>

namespace {

using namespace lumara;

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

const Bitmap& Photo() {
    static const Bitmap photo = [] {
        Bitmap bitmap(kWidth, kHeight, 24);
        uint32_t state = 12345;
        for (int y = 0; y < kHeight; ++y) {
            uint8_t* p = bitmap.ScanLine(y);
            for (int x = 0; x < kWidth; ++x, p += 3) {
                // Smooth gradients with some noise, closer to a photograph
                // than pure noise.
                state = state * 1664525u + 1013904223u;
                const int noise = static_cast<int>(state >> 28) - 8;
                auto level = [noise](int v) {
                    return static_cast<uint8_t>(std::clamp(v + noise, 0, 255));
                };
                p[0] = level(x * 255 / kWidth);
                p[1] = level(y * 255 / kHeight);
                p[2] = level((x + y) * 255 / (kWidth + kHeight));
            }
        }
        return bitmap;
    }();
    return photo;
}

template <class Fn> void RunOperation(benchmark::State& state, Fn operation) {
    const RowThreading saved = GetRowThreading();
    SetRowThreading(RowThreading{static_cast<int>(state.range(0)), saved.minPixels});
    Bitmap image = Photo();
    ChannelMaps maps;
    Histograms hist;
    for (auto _ : state) {
        operation(image, maps, hist);
        benchmark::ClobberMemory();
    }
    SetRowThreading(saved);
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(kWidth) * kHeight / 1e6 *
                                                    static_cast<double>(state.iterations()),
                                                benchmark::Counter::kIsRate);
}

void Gamma(benchmark::State& state) {
    RunOperation(state,
                 [](Bitmap& b, ChannelMaps& m, Histograms&) { ApplyGamma(b, m, 120, 110, 90); });
}

void Brightness(benchmark::State& state) {
    RunOperation(state,
                 [](Bitmap& b, ChannelMaps& m, Histograms&) { ApplyBrightness(b, m, 20, 10, -5); });
}

void Contrast(benchmark::State& state) {
    RunOperation(state,
                 [](Bitmap& b, ChannelMaps& m, Histograms&) { ApplyContrast(b, m, 30, 30, 30); });
}

void Negative(benchmark::State& state) {
    RunOperation(state, [](Bitmap& b, ChannelMaps&, Histograms&) { ApplyNegative(b); });
}

void Saturation(benchmark::State& state) {
    RunOperation(state,
                 [](Bitmap& b, ChannelMaps& m, Histograms&) { ApplySaturation(b, m, 20, 230); });
}

void Histogram(benchmark::State& state) {
    RunOperation(state,
                 [](Bitmap& b, ChannelMaps&, Histograms& h) { DoCalcHistogram(b, h, true, true); });
}

// Argument: the most threads a pass may use (1 = single-threaded, 0 = all cores).
BENCHMARK(Gamma)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Brightness)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Contrast)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Negative)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Saturation)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Histogram)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
