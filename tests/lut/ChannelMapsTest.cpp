// The table builders: each map pinned at the values its formula gives, the
// entries a builder must leave alone, and the edge cases of the tone commands.

#include "processing/lut/ChannelMaps.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace lumara {
namespace {

LevelMap Identity() {
    LevelMap t;
    for (int i = 0; i < 256; ++i)
        t[i] = static_cast<uint8_t>(i);
    return t;
}

// A map no builder produces, to see which entries a builder leaves alone.
LevelMap Marker(int salt) {
    LevelMap t;
    for (int i = 0; i < 256; ++i)
        t[i] = static_cast<uint8_t>((i * 7 + salt) | 1);
    return t;
}

ChannelMaps MarkedMaps() {
    ChannelMaps maps;
    maps.RedMap = Marker(3);
    maps.GreenMap = Marker(5);
    maps.BlueMap = Marker(11);
    return maps;
}

void ExpectEntries(const LevelMap& t, const std::map<int, int>& expected, const std::string& what) {
    for (const auto& [i, v] : expected)
        EXPECT_EQ(t[i], v) << what << " entry " << i;
}

void ExpectUntouched(const LevelMap& t, const LevelMap& before, int first, int last,
                     const std::string& what) {
    for (int i = first; i <= last; ++i)
        EXPECT_EQ(t[i], before[i]) << what << " entry " << i;
}

TEST(ChannelMaps, StartZeroed) {
    const ChannelMaps maps;
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(maps.RedMap[i], 0);
        EXPECT_EQ(maps.GreenMap[i], 0);
        EXPECT_EQ(maps.BlueMap[i], 0);
        EXPECT_EQ(maps.WideRedMap[i], 0);
        EXPECT_EQ(maps.WideGreenMap[i], 0);
        EXPECT_EQ(maps.WideBlueMap[i], 0);
    }
}

TEST(ChannelMaps, ResetMapsIsTheIdentity) {
    ChannelMaps maps = MarkedMaps();
    ResetMaps(maps);
    EXPECT_EQ(maps.RedMap, Identity());
    EXPECT_EQ(maps.GreenMap, Identity());
    EXPECT_EQ(maps.BlueMap, Identity());
}

TEST(ChannelMaps, MapSelectsByChannelIndex) {
    ChannelMaps maps;
    EXPECT_EQ(&maps.Map(0), &maps.RedMap);
    EXPECT_EQ(&maps.Map(1), &maps.GreenMap);
    EXPECT_EQ(&maps.Map(2), &maps.BlueMap);
    EXPECT_EQ(&maps.WideMap(2), &maps.WideBlueMap);
    EXPECT_THROW(maps.Map(3), std::out_of_range);
    EXPECT_THROW(maps.WideMap(-1), std::out_of_range);
}

TEST(ChannelMaps, RoundHalfEven) {
    const std::vector<std::pair<double, int>> cases = {
        {0.5, 0}, {1.5, 2}, {2.5, 2}, {127.5, 128}, {128.5, 128}, {0.49, 0}, {0.51, 1}, {-0.5, 0}};
    for (const auto& [value, rounded] : cases)
        EXPECT_EQ(RoundHalfEven(value), rounded) << value;
}

// Builders that leave every level unchanged at their neutral value.
TEST(ChannelMaps, NeutralValuesGiveTheIdentity) {
    struct Case {
        const char* name;
        void (*build)(ChannelMaps&, int channel);
    };
    const Case cases[] = {
        {"gamma 100", [](ChannelMaps& m, int ch) { SetGammaLUT(m, 100, ch); }},
        {"brightness 0", [](ChannelMaps& m, int ch) { SetBrightLUT(m, 0, ch); }},
        {"contrast 0", [](ChannelMaps& m, int ch) { SetContrastLUT(m, 0, ch); }},
        {"contrast 1", [](ChannelMaps& m, int ch) { SetContrastLUT(m, 1, ch); }},
        {"shift 0", [](ChannelMaps& m, int ch) { SetShiftLUT(m, 0, ch); }},
        {"stretch 0..255", [](ChannelMaps& m, int ch) { SetStretchLUT(m, 0, 255, ch); }},
        {"supress 0..255", [](ChannelMaps& m, int ch) { SetSupressLUT(m, 0, 255, ch); }},
        {"eq gain 0", [](ChannelMaps& m, int ch) { SetEqLUT(m, 100, 50, ch, 0); }},
    };
    for (const Case& c : cases) {
        for (int ch = 0; ch < 3; ++ch) {
            ChannelMaps maps = MarkedMaps();
            c.build(maps, ch);
            EXPECT_EQ(maps.Map(ch), Identity()) << c.name << " channel " << ch;
        }
    }
}

TEST(ChannelMaps, GammaFollowsThePowerCurve) {
    const std::vector<std::pair<int, std::map<int, int>>> cases = {
        {200, {{1, 16}, {64, 128}, {128, 181}, {254, 254}, {255, 255}}},
        {50, {{1, 0}, {64, 16}, {128, 64}, {200, 157}, {255, 255}}},
        {500, {{1, 84}, {2, 97}, {10, 133}, {128, 222}, {255, 255}}},
        {1, {{200, 0}, {250, 35}, {254, 172}, {255, 255}}},
    };
    for (const auto& [gamma, expected] : cases) {
        ChannelMaps maps;
        SetGammaLUT(maps, gamma, ChannelGreen);
        ExpectEntries(maps.GreenMap, expected, "gamma " + std::to_string(gamma));
    }
}

TEST(ChannelMaps, GammaBelowOneActsAsOne) {
    ChannelMaps one, zero, negative;
    SetGammaLUT(one, 1, ChannelBlue);
    SetGammaLUT(zero, 0, ChannelBlue);
    SetGammaLUT(negative, -40, ChannelBlue);
    EXPECT_EQ(zero.BlueMap, one.BlueMap);
    EXPECT_EQ(negative.BlueMap, one.BlueMap);
}

// The builders that fill entries 1..255 of one map also zero entry 0 of all
// three and leave the rest of the other maps alone.
TEST(ChannelMaps, EntryZeroRuleAndOtherMapsUntouched) {
    struct Case {
        const char* name;
        void (*build)(ChannelMaps&, int channel);
    };
    const Case cases[] = {
        {"gamma", [](ChannelMaps& m, int ch) { SetGammaLUT(m, 150, ch); }},
        {"brightness", [](ChannelMaps& m, int ch) { SetBrightLUT(m, 40, ch); }},
        {"shift", [](ChannelMaps& m, int ch) { SetShiftLUT(m, 30, ch); }},
        {"contrast", [](ChannelMaps& m, int ch) { SetContrastLUT(m, 50, ch); }},
    };
    for (const Case& c : cases) {
        for (int ch = 0; ch < 3; ++ch) {
            ChannelMaps maps = MarkedMaps();
            const ChannelMaps before = maps;
            c.build(maps, ch);
            for (int other = 0; other < 3; ++other) {
                EXPECT_EQ(maps.Map(other)[0], 0) << c.name << " channel " << ch;
                if (other != ch)
                    ExpectUntouched(maps.Map(other), before.Map(other), 1, 255, c.name);
            }
        }
    }
}

TEST(ChannelMaps, BrightnessScalesByAnIntegerPercentage) {
    ChannelMaps maps;
    SetBrightLUT(maps, -64, ChannelRed); // 49 %
    ExpectEntries(maps.RedMap, {{1, 0}, {2, 1}, {3, 1}, {100, 49}, {255, 125}}, "brightness -64");
    SetBrightLUT(maps, 50, ChannelRed); // 139 %
    ExpectEntries(maps.RedMap, {{1, 1}, {2, 3}, {3, 4}, {100, 139}, {183, 254}, {184, 255}},
                  "brightness 50");
}

TEST(ChannelMaps, BrightnessExtremes) {
    ChannelMaps maps;
    SetBrightLUT(maps, -127, ChannelGreen);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(maps.GreenMap[i], 0) << i;
    SetBrightLUT(maps, 127, ChannelGreen);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(maps.GreenMap[i], i < 128 ? 2 * i : 255) << i;
}

TEST(ChannelMaps, WideBrightnessIsNotClamped) {
    ChannelMaps maps = MarkedMaps();
    const ChannelMaps before = maps;
    maps.WideRedMap.fill(-7);
    maps.WideBlueMap.fill(-7);
    SetBrightLUTex(maps, 127, ChannelGreen);
    for (int i = 1; i < 256; ++i)
        EXPECT_EQ(maps.WideGreenMap[i], 2 * i) << i;
    EXPECT_EQ(maps.WideRedMap[0], 0);
    EXPECT_EQ(maps.WideGreenMap[0], 0);
    EXPECT_EQ(maps.WideBlueMap[0], 0);
    EXPECT_EQ(maps.WideRedMap[1], -7);
    EXPECT_EQ(maps.WideBlueMap[255], -7);
    // The byte maps are not involved.
    EXPECT_EQ(maps.RedMap, before.RedMap);
    EXPECT_EQ(maps.GreenMap, before.GreenMap);
    EXPECT_EQ(maps.BlueMap, before.BlueMap);

    SetBrightLUTex(maps, -64, ChannelRed);
    EXPECT_EQ(maps.WideRedMap[255], 125);
}

TEST(ChannelMaps, ShiftClampsAndKeepsBlack) {
    ChannelMaps maps;
    SetShiftLUT(maps, 40, ChannelBlue);
    EXPECT_EQ(maps.BlueMap[0], 0);
    ExpectEntries(maps.BlueMap, {{1, 41}, {100, 140}, {215, 255}, {255, 255}}, "shift 40");
    SetShiftLUT(maps, -40, ChannelBlue);
    ExpectEntries(maps.BlueMap, {{1, 0}, {40, 0}, {41, 1}, {255, 215}}, "shift -40");
    SetShiftLUT(maps, 255, ChannelBlue);
    ExpectEntries(maps.BlueMap, {{0, 0}, {1, 255}}, "shift 255");
}

TEST(ChannelMaps, ContrastPinnedValues) {
    const std::vector<std::pair<int, std::map<int, int>>> cases = {
        // strength 50 outward: 100 - 13.5 = 86.5 rounds to even
        {64, {{1, 0}, {100, 86}, {127, 127}, {128, 128}, {200, 236}, {255, 255}}},
        // strength 50 inward: 100 + 13.5 = 113.5 rounds to even
        {-64, {{1, 64}, {100, 114}, {127, 127}, {128, 128}, {200, 164}, {255, 192}}},
        // strength 99 inward: nearly flat
        {-126, {{1, 126}, {127, 127}, {128, 128}, {255, 129}}},
        // strength 100 outward doubles the distance from the pivot
        {127, {{1, 0}, {64, 1}, {100, 73}, {127, 127}, {128, 128}, {191, 254}, {192, 255}}},
    };
    for (const auto& [contrast, expected] : cases) {
        ChannelMaps maps;
        SetContrastLUT(maps, contrast, ChannelRed);
        ExpectEntries(maps.RedMap, expected, "contrast " + std::to_string(contrast));
    }
}

TEST(ChannelMaps, ContrastMinus127FlattensOntoThePivot) {
    ChannelMaps maps;
    SetContrastLUT(maps, -127, ChannelGreen);
    EXPECT_EQ(maps.GreenMap[0], 0);
    for (int i = 1; i < 128; ++i)
        EXPECT_EQ(maps.GreenMap[i], 127) << i;
    for (int i = 128; i < 256; ++i)
        EXPECT_EQ(maps.GreenMap[i], 128) << i;
}

// Lowering the contrast step by step never moves a level away from the pivot,
// raising it never moves one towards it, and each map keeps the level order.
TEST(ChannelMaps, ContrastIsMonotonic) {
    auto distance = [](int v) { return v > 127 ? v - 128 : 127 - v; };
    ChannelMaps previous;
    SetContrastLUT(previous, -127, ChannelRed);
    for (int p = -126; p <= 127; ++p) {
        ChannelMaps maps;
        SetContrastLUT(maps, p, ChannelRed);
        for (int i = 1; i < 256; ++i) {
            EXPECT_GE(distance(maps.RedMap[i]), distance(previous.RedMap[i]))
                << "contrast " << p << " level " << i;
            EXPECT_GE(maps.RedMap[i], maps.RedMap[i - 1]) << "contrast " << p << " level " << i;
        }
        previous = maps;
    }
}

TEST(ChannelMaps, SupressSqueezesTheRange) {
    ChannelMaps maps = MarkedMaps();
    SetSupressLUT(maps, 20, 200, ChannelRed);
    ExpectEntries(maps.RedMap, {{0, 20}, {1, 21}, {17, 32}, {128, 110}, {255, 200}}, "supress");
    // Entry 0 is the map's own; the other maps are not involved.
    EXPECT_EQ(maps.GreenMap, Marker(5));
    EXPECT_EQ(maps.BlueMap, Marker(11));
}

TEST(ChannelMaps, StretchRamp) {
    ChannelMaps maps = MarkedMaps();
    SetStretchLUT(maps, 50, 100, ChannelBlue);
    for (int i = 0; i <= 50; ++i)
        EXPECT_EQ(maps.BlueMap[i], 0) << i;
    for (int i = 100; i < 256; ++i)
        EXPECT_EQ(maps.BlueMap[i], 255) << i;
    ExpectEntries(maps.BlueMap, {{51, 5}, {75, 128}, {99, 250}}, "stretch 50..100");
    EXPECT_EQ(maps.RedMap, Marker(3));
    EXPECT_EQ(maps.GreenMap, Marker(5));
}

TEST(ChannelMaps, StretchToTheSameLevelIsAThreshold) {
    for (int level : {0, 1, 100, 255}) {
        ChannelMaps maps = MarkedMaps();
        SetStretchLUT(maps, level, level, ChannelRed);
        for (int i = 0; i < 256; ++i)
            EXPECT_EQ(maps.RedMap[i], i < level ? 0 : 255) << "threshold " << level << " " << i;
    }
}

TEST(ChannelMaps, StretchRoundsHalvesToEven) {
    ChannelMaps maps;
    SetStretchLUT(maps, 0, 2, ChannelGreen);
    ExpectEntries(maps.GreenMap, {{0, 0}, {1, 128}, {2, 255}}, "stretch 0..2");
}

TEST(ChannelMaps, StretchWithHighBelowLowOnlyFills) {
    ChannelMaps maps = MarkedMaps();
    SetStretchLUT(maps, 200, 100, ChannelGreen);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(maps.GreenMap[i], i < 100 ? 0 : 255) << i;
}

TEST(ChannelMaps, LoRemapLeavesTheUpperEntries) {
    ChannelMaps maps = MarkedMaps();
    SetLoRemap(maps, 50, 128, ChannelRed);
    for (int i = 0; i <= 50; ++i)
        EXPECT_EQ(maps.RedMap[i], 0) << i;
    ExpectEntries(maps.RedMap, {{51, 2}, {89, 64}, {127, 126}}, "low remap");
    ExpectUntouched(maps.RedMap, Marker(3), 128, 255, "low remap");
    EXPECT_EQ(maps.GreenMap, Marker(5));
}

TEST(ChannelMaps, LoRemapWithMedianAtOrBelowLowOnlyFills) {
    ChannelMaps maps = MarkedMaps();
    SetLoRemap(maps, 60, 40, ChannelRed);
    for (int i = 0; i <= 60; ++i)
        EXPECT_EQ(maps.RedMap[i], 0) << i;
    ExpectUntouched(maps.RedMap, Marker(3), 61, 255, "degenerate low remap");
}

TEST(ChannelMaps, HiRemapLeavesTheLowerEntries) {
    ChannelMaps maps = MarkedMaps();
    SetHiRemap(maps, 200, 128, ChannelGreen);
    for (int i = 200; i < 256; ++i)
        EXPECT_EQ(maps.GreenMap[i], 255) << i;
    ExpectEntries(maps.GreenMap, {{128, 128}, {164, 192}, {199, 253}}, "high remap");
    ExpectUntouched(maps.GreenMap, Marker(5), 0, 127, "high remap");
    EXPECT_EQ(maps.BlueMap, Marker(11));
}

TEST(ChannelMaps, HiRemapWithHighAtOrBelowMedianOnlyFills) {
    ChannelMaps maps = MarkedMaps();
    SetHiRemap(maps, 100, 128, ChannelGreen);
    for (int i = 100; i < 256; ++i)
        EXPECT_EQ(maps.GreenMap[i], 255) << i;
    ExpectUntouched(maps.GreenMap, Marker(5), 0, 99, "degenerate high remap");
}

TEST(ChannelMaps, EqBoostAndCut) {
    // centre 128, band 63, |gain| 64: bump of height 127 over levels 65..191.
    ChannelMaps maps = MarkedMaps();
    SetEqLUT(maps, 128, 63, ChannelRed, 64);
    ExpectEntries(maps.RedMap,
                  {{0, 0},
                   {64, 64},
                   {65, 65},
                   {66, 66},
                   {100, 136},
                   {128, 191},
                   {150, 195},
                   {191, 191},
                   {192, 192},
                   {255, 255}},
                  "boost");
    EXPECT_EQ(maps.GreenMap, Marker(5));
    EXPECT_EQ(maps.BlueMap, Marker(11));

    SetEqLUT(maps, 128, 63, ChannelBlue, -64);
    ExpectEntries(maps.BlueMap,
                  {{65, 65}, {66, 66}, {100, 64}, {128, 65}, {150, 105}, {191, 191}, {200, 200}},
                  "cut");
}

TEST(ChannelMaps, EqUnitGainMovesTheCentreByTheBandSquared) {
    for (int band : {7, 63, 127}) {
        ChannelMaps maps;
        SetEqLUT(maps, 128, band, ChannelGreen, 1);
        EXPECT_EQ(maps.GreenMap[128], 128 + (band + 1) * (band + 1) / 255) << band;
        SetEqLUT(maps, 128, band, ChannelGreen, -1);
        EXPECT_EQ(maps.GreenMap[128], 128 - (band + 1) * (band + 1) / 255) << band;
    }
}

TEST(ChannelMaps, EqBumpAtTheEdgeWritesOnlyLevelsInside) {
    ChannelMaps maps = MarkedMaps();
    SetEqLUT(maps, 0, 127, ChannelRed, 10);
    ExpectEntries(maps.RedMap, {{0, 73}, {1, 73}, {64, 100}, {126, 126}, {127, 127}}, "edge");
    for (int i = 128; i < 256; ++i)
        EXPECT_EQ(maps.RedMap[i], i) << i;
    EXPECT_EQ(maps.GreenMap, Marker(5));
    EXPECT_EQ(maps.BlueMap, Marker(11));
}

TEST(ChannelMaps, EqGainZeroResetsAllThree) {
    ChannelMaps maps = MarkedMaps();
    SetEqLUT(maps, 30, 20, ChannelBlue, 0);
    EXPECT_EQ(maps.RedMap, Identity());
    EXPECT_EQ(maps.GreenMap, Identity());
    EXPECT_EQ(maps.BlueMap, Identity());
}

TEST(ChannelMaps, MidToneFillsTheLowerHalfOfGreen) {
    ChannelMaps maps = MarkedMaps();
    SetMidToneLUT(maps, 200);
    ExpectEntries(maps.GreenMap, {{0, 0}, {1, 11}, {64, 90}, {100, 113}, {127, 127}}, "midtone");
    ExpectUntouched(maps.GreenMap, Marker(5), 128, 255, "midtone");
    EXPECT_EQ(maps.RedMap, Marker(3));
    EXPECT_EQ(maps.BlueMap, Marker(11));

    SetMidToneLUT(maps, 100);
    for (int i = 0; i < 128; ++i)
        EXPECT_EQ(maps.GreenMap[i], i) << i;
}

TEST(ChannelMaps, BuildersRefuseABadChannel) {
    ChannelMaps maps;
    EXPECT_THROW(SetGammaLUT(maps, 100, 3), std::out_of_range);
    EXPECT_THROW(SetBrightLUT(maps, 0, -1), std::out_of_range);
    EXPECT_THROW(SetBrightLUTex(maps, 0, 7), std::out_of_range);
    EXPECT_THROW(SetShiftLUT(maps, 0, 3), std::out_of_range);
    EXPECT_THROW(SetContrastLUT(maps, 0, 3), std::out_of_range);
    EXPECT_THROW(SetSupressLUT(maps, 0, 255, 3), std::out_of_range);
    EXPECT_THROW(SetStretchLUT(maps, 0, 255, 3), std::out_of_range);
    EXPECT_THROW(SetLoRemap(maps, 0, 128, 3), std::out_of_range);
    EXPECT_THROW(SetHiRemap(maps, 255, 128, 3), std::out_of_range);
    EXPECT_THROW(SetEqLUT(maps, 128, 63, 3, 5), std::out_of_range);
    try {
        SetGammaLUT(maps, 100, 5);
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "SetGammaLUT: channel 5 is not 0 (red), 1 (green) or 2 (blue)");
    }
}

// Arguments far outside the commands' ranges still write only inside the
// tables and store levels (the sanitizer build watches the writes).
TEST(ChannelMaps, WildArgumentsStayInsideTheTables) {
    ChannelMaps maps = MarkedMaps();
    SetStretchLUT(maps, -50, 400, ChannelRed);
    EXPECT_EQ(maps.RedMap[0], 28); // round(50 * 255 / 450)
    SetStretchLUT(maps, 300, 280, ChannelRed);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(maps.RedMap[i], 0) << i;
    SetLoRemap(maps, -20, 300, ChannelGreen);
    SetLoRemap(maps, 400, 500, ChannelGreen);
    SetHiRemap(maps, 500, -10, ChannelBlue);
    SetHiRemap(maps, -300, -400, ChannelBlue);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(maps.BlueMap[i], 255) << i;
    SetEqLUT(maps, 300, 0, ChannelRed, 1000);
    SetEqLUT(maps, -300, -5, ChannelRed, -1000);
    SetSupressLUT(maps, -1000, 1000, ChannelGreen);
    EXPECT_EQ(maps.GreenMap[0], 0);
    EXPECT_EQ(maps.GreenMap[255], 255);
    SetBrightLUT(maps, -100000, ChannelRed);
    SetBrightLUT(maps, 100000, ChannelRed);
    SetBrightLUTex(maps, 100000, ChannelRed);
    EXPECT_EQ(maps.WideRedMap[255], 32767);
    SetShiftLUT(maps, -2000000000, ChannelRed);
    SetContrastLUT(maps, -100000, ChannelRed);
    SetContrastLUT(maps, 100000, ChannelRed);
    SetMidToneLUT(maps, -3);
}

} // namespace
} // namespace lumara
