// Reading and writing a 6000 x 4000 true-colour picture as BMP, PCX and TGA
// in memory streams; the rate is in megapixels per second.
#include "codecs/gbm/TBmpGraphic.h"
#include "codecs/gbm/TPcxGraphic.h"
#include "codecs/gbm/TTgaGraphic.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace lumara;

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// A photo-like picture: smooth gradients with a little noise, and flat bands
// that run-length coding can shorten.
void fill(TDibGraphic& image) {
    image.NewImage(kWidth, kHeight, ifTrueColor, nullptr, 96, 96);
    uint32_t state = 12345;
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* p = image.ScanLine(y);
        const bool flat = (y / 200) % 4 == 0;
        for (int x = 0; x < kWidth; ++x, p += 3) {
            state = state * 1664525u + 1013904223u;
            const int noise = flat ? 0 : int(state >> 29);
            p[0] = uint8_t(x * 255 / kWidth + noise);
            p[1] = uint8_t(y * 255 / kHeight + noise);
            p[2] = uint8_t((x + y) / 40 + noise);
        }
    }
}

template <class Graphic> const std::vector<uint8_t>& encoded() {
    static const std::vector<uint8_t> bytes = [] {
        Graphic image;
        fill(image);
        TMemoryStream stream;
        image.SaveToStream(stream);
        return stream.Data();
    }();
    return bytes;
}

void setRate(benchmark::State& state) {
    state.counters["Mpix/s"] = benchmark::Counter(
        double(state.iterations()) * kWidth * kHeight / 1e6, benchmark::Counter::kIsRate);
}

template <class Graphic> void BM_Read(benchmark::State& state) {
    TMemoryStream stream(encoded<Graphic>());
    Graphic image;
    for (auto _ : state) {
        stream.SetPosition(0);
        image.LoadFromStream(stream);
        benchmark::DoNotOptimize(image.Bits());
    }
    state.counters["file MB"] = double(encoded<Graphic>().size()) / 1e6;
    setRate(state);
}

template <class Graphic> void BM_Write(benchmark::State& state) {
    Graphic image;
    fill(image);
    for (auto _ : state) {
        TMemoryStream stream;
        image.SaveToStream(stream);
        benchmark::DoNotOptimize(stream.Memory());
    }
    setRate(state);
}

BENCHMARK_TEMPLATE(BM_Read, TBmpGraphic)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(BM_Write, TBmpGraphic)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(BM_Read, TPcxGraphic)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(BM_Write, TPcxGraphic)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(BM_Read, TTgaGraphic)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(BM_Write, TTgaGraphic)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
