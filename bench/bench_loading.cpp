// Time from the open (probe and decode) to the picture in the surface, for a
// 6000 by 4000 photo as JPEG at 100 percent and in fit mode, and as PNG.
// bench/loading_vs_djpeg.sh puts djpeg's time on the same JPEG beside it.
#include "document/ImageWriter.h"
#include "document/Loader.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

using namespace lumara;
namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// A photo-like picture: smooth gradients with some texture, so the codecs
// have realistic work to do.
Bitmap photo()
{
    Bitmap b(kWidth, kHeight, 24);
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* p = b.ScanLine(y);
        for (int x = 0; x < kWidth; ++x, p += 3) {
            const int n = int((x * 7919u + y * 104729u) % 23);
            p[0] = uint8_t((x * 255 / kWidth + n) & 255);
            p[1] = uint8_t((y * 255 / kHeight + n) & 255);
            p[2] = uint8_t(((x + y) * 255 / (kWidth + kHeight) + 2 * n) & 255);
        }
    }
    return b;
}

const std::string& fileOf(const char* ext)
{
    static std::string jpg, png;
    std::string& path = std::string(ext) == "jpg" ? jpg : png;
    if (path.empty()) {
        const char* dir = std::getenv("LUMARA_BENCH_DIR");
        path = (fs::path(dir ? dir : fs::temp_directory_path().string()) /
                (std::string("lumara-bench-photo.") + ext))
                   .string();
        if (!fs::exists(path)) {
            SaveOptions o;
            o.CompressQuality = 90;
            WriteImageFile(photo(), path, SaveTypeForExtension(path), o);
        }
    }
    return path;
}

void open(benchmark::State& state, const char* ext, bool fit)
{
    const std::string& path = fileOf(ext);
    for (auto _ : state) {
        Document doc;
        doc.state.FitToWindow = fit;
        TLoader loader(doc);
        doc.state.CurrentFile = doc.state.PreviousFile = path;
        LoadSettings settings;
        settings.VisibleWidth = 1280;
        settings.VisibleHeight = 800;
        if (loader.OpenByType(settings) != prImage || !loader.Decode(settings)) {
            state.SkipWithError(loader.LastError().c_str());
            break;
        }
        benchmark::DoNotOptimize(doc.surface.Bits());
        state.counters["width"] = doc.surface.Width();
    }
    state.counters["MP/s"] = benchmark::Counter(double(kWidth) * kHeight / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

void BM_OpenJpeg100(benchmark::State& s) { open(s, "jpg", false); }
void BM_OpenJpegFit(benchmark::State& s) { open(s, "jpg", true); }
void BM_OpenPng100(benchmark::State& s) { open(s, "png", false); }

} // namespace

BENCHMARK(BM_OpenJpeg100)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_OpenJpegFit)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_OpenPng100)->Unit(benchmark::kMillisecond)->MinTime(2);

BENCHMARK_MAIN();
