// The integer HLS model: checked against a literal transcription of its
// formulas, then for the round trip on greys, primaries and every colour.

#include "processing/lut/Hls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace lumara {
namespace {

// The conversion written out step by step with plain integer divisions.
HlsColor ReferenceRgbToHls(int r, int g, int b) {
    const int mx = std::max({r, g, b});
    const int mn = std::min({r, g, b});
    const int sum = mx + mn;
    HlsColor o;
    o.L = (sum * 3600 + 255) / 510;
    if (mx == mn) {
        o.S = 0;
        o.H = 2400;
        return o;
    }
    const int d = mx - mn;
    if (o.L <= 1800)
        o.S = (d * 3600 + sum / 2) / sum;
    else
        o.S = (d * 3600 + (510 - sum) / 2) / (510 - sum);
    const int rd = (d / 2 + (mx - r) * 600) / d;
    const int gd = (d / 2 + (mx - g) * 600) / d;
    const int bd = (d / 2 + (mx - b) * 600) / d;
    int h;
    if (r == mx)
        h = bd - gd;
    else if (g == mx)
        h = rd + 1200 - bd;
    else
        h = gd + 2400 - rd;
    if (h < 0) h = std::abs(h + 3600);
    if (h > 3600) h = std::abs(h - 3600);
    o.H = h;
    return o;
}

int ReferenceHueToRgb(int m1, int m2, int h) {
    if (h < 0) h = std::abs(h + 3600);
    if (h > 3600) h = std::abs(h - 3600);
    if (h < 600) return m1 + ((m2 - m1) * h + 300) / 600;
    if (h < 1800) return m2;
    if (h < 2400) return m1 + ((m2 - m1) * (2400 - h) + 300) / 600;
    return m1;
}

// The chromatic branch written out, each component limited to 0..255.
RgbColor ReferenceHlsToRgb(int H, int L, int S) {
    const int m2 = L <= 1800 ? (L * (S + 3600) + 1800) / 3600 : L + S - (L * S + 1800) / 3600;
    const int m1 = 2 * L - m2;
    auto component = [&](int h) {
        return std::clamp((ReferenceHueToRgb(m1, m2, h) * 255 + 1800) / 3600, 0, 255);
    };
    return RgbColor{component(H + 1200), component(H), component(H - 1200)};
}

TEST(Hls, MatchesTheFormulasForEveryColour) {
    int mismatches = 0;
    for (int r = 0; r < 256; ++r)
        for (int g = 0; g < 256; ++g)
            for (int b = 0; b < 256; ++b) {
                const HlsColor fast = RgbToHls(r, g, b);
                const HlsColor reference = ReferenceRgbToHls(r, g, b);
                if (fast != reference && ++mismatches < 10)
                    ADD_FAILURE() << r << "," << g << "," << b << ": " << fast.H << " " << fast.L
                                  << " " << fast.S << " instead of " << reference.H << " "
                                  << reference.L << " " << reference.S;
            }
    EXPECT_EQ(mismatches, 0);
}

TEST(Hls, HlsToRgbMatchesTheFormulasOverTheWholeRange) {
    for (int H = -600; H <= 4200; H += 11)
        for (int L = 0; L <= 3600; L += 13)
            for (int S = 1; S <= 3600; S += 29)
                ASSERT_EQ(HlsToRgb(H, L, S), ReferenceHlsToRgb(H, L, S))
                    << H << " " << L << " " << S;
    const int edges[] = {0,    1,    299,  300,  599,  600,  601,  1199, 1200, 1201,
                         1799, 1800, 1801, 2399, 2400, 2401, 3000, 3599, 3600};
    for (int H : edges)
        for (int L : edges)
            for (int S : edges) {
                if (S == 0) continue;
                ASSERT_EQ(HlsToRgb(H, L, S), ReferenceHlsToRgb(H, L, S))
                    << H << " " << L << " " << S;
            }
}

TEST(Hls, RoundTripGivesBackEveryColour) {
    int mismatches = 0;
    for (int r = 0; r < 256; ++r)
        for (int g = 0; g < 256; ++g)
            for (int b = 0; b < 256; ++b) {
                const RgbColor back = HlsToRgb(RgbToHls(r, g, b));
                if (back != RgbColor{r, g, b} && ++mismatches < 10)
                    ADD_FAILURE() << r << "," << g << "," << b << " came back as " << back.r << ","
                                  << back.g << "," << back.b;
            }
    EXPECT_EQ(mismatches, 0);
}

TEST(Hls, Greys) {
    for (int v = 0; v < 256; ++v) {
        const HlsColor hls = RgbToHls(v, v, v);
        EXPECT_EQ(hls.S, 0) << v;
        EXPECT_EQ(hls.H, 2400) << v;
        EXPECT_EQ(hls.L, GreyLightness(v)) << v;
        EXPECT_EQ(HlsToRgb(hls), (RgbColor{v, v, v})) << v;
    }
    EXPECT_EQ(RgbToHls(0, 0, 0).L, 0);
    EXPECT_EQ(RgbToHls(255, 255, 255).L, 3600);
    // Grey 1 has lightness 14, which a truncating conversion would turn into 0.
    EXPECT_EQ(RgbToHls(1, 1, 1).L, 14);
    EXPECT_EQ(HlsToRgb(2400, 14, 0), (RgbColor{1, 1, 1}));
    EXPECT_EQ(HlsToRgb(0, 3600, 0), (RgbColor{255, 255, 255}));
}

TEST(Hls, PrimariesAndSecondaries) {
    struct Case {
        RgbColor rgb;
        HlsColor hls;
    };
    const Case cases[] = {
        {{255, 0, 0}, {0, 1800, 3600}},    {{255, 255, 0}, {600, 1800, 3600}},
        {{0, 255, 0}, {1200, 1800, 3600}}, {{0, 255, 255}, {1800, 1800, 3600}},
        {{0, 0, 255}, {2400, 1800, 3600}}, {{255, 0, 255}, {3000, 1800, 3600}},
        {{128, 0, 0}, {0, 904, 3600}},     {{255, 128, 128}, {0, 2704, 3600}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RgbToHls(c.rgb), c.hls) << c.rgb.r << "," << c.rgb.g << "," << c.rgb.b;
        EXPECT_EQ(HlsToRgb(c.hls), c.rgb) << c.hls.H << " " << c.hls.L << " " << c.hls.S;
    }
}

TEST(Hls, OutOfRangeInputsAreBroughtIntoRange) {
    EXPECT_EQ(RgbToHls(-5, 300, 128), RgbToHls(0, 255, 128));
    EXPECT_EQ(RgbToHls(1000, 1000, 1000), RgbToHls(255, 255, 255));
    for (const HlsColor& hls : {HlsColor{0, 5000, 3600}, HlsColor{99999, 1800, 3600},
                                HlsColor{-99999, -50, 7200}, HlsColor{1200, 2000000, 2000000}}) {
        const RgbColor c = HlsToRgb(hls);
        for (int v : {c.r, c.g, c.b}) {
            EXPECT_GE(v, 0);
            EXPECT_LE(v, 255);
        }
    }
}

} // namespace
} // namespace lumara
