// The operation table and the entries the commands, the batch interpreter and
// the preview call: the table's own consistency, and each entry's edge cases.

#include "processing/lut/PointOperations.h"

#include "TestImages.h"
#include "processing/lut/LutFilters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

namespace lumara {
namespace {

using testing::MakeImage;
using testing::NoiseImage;
using testing::PixelAt;

PointValues Initial(const PointOperation& op) {
    PointValues v{};
    for (int i = 0; i < op.paramCount; ++i)
        v[i] = op.params[i].initial;
    return v;
}

Bitmap Gradient() {
    return MakeImage(256, 3, [](int x, int y) { return RgbColor{x, (x + 85 * y) % 256, 255 - x}; });
}

TEST(PointOperationTable, EveryRowIsComplete) {
    std::set<std::string_view> keywords;
    std::set<int> dialogTypes;
    ASSERT_FALSE(PointOperations().empty());
    for (const PointOperation& op : PointOperations()) {
        SCOPED_TRACE(std::string(op.keyword));
        EXPECT_FALSE(op.keyword.empty());
        EXPECT_TRUE(keywords.insert(op.keyword).second) << "keyword twice";
        EXPECT_TRUE(std::all_of(op.keyword.begin(), op.keyword.end(), [](char c) {
            return std::isupper(static_cast<unsigned char>(c)) || c == '_';
        }));
        EXPECT_NE(op.run, nullptr);
        EXPECT_GE(op.paramCount, 0);
        EXPECT_LE(op.paramCount, 3);
        for (int type : op.dialogTypes) {
            if (type != 0) {
                EXPECT_TRUE(dialogTypes.insert(type).second) << "dialog type " << type;
            }
        }
        for (int i = 0; i < 3; ++i) {
            const PointParameter& p = op.params[i];
            if (i >= op.paramCount) {
                EXPECT_TRUE(p.name.empty() && p.min == 0 && p.max == 0) << "unused slot " << i;
                continue;
            }
            EXPECT_FALSE(p.name.empty()) << i;
            EXPECT_LT(p.min, p.max) << i;
            EXPECT_GE(p.initial, p.min) << i;
            EXPECT_LE(p.initial, p.max) << i;
            EXPECT_GE(p.initial, p.batchMin) << i;
            EXPECT_LE(p.initial, p.batchMax) << i;
            EXPECT_LE(p.batchMin, p.min) << i;
            EXPECT_GE(p.batchMax, p.max) << i;
            EXPECT_GT(p.smallStep, 0) << i;
            EXPECT_GE(p.largeStep, p.smallStep) << i;
            EXPECT_FALSE(p.lowLabel.empty()) << i;
            EXPECT_FALSE(p.highLabel.empty()) << i;
        }
        EXPECT_TRUE(PointValuesInRange(op, Initial(op)));
    }
}

TEST(PointOperationTable, HoldsEveryToneKeyword) {
    const char* keywords[] = {
        "GAMMA",
        "GAMMA_SUPRESS",
        "GAMMA_SATURATION",
        "BRIGHTNESS",
        "SHIFT",
        "CONTRAST",
        "ZERO",
        "SUPRESS",
        "ENHANCE",
        "LIGHTING",
        "SATURATION",
        "SHADOWS",
        "HIGHLIGHTS",
        "UNWASH",
        "UNCOOK",
        "ATTENUATE",
        "PARAMETRIC_EQ_ALL",
        "PARAMETRIC_EQ_RED",
        "PARAMETRIC_EQ_GRN",
        "PARAMETRIC_EQ_BLU",
        "LIMIT_ALL",
        "LIMIT_RED",
        "LIMIT_GRN",
        "LIMIT_BLU",
        "ZEROMAP",
        "CENTER",
        "NEGATIVE",
    };
    for (const char* keyword : keywords)
        EXPECT_NE(FindPointOperation(keyword), nullptr) << keyword;
    EXPECT_EQ(PointOperations().size(), std::size(keywords));
    EXPECT_EQ(FindPointOperation("gamma"), nullptr);
    EXPECT_EQ(FindPointOperation("WHITEBALANCE"), nullptr);
}

TEST(PointOperationTable, DialogTypes) {
    const std::pair<int, const char*> cases[] = {
        {100, "GAMMA"},
        {101, "GAMMA"},
        {102, "GAMMA_SUPRESS"},
        {103, "GAMMA_SATURATION"},
        {110, "BRIGHTNESS"},
        {111, "BRIGHTNESS"},
        {112, "SHIFT"},
        {113, "SHIFT"},
        {120, "CONTRAST"},
        {121, "CONTRAST"},
        {130, "ENHANCE"},
        {131, "SHADOWS"},
        {132, "HIGHLIGHTS"},
        {133, "LIGHTING"},
        {134, "SUPRESS"},
        {135, "SATURATION"},
        {140, "PARAMETRIC_EQ_ALL"},
        {143, "PARAMETRIC_EQ_BLU"},
        {400, "LIMIT_ALL"},
        {402, "LIMIT_GRN"},
    };
    for (const auto& [type, keyword] : cases) {
        const PointOperation* op = FindPointOperationForDialog(type);
        ASSERT_NE(op, nullptr) << type;
        EXPECT_EQ(op->keyword, keyword) << type;
    }
    EXPECT_EQ(FindPointOperationForDialog(0), nullptr);
    EXPECT_EQ(FindPointOperationForDialog(160), nullptr);
}

TEST(PointOperationTable, RangesOfTheSliders) {
    const PointOperation& gamma = *FindPointOperation("GAMMA");
    EXPECT_EQ(gamma.paramCount, 3);
    EXPECT_EQ(gamma.params[0].min, 1);
    EXPECT_EQ(gamma.params[0].max, 500);
    EXPECT_EQ(gamma.params[0].initial, 100);
    EXPECT_EQ(gamma.params[0].largeStep, 10);
    EXPECT_EQ(gamma.params[2].lowLabel, "1 (dark)");
    EXPECT_EQ(gamma.params[2].highLabel, "500 (bright)");
    EXPECT_EQ(gamma.busyText, "Gamma ...");
    EXPECT_EQ(FindPointOperation("GAMMA_SUPRESS")->params[0].lowLabel, "1 (bright)");
    const PointOperation& saturation = *FindPointOperation("GAMMA_SATURATION");
    EXPECT_EQ(saturation.paramCount, 1);
    EXPECT_EQ(saturation.params[0].batchMin, 0);
    EXPECT_EQ(saturation.params[0].highLabel, "500 (more)");
    const PointOperation& eq = *FindPointOperation("PARAMETRIC_EQ_RED");
    EXPECT_EQ(eq.params[1].min, 7);
    EXPECT_EQ(eq.params[1].max, 127);
    EXPECT_EQ(eq.params[1].initial, 63);
    EXPECT_EQ(eq.params[2].lowLabel, "-127 (cut)");
    const PointOperation& limit = *FindPointOperation("LIMIT_ALL");
    EXPECT_EQ(limit.params[1].initial, 128);
    EXPECT_EQ(limit.params[2].initial, 255);
    EXPECT_EQ(limit.busyText, "Limiting ...");
    EXPECT_EQ(FindPointOperation("CONTRAST")->busyText, "Adjusting Contrast ...");
    EXPECT_EQ(FindPointOperation("HIGHLIGHTS")->params[0].initial, 255);
    EXPECT_EQ(FindPointOperation("HIGHLIGHTS")->params[0].lowLabel, "0 (more)");
}

TEST(PointOperationTable, BatchRanges) {
    const PointOperation& brightness = *FindPointOperation("BRIGHTNESS");
    EXPECT_TRUE(PointValuesInRange(brightness, {-127, 0, 127}));
    EXPECT_FALSE(PointValuesInRange(brightness, {200, 0, 0}));
    EXPECT_FALSE(PointValuesInRange(brightness, {0, 0, -128}));
    EXPECT_TRUE(PointValuesInRange(*FindPointOperation("GAMMA_SATURATION"), {0, 999, 999}));
    EXPECT_FALSE(PointValuesInRange(*FindPointOperation("GAMMA"), {0, 100, 100}));
    EXPECT_FALSE(PointValuesInRange(*FindPointOperation("PARAMETRIC_EQ_ALL"), {128, 6, 0}));
    EXPECT_TRUE(PointValuesInRange(*FindPointOperation("NEGATIVE"), {-5, 999, 0}));
}

// Every row runs on a small image at its starting values and at the corners
// of its batch ranges (the sanitizer build watches the memory).
TEST(PointOperationTable, EveryRowRunsAtItsLimits) {
    for (const PointOperation& op : PointOperations()) {
        SCOPED_TRACE(std::string(op.keyword));
        const int corners = 1 << op.paramCount;
        for (int corner = -1; corner < corners; ++corner) {
            PointValues values = Initial(op);
            if (corner >= 0)
                for (int i = 0; i < op.paramCount; ++i)
                    values[i] = (corner >> i) & 1 ? op.params[i].batchMax : op.params[i].batchMin;
            ASSERT_TRUE(PointValuesInRange(op, values));
            Bitmap image = NoiseImage(17, 9, 4);
            ChannelMaps maps;
            Histograms hist;
            op.run(image, maps, hist, values);
            EXPECT_EQ(image.Width(), 17);
            EXPECT_EQ(image.Depth(), 24);
        }
    }
}

// The entries themselves stay inside the image and the tables for any values,
// not only those the batch ranges let through.
TEST(PointOperationTable, EveryRowSurvivesWildValues) {
    uint32_t state = 2024;
    auto next = [&state](int lo, int hi) {
        state = state * 1664525u + 1013904223u;
        return lo + static_cast<int>((state >> 8) % static_cast<uint32_t>(hi - lo + 1));
    };
    for (const PointOperation& op : PointOperations()) {
        SCOPED_TRACE(std::string(op.keyword));
        for (int round = 0; round < 40; ++round) {
            PointValues values{next(-1000, 1000), next(-1000, 1000), next(-1000, 1000)};
            Bitmap image = NoiseImage(11, 5, static_cast<uint32_t>(round));
            ChannelMaps maps;
            Histograms hist;
            op.run(image, maps, hist, values);
            EXPECT_EQ(image.Height(), 5);
        }
    }
}

// The table's function is the plain entry: the same values give the same bytes.
TEST(PointOperationTable, RowsCallThePlainEntries) {
    Bitmap viaTable = Gradient(), direct = Gradient();
    ChannelMaps maps;
    Histograms hist;
    PointValues values{150, 90, 300};
    FindPointOperation("GAMMA")->run(viaTable, maps, hist, values);
    ApplyGamma(direct, maps, 150, 90, 300);
    EXPECT_TRUE(viaTable.SamePixels(direct));

    values = {100, 40, -60};
    FindPointOperation("PARAMETRIC_EQ_GRN")->run(viaTable, maps, hist, values);
    ApplyParametricEq(direct, maps, 100, 40, -60, ChannelGreen);
    EXPECT_TRUE(viaTable.SamePixels(direct));
}

TEST(PointOperations, NeutralValuesLeaveTheImageUnchanged) {
    struct Case {
        const char* keyword;
        PointValues values;
    };
    const Case cases[] = {
        {"GAMMA", {100, 100, 100}},
        {"GAMMA_SUPRESS", {100, 100, 100}},
        {"BRIGHTNESS", {0, 0, 0}},
        {"CONTRAST", {0, 0, 0}},
        {"CONTRAST", {1, 1, 1}},
        {"SHIFT", {0, 0, 0}},
        {"ENHANCE", {0, 255, 0}},
        {"SUPRESS", {0, 255, 0}},
        {"SHADOWS", {0, 0, 0}},
        {"HIGHLIGHTS", {255, 255, 255}},
        {"PARAMETRIC_EQ_ALL", {127, 63, 0}},
        {"PARAMETRIC_EQ_BLU", {30, 100, 0}},
        {"LIMIT_ALL", {0, 128, 255}},
        {"LIMIT_RED", {0, 100, 255}},
    };
    for (const Case& c : cases) {
        Bitmap image = NoiseImage(31, 7, 1);
        const Bitmap before = image;
        ChannelMaps maps;
        Histograms hist;
        PointValues values = c.values;
        FindPointOperation(c.keyword)->run(image, maps, hist, values);
        EXPECT_TRUE(image.SamePixels(before)) << c.keyword;
    }
}

TEST(PointOperations, BrightnessExtremes) {
    ChannelMaps maps;
    Bitmap image = Gradient();
    ApplyBrightness(image, maps, -127, -127, -127);
    for (int x = 0; x < 256; ++x)
        EXPECT_EQ(PixelAt(image, x, 1), (RgbColor{0, 0, 0}));
    image = Gradient();
    ApplyBrightness(image, maps, 127, 127, 127);
    for (int x = 0; x < 256; ++x)
        EXPECT_EQ(PixelAt(image, x, 0).r, x < 128 ? 2 * x : 255);
}

TEST(PointOperations, ContrastMinus127Flattens) {
    ChannelMaps maps;
    Bitmap image = Gradient();
    ApplyContrast(image, maps, -127, -127, -127);
    for (int x = 0; x < 256; ++x)
        EXPECT_EQ(PixelAt(image, x, 0).r, x == 0 ? 0 : (x < 128 ? 127 : 128)) << x;
}

TEST(PointOperations, GammaSupressPullsDownHighlights) {
    ChannelMaps maps;
    Bitmap image = Gradient();
    ApplyGammaSupress(image, maps, 200, 200, 200);
    EXPECT_EQ(PixelAt(image, 0, 0).r, 0);
    EXPECT_EQ(PixelAt(image, 255, 0).r, 255);
    EXPECT_EQ(PixelAt(image, 191, 0).r, 255 - 128); // gamma 200 lifts 64 to 128
}

TEST(PointOperations, EnhanceStretchesEveryChannel) {
    ChannelMaps maps;
    Bitmap image = Gradient();
    ApplyEnhance(image, maps, 50, 100);
    EXPECT_EQ(PixelAt(image, 50, 0).r, 0);
    EXPECT_EQ(PixelAt(image, 75, 0).r, 128);
    EXPECT_EQ(PixelAt(image, 100, 0).r, 255);
    EXPECT_EQ(PixelAt(image, 75, 0).b, 255); // blue level 180
}

TEST(PointOperations, ShadowsAndHighlightsPerChannel) {
    ChannelMaps maps;
    Bitmap image = Gradient();
    ApplyShadows(image, maps, 50, 0, 0);
    EXPECT_EQ(PixelAt(image, 40, 0), (RgbColor{0, 40, 215}));
    image = Gradient();
    ApplyHighlights(image, maps, 255, 255, 100);
    EXPECT_EQ(PixelAt(image, 40, 0), (RgbColor{40, 40, 255}));
    EXPECT_EQ(PixelAt(image, 200, 0), (RgbColor{200, 200, 140}));
}

TEST(PointOperations, SaturationStartsFromCleanMaps) {
    ChannelMaps maps;
    maps.RedMap.fill(9);
    Bitmap image = Gradient();
    ApplySaturation(image, maps, 0, 255);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(maps.RedMap[i], i);
        EXPECT_EQ(maps.GreenMap[i], i);
        EXPECT_EQ(maps.BlueMap[i], i);
    }
}

TEST(PointOperations, LightingUsesTheGreenMapOnly) {
    ChannelMaps maps;
    ResetMaps(maps);
    Bitmap image = MakeImage(4, 1, [](int x, int) { return RgbColor{60 * x, 30, 200}; });
    Bitmap expected = image;
    ApplyLighting(image, maps, 40, 220);
    SetStretchLUT(maps, 40, 220, ChannelGreen);
    LuminanceFilter(expected, maps);
    EXPECT_TRUE(image.SamePixels(expected));
    EXPECT_EQ(maps.RedMap[100], 100);
}

TEST(PointOperations, GammaSaturationBuildsBothStages) {
    ChannelMaps maps;
    Bitmap image = MakeImage(8, 1, [](int x, int) { return RgbColor{30 * x, 200, 100}; });
    Bitmap expected = image;
    ApplyGammaSaturation(image, maps, 40);
    ChannelMaps reference;
    SetStretchLUT(reference, 0, 255, ChannelGreen);
    SetGammaLUT(reference, 40, ChannelBlue);
    SaturationFilter(expected, reference);
    EXPECT_TRUE(image.SamePixels(expected));
    EXPECT_EQ(maps.GreenMap, reference.GreenMap);
    EXPECT_EQ(maps.BlueMap, reference.BlueMap);
}

TEST(PointOperations, ParametricEqOnOneChannelLeavesTheOthers) {
    ChannelMaps maps;
    Bitmap image = Gradient();
    const Bitmap before = image;
    ApplyParametricEq(image, maps, 128, 63, 64, ChannelRed);
    for (int x = 0; x < 256; ++x) {
        EXPECT_EQ(PixelAt(image, x, 2).g, PixelAt(before, x, 2).g);
        EXPECT_EQ(PixelAt(image, x, 2).b, PixelAt(before, x, 2).b);
    }
    EXPECT_EQ(PixelAt(image, 128, 0).r, 191);
    EXPECT_EQ(PixelAt(image, 100, 0).r, 136);
}

TEST(PointOperations, LimitRemapsEachLevelOnce) {
    ChannelMaps maps;
    Bitmap image = Gradient();
    ApplyLimit(image, maps, 50, 128, 200, kAllChannels);
    for (int x = 0; x <= 50; ++x)
        EXPECT_EQ(PixelAt(image, x, 0).r, 0) << x;
    EXPECT_EQ(PixelAt(image, 89, 0).r, 64);
    EXPECT_EQ(PixelAt(image, 100, 0).r, 82); // round(50 * 128 / 78), remapped once
    EXPECT_EQ(PixelAt(image, 127, 0).r, 126);
    EXPECT_EQ(PixelAt(image, 128, 0).r, 128);
    EXPECT_EQ(PixelAt(image, 164, 0).r, 192);
    for (int x = 200; x < 256; ++x)
        EXPECT_EQ(PixelAt(image, x, 0).r, 255) << x;
    // The maps hold both ramps afterwards.
    EXPECT_EQ(maps.RedMap[100], 82);
    EXPECT_EQ(maps.RedMap[164], 192);
}

TEST(PointOperations, LimitOneChannel) {
    ChannelMaps maps;
    Bitmap image = Gradient();
    const Bitmap before = image;
    ApplyLimit(image, maps, 50, 128, 200, ChannelGreen);
    for (int x = 0; x < 256; ++x) {
        EXPECT_EQ(PixelAt(image, x, 1).r, PixelAt(before, x, 1).r);
        EXPECT_EQ(PixelAt(image, x, 1).b, PixelAt(before, x, 1).b);
    }
    EXPECT_EQ(PixelAt(image, 100, 0).g, 82);
}

TEST(PointOperations, LimitSkipsShortRamps) {
    ChannelMaps maps;
    Bitmap image = Gradient();
    const Bitmap before = image;
    ApplyLimit(image, maps, 125, 128, 131, kAllChannels);
    EXPECT_TRUE(image.SamePixels(before));
    ApplyLimit(image, maps, 125, 128, 200, kAllChannels); // only the high ramp
    EXPECT_EQ(PixelAt(image, 126, 0).r, 126);
    EXPECT_EQ(PixelAt(image, 164, 0).r, 192);
}

TEST(PointOperations, ZeroShiftsTheDarkestCrowdedLevelToBlack) {
    // Red from 20 up, 64 pixels per level; green from 0; blue never crowded.
    Bitmap image = MakeImage(236, 64, [](int x, int y) {
        return RgbColor{20 + x, x, y == 0 ? 255 : 0};
    });
    ChannelMaps maps;
    Histograms hist;
    EXPECT_EQ(ApplyZero(image, maps, hist), (std::array<int, 3>{-20, 0, 0}));
    EXPECT_EQ(PixelAt(image, 0, 5), (RgbColor{0, 0, 0}));
    EXPECT_EQ(PixelAt(image, 100, 5), (RgbColor{100, 100, 0}));
    PointValues values{};
    Bitmap again = MakeImage(236, 64, [](int x, int y) {
        return RgbColor{20 + x, x, y == 0 ? 255 : 0};
    });
    FindPointOperation("ZERO")->run(again, maps, hist, values);
    EXPECT_EQ(values, (PointValues{-20, 0, 0}));
    EXPECT_TRUE(again.SamePixels(image));
}

TEST(PointOperations, MapZeroPacksTheUsedLevels) {
    // Red uses every level, green only 10, 20 and 30, blue only 255.
    Bitmap image = MakeImage(256, 2, [](int x, int) { return RgbColor{x, 10 * (1 + x % 3), 255}; });
    ChannelMaps maps;
    Histograms hist;
    ApplyMapZero(image, maps, hist);
    for (int x = 0; x < 256; ++x) {
        EXPECT_EQ(PixelAt(image, x, 1).r, x);
        EXPECT_EQ(PixelAt(image, x, 1).g, x % 3);
        EXPECT_EQ(PixelAt(image, x, 1).b, 0);
    }
}

TEST(PointOperations, CenterOnANeutralImageShiftsNothing) {
    Bitmap image = MakeImage(128, 8, [](int x, int y) {
        const int v = (x * 2 + y * 5) % 256;
        return RgbColor{v, v, v};
    });
    const Bitmap before = image;
    ChannelMaps maps;
    Histograms hist;
    EXPECT_EQ(ApplyCenter(image, maps, hist), (std::array<int, 3>{0, 0, 0}));
    EXPECT_TRUE(image.SamePixels(before));
}

TEST(PointOperations, CenterAlignsAColourCast) {
    // A grey ramp around 100 whose red sits 30 levels low.
    Bitmap image = MakeImage(64, 64, [](int x, int y) {
        const int v = 80 + (x + y) / 4 % 40;
        return RgbColor{v - 30, v, v};
    });
    ChannelMaps maps;
    Histograms hist;
    PointValues values{};
    FindPointOperation("CENTER")->run(image, maps, hist, values);
    EXPECT_EQ(values, (PointValues{30, 0, 0}));
    for (int y = 0; y < 64; y += 9)
        for (int x = 0; x < 64; x += 7) {
            const RgbColor c = PixelAt(image, x, y);
            EXPECT_EQ(c.r, c.g);
        }
}

TEST(PointOperations, UnWashLevels) {
    Bitmap image = MakeImage(3, 1, [](int x, int) {
        const int v[] = {255, 128, 15};
        return RgbColor{v[x], v[x], v[x]};
    });
    ApplyUnWash(image);
    EXPECT_EQ(PixelAt(image, 0, 0).r, 255);
    EXPECT_EQ(PixelAt(image, 1, 0).g, 64);
    EXPECT_EQ(PixelAt(image, 2, 0).b, 0);
}

TEST(PointOperations, NegativeTwiceGivesBackTheImage) {
    Bitmap image = NoiseImage(33, 11, 8);
    const Bitmap before = image;
    ApplyNegative(image);
    EXPECT_EQ(PixelAt(image, 32, 10).r, 255 - PixelAt(before, 32, 10).r);
    ApplyNegative(image);
    EXPECT_TRUE(image.SamePixels(before));
}

// The preview pane runs the same entry on its own copy of the picture.
TEST(PointOperations, PreviewCopyGivesTheSameResult) {
    const Bitmap original = NoiseImage(40, 30, 2);
    for (const PointOperation& op : PointOperations()) {
        Bitmap main = original, preview = original;
        ChannelMaps mainMaps, previewMaps;
        Histograms mainHist, previewHist;
        PointValues a = Initial(op), b = Initial(op);
        op.run(main, mainMaps, mainHist, a);
        op.run(preview, previewMaps, previewHist, b);
        EXPECT_TRUE(main.SamePixels(preview)) << op.keyword;
        EXPECT_EQ(a, b) << op.keyword;
    }
}

} // namespace
} // namespace lumara
