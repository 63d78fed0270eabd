#pragma once
// The image histograms and their statistics, gathered in one pass by
// DoCalcHistogram and read by the tone commands to pick their starting values
// and by the statistical corrections (normalisation, automatic corrections).

#include "ChannelMaps.h"

#include <array>
#include <cstdint>

namespace lumara {

class Bitmap;

// Per-level counts. Only 0..255 are ever filled; the entries above stay 0 so
// a search that looks a few levels past 255 finds zeros there.
using HistogramArray = std::array<int32_t, 360>;

// A count stops growing here rather than overflow.
constexpr int32_t kHistogramCountCap = 1073741822;

// Sums of levels and of their squares, exact integers held as extended
// floats, for the channels, luma (30R + 60G + 10B) div 100 and the saturation
// level; N is the pixel count. BrightSum/BrightSumSq are those of the
// brightest channel: among luma, red, green and blue (in that order, the
// first kept on ties) the one with the largest sum.
struct HistogramStats {
    long double RedSum = 0, RedSumSq = 0;
    long double GreenSum = 0, GreenSumSq = 0;
    long double BlueSum = 0, BlueSumSq = 0;
    long double LumaSum = 0, LumaSumSq = 0;
    long double SatSum = 0, SatSumSq = 0;
    long double N = 0;
    long double BrightSum = 0, BrightSumSq = 0;
};

struct Histograms {
    HistogramArray HistRed{};
    HistogramArray HistGreen{};
    HistogramArray HistBlue{};
    HistogramArray HistLuma{};
    HistogramArray HistSat{}; // saturation level S * 255 div 3600
    int32_t HistMax = 0;      // the largest count in any of the five arrays
    HistogramStats Stats;
};

// Fills hist from every pixel of a 24-bit bitmap: the red, green, blue and
// luma counts always, the saturation counts when withSaturation, the
// statistics when withStatistics (saturation sums only with both). Everything
// is cleared first; the brightest channel is chosen even without statistics
// (on zeros then). Raises EInvalidGraphic for a bitmap that is not 24-bit.
void DoCalcHistogram(const Bitmap& bitmap, Histograms& hist, bool withSaturation,
                     bool withStatistics);

// Stores per-level totals (uncapped, as counted) into a histogram array: each
// count is capped at kHistogramCountCap; returns the largest stored count.
// Entries 256..359 become 0.
int32_t StoreCounts(const uint64_t (&totals)[256], HistogramArray& counts);

// The brightest channel's sums into Stats.BrightSum/BrightSumSq.
void ChooseBrightestChannel(HistogramStats& stats);

// The maps drawn as curves: clears the red, green, blue and luma arrays, then
// HistLuma[i] = i and each channel's array = its map; HistMax = 255. The
// saturation array is left alone.
void LUT2Histogram(const ChannelMaps& maps, Histograms& hist);

// Starting values of the Enhance dialogs from the luma histogram (or the
// saturation histogram): low is the first level whose run of four levels
// upward each counts more than 48 pixels, high the first such level searched
// downward; 0 and 255 when there is none, and a high of 254 becomes 255.
struct LevelRange {
    int low = 0;
    int high = 255;
};
LevelRange EnhanceStartLevels(const Histograms& hist, bool saturation);

// Zero: per channel minus the first level whose count exceeds 48 (0 when none).
std::array<int, 3> ZeroStartShifts(const Histograms& hist);

// Map Center: per channel the shift that aligns its histogram peak with the
// highest peak of the three, limited so the channel's upper edge stays within
// 255.
std::array<int, 3> CenterShifts(const Histograms& hist);

} // namespace lumara
