// Histograms, their count cap and statistics, the curves of the maps, and the
// starting values the tone commands take from the histograms.

#include "processing/lut/Histograms.h"

#include "TestImages.h"
#include "codecs/model/Exceptions.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace lumara {
namespace {

using testing::MakeImage;
using testing::NoiseImage;
using testing::RowOf;

int Luma(int r, int g, int b) {
    return (30 * r + 60 * g + 10 * b) / 100;
}
int SatLevel(int r, int g, int b) {
    return std::min(255, RgbToHls(r, g, b).S * 255 / 3600);
}

void ExpectTailEmpty(const HistogramArray& counts) {
    for (size_t i = 256; i < counts.size(); ++i)
        EXPECT_EQ(counts[i], 0) << i;
}

TEST(Histograms, CountsEveryChannelLumaAndSaturation) {
    const Bitmap image = RowOf({{255, 0, 0}, {255, 0, 0}, {10, 20, 30}, {200, 100, 50}, {7, 7, 7}});
    Histograms hist;
    DoCalcHistogram(image, hist, true, false);
    EXPECT_EQ(hist.HistRed[255], 2);
    EXPECT_EQ(hist.HistRed[10], 1);
    EXPECT_EQ(hist.HistRed[200], 1);
    EXPECT_EQ(hist.HistRed[7], 1);
    EXPECT_EQ(hist.HistGreen[0], 2);
    EXPECT_EQ(hist.HistBlue[0], 2);
    EXPECT_EQ(hist.HistBlue[50], 1);
    EXPECT_EQ(hist.HistLuma[Luma(255, 0, 0)], 2);
    EXPECT_EQ(Luma(255, 0, 0), 76);
    EXPECT_EQ(hist.HistLuma[Luma(10, 20, 30)], 1);
    EXPECT_EQ(hist.HistLuma[Luma(200, 100, 50)], 1);
    EXPECT_EQ(hist.HistLuma[7], 1);
    EXPECT_EQ(hist.HistSat[255], 2); // full saturation
    EXPECT_EQ(hist.HistSat[0], 1);   // the grey
    EXPECT_EQ(hist.HistSat[SatLevel(10, 20, 30)], 1);
    EXPECT_EQ(hist.HistSat[SatLevel(200, 100, 50)], 1);
    EXPECT_EQ(hist.HistMax, 2);
    for (const HistogramArray* a :
         {&hist.HistRed, &hist.HistGreen, &hist.HistBlue, &hist.HistLuma, &hist.HistSat}) {
        int total = 0;
        for (int i = 0; i < 256; ++i)
            total += (*a)[i];
        EXPECT_EQ(total, 5);
        ExpectTailEmpty(*a);
    }
}

// Every pair of largest and smallest component, counted by its saturation.
TEST(Histograms, SaturationLevelsOfEveryComponentPair) {
    const Bitmap image = MakeImage(256, 256, [](int x, int y) { return RgbColor{x, y, y}; });
    Histograms hist;
    DoCalcHistogram(image, hist, true, false);
    HistogramArray expected{};
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            ++expected[SatLevel(x, y, y)];
    EXPECT_EQ(hist.HistSat, expected);
    EXPECT_GE(hist.HistSat[0], 256); // the greys and the nearly grey
}

TEST(Histograms, SaturationOnlyWhenAsked) {
    const Bitmap image = RowOf({{255, 0, 0}, {1, 2, 3}});
    Histograms hist;
    hist.HistSat[17] = 99;
    DoCalcHistogram(image, hist, false, true);
    for (int i = 0; i < 360; ++i)
        EXPECT_EQ(hist.HistSat[i], 0) << i;
    EXPECT_EQ(hist.Stats.SatSum, 0);
    EXPECT_EQ(hist.Stats.SatSumSq, 0);
    EXPECT_EQ(hist.Stats.N, 2);
}

TEST(Histograms, EverythingIsClearedFirst) {
    Histograms hist;
    DoCalcHistogram(MakeImage(4, 4, [](int, int) { return RgbColor{9, 9, 9}; }), hist, true, true);
    DoCalcHistogram(RowOf({{1, 2, 3}}), hist, true, true);
    EXPECT_EQ(hist.HistRed[9], 0);
    EXPECT_EQ(hist.HistRed[1], 1);
    EXPECT_EQ(hist.HistMax, 1);
    EXPECT_EQ(hist.Stats.N, 1);
    DoCalcHistogram(RowOf({{1, 2, 3}}), hist, false, false);
    EXPECT_EQ(hist.Stats.N, 0);
    EXPECT_EQ(hist.Stats.RedSum, 0);
    EXPECT_EQ(hist.Stats.BrightSum, 0);
}

TEST(Histograms, StatisticsAreExactSums) {
    const Bitmap image = NoiseImage(37, 23, 5);
    Histograms hist;
    DoCalcHistogram(image, hist, true, true);
    long double sums[5] = {}, squares[5] = {};
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            const RgbColor c = testing::PixelAt(image, x, y);
            const int levels[5] = {c.r, c.g, c.b, Luma(c.r, c.g, c.b), SatLevel(c.r, c.g, c.b)};
            for (int k = 0; k < 5; ++k) {
                sums[k] += levels[k];
                squares[k] += static_cast<long double>(levels[k]) * levels[k];
            }
        }
    const HistogramStats& s = hist.Stats;
    EXPECT_EQ(s.N, 37 * 23);
    EXPECT_EQ(s.RedSum, sums[0]);
    EXPECT_EQ(s.RedSumSq, squares[0]);
    EXPECT_EQ(s.GreenSum, sums[1]);
    EXPECT_EQ(s.GreenSumSq, squares[1]);
    EXPECT_EQ(s.BlueSum, sums[2]);
    EXPECT_EQ(s.BlueSumSq, squares[2]);
    EXPECT_EQ(s.LumaSum, sums[3]);
    EXPECT_EQ(s.LumaSumSq, squares[3]);
    EXPECT_EQ(s.SatSum, sums[4]);
    EXPECT_EQ(s.SatSumSq, squares[4]);
}

TEST(Histograms, BrightestChannel) {
    struct Case {
        long double luma, red, green, blue;
        int chosen; // 0 luma, 1 red, 2 green, 3 blue
    };
    const Case cases[] = {
        {10, 9, 9, 9, 0},    {10, 11, 9, 9, 1},   {10, 11, 12, 9, 2},
        {10, 11, 12, 13, 3}, {10, 10, 10, 10, 0}, // ties keep the first
        {10, 12, 12, 11, 1}, {0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        HistogramStats s;
        s.LumaSum = c.luma;
        s.RedSum = c.red;
        s.GreenSum = c.green;
        s.BlueSum = c.blue;
        s.LumaSumSq = 1000;
        s.RedSumSq = 1001;
        s.GreenSumSq = 1002;
        s.BlueSumSq = 1003;
        ChooseBrightestChannel(s);
        EXPECT_EQ(s.BrightSumSq, 1000 + c.chosen) << c.luma << " " << c.red << " " << c.green;
        const long double sums[4] = {c.luma, c.red, c.green, c.blue};
        EXPECT_EQ(s.BrightSum, sums[c.chosen]);
    }
}

TEST(Histograms, BrightestChannelOfAnImage) {
    Histograms hist;
    DoCalcHistogram(RowOf({{10, 200, 30}, {20, 180, 40}}), hist, false, true);
    EXPECT_EQ(hist.Stats.BrightSum, 380);
    EXPECT_EQ(hist.Stats.BrightSumSq, 200 * 200 + 180 * 180);
}

TEST(Histograms, CountsStopBelowTheCap) {
    uint64_t totals[256] = {};
    totals[0] = kHistogramCountCap - 1;
    totals[1] = kHistogramCountCap;
    totals[2] = uint64_t{kHistogramCountCap} + 1;
    totals[3] = 5000000000ull;
    totals[255] = 17;
    HistogramArray counts;
    counts.fill(-1);
    EXPECT_EQ(StoreCounts(totals, counts), kHistogramCountCap);
    EXPECT_EQ(kHistogramCountCap, 1073741822);
    EXPECT_EQ(counts[0], kHistogramCountCap - 1);
    EXPECT_EQ(counts[1], kHistogramCountCap);
    EXPECT_EQ(counts[2], kHistogramCountCap);
    EXPECT_EQ(counts[3], kHistogramCountCap);
    EXPECT_EQ(counts[4], 0);
    EXPECT_EQ(counts[255], 17);
    ExpectTailEmpty(counts);

    uint64_t small[256] = {};
    small[9] = 3;
    EXPECT_EQ(StoreCounts(small, counts), 3);
}

TEST(Histograms, RefusesImagesThatAreNotTrueColour) {
    Bitmap paletted(4, 4, 8);
    Histograms hist;
    try {
        DoCalcHistogram(paletted, hist, true, true);
        FAIL() << "no exception";
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message(),
                  "DoCalcHistogram: the image has 8 bits per pixel; this operation needs 24");
    }
}

TEST(Histograms, EmptyImageGivesEmptyHistograms) {
    Histograms hist;
    hist.HistRed[3] = 4;
    DoCalcHistogram(Bitmap(), hist, true, true);
    EXPECT_EQ(hist.HistRed[3], 0);
    EXPECT_EQ(hist.HistMax, 0);
    EXPECT_EQ(hist.Stats.N, 0);
}

TEST(Histograms, MapsAsCurves) {
    ChannelMaps maps;
    ResetMaps(maps);
    SetGammaLUT(maps, 200, ChannelRed);
    SetBrightLUT(maps, -127, ChannelBlue);
    Histograms hist;
    hist.HistSat[5] = 77;
    hist.HistRed[300] = 5;
    LUT2Histogram(maps, hist);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(hist.HistLuma[i], i);
        EXPECT_EQ(hist.HistRed[i], maps.RedMap[i]);
        EXPECT_EQ(hist.HistGreen[i], i);
        EXPECT_EQ(hist.HistBlue[i], 0);
    }
    EXPECT_EQ(hist.HistRed[300], 0);
    EXPECT_EQ(hist.HistSat[5], 77);
    EXPECT_EQ(hist.HistMax, 255);
}

Histograms WithRuns(HistogramArray Histograms::*array, std::initializer_list<int> crowded) {
    Histograms hist;
    for (int level : crowded)
        (hist.*array)[level] = 49;
    return hist;
}

TEST(Histograms, EnhanceStartLevels) {
    struct Case {
        const char* name;
        std::initializer_list<int> crowded;
        bool saturation;
        int low, high;
    };
    const Case cases[] = {
        {"nothing crowded", {}, false, 0, 255},
        {"runs of three only", {10, 11, 12, 200, 201, 202}, false, 0, 255},
        {"one run", {10, 11, 12, 13}, false, 10, 13},
        {"two runs", {10, 11, 12, 13, 200, 201, 202, 203}, false, 10, 203},
        {"high 254 becomes 255", {251, 252, 253, 254}, false, 251, 255},
        {"run at the bottom", {0, 1, 2, 3}, false, 0, 3},
        {"bottom three levels", {0, 1, 2}, false, 0, 255},
        {"low searched to 250 for saturation", {251, 252, 253, 254}, true, 0, 255},
        {"high searched down to 4 for saturation", {1, 2, 3, 4}, true, 1, 4},
        {"saturation run below 4", {0, 1, 2, 3}, true, 0, 255},
    };
    for (const Case& c : cases) {
        const Histograms hist =
            WithRuns(c.saturation ? &Histograms::HistSat : &Histograms::HistLuma, c.crowded);
        const LevelRange range = EnhanceStartLevels(hist, c.saturation);
        EXPECT_EQ(range.low, c.low) << c.name;
        EXPECT_EQ(range.high, c.high) << c.name;
    }
    // 48 is not crowded.
    Histograms hist;
    for (int level = 20; level < 30; ++level)
        hist.HistLuma[level] = 48;
    EXPECT_EQ(EnhanceStartLevels(hist, false).low, 0);
}

TEST(Histograms, ZeroStartShifts) {
    Histograms hist;
    hist.HistRed[5] = 48;
    hist.HistRed[20] = 49;
    hist.HistRed[30] = 1000;
    hist.HistGreen[0] = 49;
    hist.HistBlue[100] = 3;
    EXPECT_EQ(ZeroStartShifts(hist), (std::array<int, 3>{-20, 0, 0}));
    hist.HistBlue[255] = 60;
    EXPECT_EQ(ZeroStartShifts(hist)[2], -255);
}

TEST(Histograms, CenterShiftsAlignThePeaks) {
    Histograms hist;
    auto bell = [](HistogramArray& a, int peak) {
        for (int d = -10; d <= 10; ++d)
            a[peak + d] = 1000 - 90 * std::abs(d);
    };
    bell(hist.HistRed, 100);
    bell(hist.HistGreen, 120);
    bell(hist.HistBlue, 140);
    EXPECT_EQ(CenterShifts(hist), (std::array<int, 3>{40, 20, 0}));
}

TEST(Histograms, CenterShiftsOfANeutralImageAreZero) {
    const Bitmap grey = MakeImage(64, 16, [](int x, int) { return RgbColor{x * 3, x * 3, x * 3}; });
    Histograms hist;
    DoCalcHistogram(grey, hist, true, false);
    EXPECT_EQ(CenterShifts(hist), (std::array<int, 3>{0, 0, 0}));
}

TEST(Histograms, CenterShiftsKeepTheUpperEdgeInRange) {
    // Red peaks 40 levels below the others but reaches up to 250: however the
    // window narrows, its shift stays 40, so it is limited to 255 - 250.
    Histograms hist;
    for (int d = -10; d <= 10; ++d) {
        hist.HistRed[100 + d] = 1000 - 90 * std::abs(d);
        hist.HistGreen[140 + d] = 1000 - 90 * std::abs(d);
        hist.HistBlue[140 + d] = 1000 - 90 * std::abs(d);
    }
    for (int level = 240; level <= 250; ++level)
        hist.HistRed[level] = 300 - level;
    const std::array<int, 3> shifts = CenterShifts(hist);
    EXPECT_EQ(shifts[0], 5);
    EXPECT_EQ(shifts[1], 0);
    EXPECT_EQ(shifts[2], 0);
}

} // namespace
} // namespace lumara
