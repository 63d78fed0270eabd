// Splitting rows over threads never changes a result.

#include "processing/lut/ParallelRows.h"

#include "TestImages.h"
#include "processing/lut/Histograms.h"
#include "processing/lut/LutFilters.h"
#include "processing/lut/PointOperations.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <set>
#include <stdexcept>
#include <vector>

namespace lumara {
namespace {

using testing::NoiseImage;
using testing::ScopedRowThreading;

TEST(ParallelRows, BandsCoverEveryRowOnce) {
    for (int height : {1, 2, 3, 7, 100, 1001}) {
        for (int bands : {1, 2, 3, 4, 7, 16}) {
            std::vector<int> seen(static_cast<size_t>(height), 0);
            std::mutex lock;
            RunRowBands(bands, height, [&](int, int y0, int y1) {
                std::lock_guard<std::mutex> hold(lock);
                for (int y = y0; y < y1; ++y)
                    ++seen[static_cast<size_t>(y)];
            });
            for (int y = 0; y < height; ++y)
                EXPECT_EQ(seen[static_cast<size_t>(y)], 1) << height << " " << bands << " " << y;
        }
    }
}

TEST(ParallelRows, SmallImagesStayOnOneThread) {
    ScopedRowThreading threading(RowThreading{8, 1000});
    EXPECT_EQ(RowBandCount(100, 999), 1);
    EXPECT_EQ(RowBandCount(100, 1000), 8);
    EXPECT_EQ(RowBandCount(3, 100000), 3);
    EXPECT_EQ(RowBandCount(1, 100000), 1);
    SetRowThreading(RowThreading{1, 0});
    EXPECT_EQ(RowBandCount(100, 100000), 1);
}

TEST(ParallelRows, ExceptionsReachTheCaller) {
    std::atomic<int> ran{0};
    EXPECT_THROW(RunRowBands(4, 40,
                             [&](int band, int, int) {
                                 ++ran;
                                 if (band == 2) throw std::runtime_error("band failed");
                             }),
                 std::runtime_error);
    EXPECT_EQ(ran.load(), 4);
}

// Every operation of the table and every pass, on a picture with an odd width
// and height, gives the same bytes on one thread and split into bands.
TEST(ParallelRows, OperationsAreByteIdenticalToOneThread) {
    const Bitmap original = NoiseImage(301, 123, 77);
    for (const PointOperation& op : PointOperations()) {
        PointValues values{};
        for (int i = 0; i < op.paramCount; ++i)
            values[i] = (op.params[i].min + 2 * op.params[i].max) / 3;
        Bitmap single = original;
        {
            ScopedRowThreading threading(RowThreading{1, 0});
            ChannelMaps maps;
            Histograms hist;
            PointValues v = values;
            op.run(single, maps, hist, v);
        }
        for (int threads : {2, 3, 5}) {
            Bitmap split = original;
            ScopedRowThreading threading(RowThreading{threads, 0});
            ChannelMaps maps;
            Histograms hist;
            PointValues v = values;
            op.run(split, maps, hist, v);
            EXPECT_EQ(0, std::memcmp(split.Bits(), single.Bits(), single.ImageSize()))
                << op.keyword << " on " << threads << " threads";
        }
    }
}

TEST(ParallelRows, HistogramsAreIdenticalToOneThread) {
    const Bitmap image = NoiseImage(257, 199, 12);
    Histograms single;
    {
        ScopedRowThreading threading(RowThreading{1, 0});
        DoCalcHistogram(image, single, true, true);
    }
    for (int threads : {2, 4, 7}) {
        ScopedRowThreading threading(RowThreading{threads, 0});
        Histograms split;
        DoCalcHistogram(image, split, true, true);
        EXPECT_EQ(split.HistRed, single.HistRed);
        EXPECT_EQ(split.HistGreen, single.HistGreen);
        EXPECT_EQ(split.HistBlue, single.HistBlue);
        EXPECT_EQ(split.HistLuma, single.HistLuma);
        EXPECT_EQ(split.HistSat, single.HistSat);
        EXPECT_EQ(split.HistMax, single.HistMax);
        EXPECT_EQ(split.Stats.RedSumSq, single.Stats.RedSumSq);
        EXPECT_EQ(split.Stats.SatSum, single.Stats.SatSum);
        EXPECT_EQ(split.Stats.BrightSum, single.Stats.BrightSum);
        EXPECT_EQ(split.Stats.N, single.Stats.N);
    }
}

// Above the default threshold the split happens by itself.
TEST(ParallelRows, LargeImageWithTheDefaultThreshold) {
    const Bitmap original = NoiseImage(1024, 300, 6);
    ASSERT_GE(int64_t{1024} * 300, RowThreading{}.minPixels);
    ChannelMaps maps;
    for (int ch = 0; ch < 3; ++ch)
        SetGammaLUT(maps, 170, ch);
    Bitmap single = original, split = original;
    {
        ScopedRowThreading threading(RowThreading{1, RowThreading{}.minPixels});
        SaturationFilter(single, maps);
        ColorFilter(single, maps);
    }
    {
        ScopedRowThreading threading(RowThreading{4, RowThreading{}.minPixels});
        EXPECT_EQ(RowBandCount(split.Height(), int64_t{1024} * 300), 4);
        SaturationFilter(split, maps);
        ColorFilter(split, maps);
    }
    EXPECT_EQ(0, std::memcmp(split.Bits(), single.Bits(), single.ImageSize()));
}

} // namespace
} // namespace lumara
