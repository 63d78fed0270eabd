// Reading and writing a 6000 x 4000 true-colour picture as PNG and as
// Deflate TIFF, in megapixels per CPU second (the codecs use one thread). The encoded files are
// also left in $LUMARA_BENCH_DIR (default /tmp) as tiffpng_6000x4000.png / .tif so
// bench/tiffpng_vs_imagemagick.sh can time another program on the same bytes.

#include "codecs/model/Stream.h"
#include "codecs/png/TPngGraphic.h"
#include "codecs/tiff/TTiffGraphic.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

using namespace lumara;

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr double kMegapixels = kWidth * double(kHeight) / 1e6;

// Photo-like content: smooth gradients with a little noise, so the
// compressors have real work to do.
void fillPicture(TDibGraphic& img) {
    uint32_t seed = 12345;
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* p = img.ScanLine(y);
        for (int x = 0; x < kWidth; ++x, p += 3) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 29) - 4;
            p[0] = uint8_t(std::clamp((x * 255) / kWidth + noise, 0, 255));
            p[1] = uint8_t(std::clamp((y * 255) / kHeight + noise, 0, 255));
            p[2] = uint8_t(std::clamp(((x + y) * 127) / (kWidth + kHeight) + 64 + noise, 0, 255));
        }
    }
}

std::string outputPath(const char* ext) {
    const char* dir = std::getenv("LUMARA_BENCH_DIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/tiffpng_6000x4000" + ext;
}

template <class Codec> Codec& picture() {
    static Codec* codec = [] {
        auto* c = new Codec;
        c->NewImage(kWidth, kHeight, ifTrueColor, nullptr, 72, 72);
        fillPicture(*c);
        return c;
    }();
    return *codec;
}

TPngGraphic& pngPicture() {
    TPngGraphic& png = picture<TPngGraphic>();
    png.Interlaced = false;
    png.CompressionLevel = 1; // zlib level 5, what Save As uses
    return png;
}

TTiffGraphic& tiffPicture() {
    TTiffGraphic& tiff = picture<TTiffGraphic>();
    tiff.SetCompression(tcZLib);
    return tiff;
}

const std::vector<uint8_t>& encoded(bool png) {
    static std::vector<uint8_t> pngBytes, tiffBytes;
    std::vector<uint8_t>& bytes = png ? pngBytes : tiffBytes;
    if (bytes.empty()) {
        TMemoryStream s;
        if (png)
            pngPicture().SaveToStream(s);
        else
            tiffPicture().SaveToStream(s);
        bytes = s.Data();
        WriteWholeFile(outputPath(png ? ".png" : ".tif"), bytes.data(), bytes.size());
    }
    return bytes;
}

void report(benchmark::State& state, size_t bytes) {
    state.counters["Mpx/s"] =
        benchmark::Counter(kMegapixels * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["file_MB"] = double(bytes) / 1e6;
}

void BM_PngWrite(benchmark::State& state) {
    TPngGraphic& png = pngPicture();
    size_t size = 0;
    for (auto _ : state) {
        TMemoryStream s;
        png.SaveToStream(s);
        size = s.Data().size();
    }
    report(state, size);
}

void BM_PngRead(benchmark::State& state) {
    const auto& bytes = encoded(true);
    TPngGraphic png;
    for (auto _ : state) {
        TMemoryStream s(bytes.data(), bytes.size());
        png.LoadFromStream(s);
        benchmark::DoNotOptimize(png.Bits());
    }
    report(state, bytes.size());
}

void BM_TiffDeflateWrite(benchmark::State& state) {
    TTiffGraphic& tiff = tiffPicture();
    size_t size = 0;
    for (auto _ : state) {
        TMemoryStream s;
        tiff.SaveToStream(s);
        size = s.Data().size();
    }
    report(state, size);
}

void BM_TiffDeflateRead(benchmark::State& state) {
    const auto& bytes = encoded(false);
    TTiffGraphic tiff;
    for (auto _ : state) {
        TMemoryStream s(bytes.data(), bytes.size());
        tiff.ReadImage(s, 1);
        benchmark::DoNotOptimize(tiff.Bits());
    }
    report(state, bytes.size());
}

} // namespace

BENCHMARK(BM_PngWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffDeflateWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffDeflateRead)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
