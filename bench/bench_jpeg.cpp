// JPEG decoding of a 24 megapixel photo at full, half and eighth size, and
// encoding it. The file is also written to $LUMARA_BENCH_JPEG (default
// /tmp/lumara_bench_6000x4000.jpg) so bench/jpeg_vs_djpeg.sh can time
// libjpeg-turbo's djpeg on the very same data.
#include "codecs/jpeg/TJPEGImage.h"
#include "codecs/model/Stream.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace lumara;

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
// Linear scale 20 is libjpeg's quality 90.
constexpr int kScale = 20;

// A smooth picture with some texture, so the entropy coder has real work.
const Bitmap& photo() {
    static const Bitmap image = [] {
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
        return b;
    }();
    return image;
}

const std::vector<uint8_t>& photoJpeg() {
    static const std::vector<uint8_t> data = [] {
        TJPEGImage jpg;
        jpg.CompressJpeg(photo(), true, true, false, kScale, 0);
        const char* path = std::getenv("LUMARA_BENCH_JPEG");
        jpg.SaveToFile(path ? path : "/tmp/lumara_bench_6000x4000.jpg");
        return jpg.Data();
    }();
    return data;
}

void BM_Decode(benchmark::State& state) {
    const auto& data = photoJpeg();
    TJPEGImage jpg;
    jpg.LoadFromMemory(data.data(), data.size());
    jpg.Scale = JpegScale(state.range(0));
    Bitmap out;
    for (auto _ : state) {
        jpg.DecodeToBitmap(out);
        benchmark::DoNotOptimize(out.Bits());
    }
    // Megapixels of the file decoded per second, whatever the output size.
    state.counters["MP/s"] = benchmark::Counter(double(kWidth) * kHeight / 1e6 * state.iterations(),
                                                benchmark::Counter::kIsRate);
    state.counters["bytes"] = double(data.size());
}
BENCHMARK(BM_Decode)->Arg(0)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Decode8BitQuantized(benchmark::State& state) {
    const auto& data = photoJpeg();
    TJPEGImage jpg;
    jpg.LoadFromMemory(data.data(), data.size());
    jpg.PixelFormat = JpegPixelFormat::Bits8;
    jpg.Scale = JpegScale(state.range(0));
    Bitmap out;
    for (auto _ : state) {
        jpg.DecodeToBitmap(out, 1);
        benchmark::DoNotOptimize(out.Bits());
    }
    state.counters["MP/s"] = benchmark::Counter(double(kWidth) * kHeight / 1e6 * state.iterations(),
                                                benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Decode8BitQuantized)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Encoding as Save As does it: no subsampling, optimized coding, float DCT.
void BM_EncodeSaveAs(benchmark::State& state) {
    const Bitmap& src = photo();
    TJPEGImage jpg;
    for (auto _ : state) {
        jpg.CompressJpeg(src, false, true, true, kScale, 0);
        benchmark::DoNotOptimize(jpg.Data().data());
    }
    state.counters["MP/s"] = benchmark::Counter(double(kWidth) * kHeight / 1e6 * state.iterations(),
                                                benchmark::Counter::kIsRate);
    state.counters["bytes"] = double(jpg.Data().size());
}
BENCHMARK(BM_EncodeSaveAs)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
