#include "Histograms.h"

#include "Hls.h"
#include "ParallelRows.h"
#include "TrueColour.h"

#include <algorithm>
#include <vector>

namespace lumara {

namespace {

// Uncapped per-level totals of one band of rows.
struct LevelTotals {
    uint64_t red[256] = {};
    uint64_t green[256] = {};
    uint64_t blue[256] = {};
    uint64_t luma[256] = {};
    uint64_t sat[256] = {};

    void Add(const LevelTotals& other) {
        for (int i = 0; i < 256; ++i) {
            red[i] += other.red[i];
            green[i] += other.green[i];
            blue[i] += other.blue[i];
            luma[i] += other.luma[i];
            sat[i] += other.sat[i];
        }
    }
};

// Saturation level S * 255 div 3600 for each pair of largest and smallest
// component (largest * 256 + smallest); saturation depends on nothing else.
const std::array<uint8_t, 65536>& SaturationLevels() {
    static const std::array<uint8_t, 65536> levels = [] {
        std::array<uint8_t, 65536> table{};
        for (int mx = 0; mx < 256; ++mx)
            for (int mn = 0; mn <= mx; ++mn)
                table[static_cast<size_t>(mx * 256 + mn)] = static_cast<uint8_t>(
                    std::min(255, hls_detail::LightnessAndSaturation(mx, mn).S * 255 / 3600));
        return table;
    }();
    return levels;
}

template <bool WithSaturation>
void CountRows(const Bitmap& bitmap, int y0, int y1, LevelTotals& totals) {
    const int width = bitmap.Width();
    const uint8_t* const satLevels = SaturationLevels().data();
    for (int y = y0; y < y1; ++y) {
        const uint8_t* p = bitmap.ScanLine(y);
        for (int x = 0; x < width; ++x, p += 3) {
            const int b = p[0], g = p[1], r = p[2];
            ++totals.blue[b];
            ++totals.green[g];
            ++totals.red[r];
            ++totals.luma[(30 * r + 60 * g + 10 * b) / 100];
            if constexpr (WithSaturation)
                ++totals.sat[satLevels[std::max(r, std::max(g, b)) * 256 +
                                       std::min(r, std::min(g, b))]];
        }
    }
}

void SumLevels(const uint64_t (&totals)[256], long double& sum, long double& sumSq) {
    uint64_t s = 0, q = 0;
    for (uint64_t i = 0; i < 256; ++i) {
        s += i * totals[i];
        q += i * i * totals[i];
    }
    sum = static_cast<long double>(s);
    sumSq = static_cast<long double>(q);
}

} // namespace

int32_t StoreCounts(const uint64_t (&totals)[256], HistogramArray& counts) {
    counts.fill(0);
    int32_t largest = 0;
    for (int i = 0; i < 256; ++i) {
        counts[i] = static_cast<int32_t>(std::min<uint64_t>(totals[i], kHistogramCountCap));
        largest = std::max(largest, counts[i]);
    }
    return largest;
}

void ChooseBrightestChannel(HistogramStats& stats) {
    stats.BrightSum = stats.LumaSum;
    stats.BrightSumSq = stats.LumaSumSq;
    const long double* channels[3][2] = {{&stats.RedSum, &stats.RedSumSq},
                                         {&stats.GreenSum, &stats.GreenSumSq},
                                         {&stats.BlueSum, &stats.BlueSumSq}};
    for (auto& channel : channels) {
        if (*channel[0] > stats.BrightSum) {
            stats.BrightSum = *channel[0];
            stats.BrightSumSq = *channel[1];
        }
    }
}

void DoCalcHistogram(const Bitmap& bitmap, Histograms& hist, bool withSaturation,
                     bool withStatistics) {
    RequireTrueColour(bitmap, "DoCalcHistogram");
    const int height = bitmap.Empty() ? 0 : bitmap.Height();
    const int bands = RowBandCount(height, PixelCount(bitmap));
    std::vector<LevelTotals> bandTotals(static_cast<size_t>(bands));
    auto countBand = [&](int band, int y0, int y1) {
        if (withSaturation)
            CountRows<true>(bitmap, y0, y1, bandTotals[static_cast<size_t>(band)]);
        else
            CountRows<false>(bitmap, y0, y1, bandTotals[static_cast<size_t>(band)]);
    };
    if (bands <= 1) {
        if (height > 0) countBand(0, 0, height);
    } else {
        RunRowBands(bands, height, countBand);
    }
    LevelTotals& totals = bandTotals[0];
    for (size_t band = 1; band < bandTotals.size(); ++band)
        totals.Add(bandTotals[band]);

    hist.HistMax = 0;
    hist.HistMax = std::max(hist.HistMax, StoreCounts(totals.red, hist.HistRed));
    hist.HistMax = std::max(hist.HistMax, StoreCounts(totals.green, hist.HistGreen));
    hist.HistMax = std::max(hist.HistMax, StoreCounts(totals.blue, hist.HistBlue));
    hist.HistMax = std::max(hist.HistMax, StoreCounts(totals.luma, hist.HistLuma));
    hist.HistMax = std::max(hist.HistMax, StoreCounts(totals.sat, hist.HistSat));

    HistogramStats& stats = hist.Stats;
    stats = HistogramStats{};
    if (withStatistics) {
        stats.N = static_cast<long double>(PixelCount(bitmap));
        SumLevels(totals.red, stats.RedSum, stats.RedSumSq);
        SumLevels(totals.green, stats.GreenSum, stats.GreenSumSq);
        SumLevels(totals.blue, stats.BlueSum, stats.BlueSumSq);
        SumLevels(totals.luma, stats.LumaSum, stats.LumaSumSq);
        if (withSaturation) SumLevels(totals.sat, stats.SatSum, stats.SatSumSq);
    }
    ChooseBrightestChannel(stats);
}

void LUT2Histogram(const ChannelMaps& maps, Histograms& hist) {
    hist.HistRed.fill(0);
    hist.HistGreen.fill(0);
    hist.HistBlue.fill(0);
    hist.HistLuma.fill(0);
    for (int i = 0; i < 256; ++i) {
        hist.HistLuma[i] = i;
        hist.HistRed[i] = maps.RedMap[i];
        hist.HistGreen[i] = maps.GreenMap[i];
        hist.HistBlue[i] = maps.BlueMap[i];
    }
    hist.HistMax = 255;
}

namespace {

// Count at a level, 0 below level 0 (the arrays end there).
int32_t CountAt(const HistogramArray& counts, int level) {
    return level >= 0 && level < static_cast<int>(counts.size()) ? counts[level] : 0;
}

} // namespace

LevelRange EnhanceStartLevels(const Histograms& hist, bool saturation) {
    const HistogramArray& counts = saturation ? hist.HistSat : hist.HistLuma;
    auto crowded = [&](int level) { return CountAt(counts, level) > 48; };
    LevelRange range;
    const int lastLow = saturation ? 250 : 255;
    for (int i = 0; i <= lastLow; ++i) {
        if (crowded(i) && crowded(i + 1) && crowded(i + 2) && crowded(i + 3)) {
            range.low = i;
            break;
        }
    }
    const int lastHigh = saturation ? 4 : 0;
    for (int n = 255; n >= lastHigh; --n) {
        if (crowded(n) && crowded(n - 1) && crowded(n - 2) && crowded(n - 3)) {
            range.high = n;
            break;
        }
    }
    if (range.high == 254) range.high = 255;
    return range;
}

std::array<int, 3> ZeroStartShifts(const Histograms& hist) {
    const HistogramArray* counts[3] = {&hist.HistRed, &hist.HistGreen, &hist.HistBlue};
    std::array<int, 3> shifts{};
    for (int ch = 0; ch < 3; ++ch) {
        for (int i = 0; i < 256; ++i) {
            if ((*counts[ch])[i] > 48) {
                shifts[ch] = -i;
                break;
            }
        }
    }
    return shifts;
}

std::array<int, 3> CenterShifts(const Histograms& hist) {
    const HistogramArray* counts[3] = {&hist.HistRed, &hist.HistGreen, &hist.HistBlue};
    int top[3] = {};
    for (int ch = 0; ch < 3; ++ch) {
        const HistogramArray& c = *counts[ch];
        for (int n = 254; n >= 1; --n) {
            if (c[n] > 4 && c[n] < c[n - 1]) {
                top[ch] = n;
                break;
            }
        }
    }
    std::array<int, 3> shifts{};
    for (int low = 16, high = 240;; low += 8, high -= 8) {
        int peak[3] = {};
        for (int ch = 0; ch < 3; ++ch) {
            const HistogramArray& c = *counts[ch];
            int64_t best = 0;
            for (int l = low; l <= high; ++l) {
                const int64_t sum = int64_t{c[l - 1]} + c[l] + c[l + 1];
                if (sum > best) {
                    best = sum;
                    peak[ch] = l;
                }
            }
        }
        const int highest = std::max(peak[0], std::max(peak[1], peak[2]));
        bool overflows = false;
        for (int ch = 0; ch < 3; ++ch) {
            shifts[ch] = highest - peak[ch];
            if (top[ch] + shifts[ch] > 255) overflows = true;
        }
        if (!overflows || low + 8 >= 96) break;
    }
    for (int ch = 0; ch < 3; ++ch)
        if (top[ch] + shifts[ch] > 255) shifts[ch] = 255 - top[ch];
    return shifts;
}

} // namespace lumara
