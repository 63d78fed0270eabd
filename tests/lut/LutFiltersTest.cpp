// The appliers and the other per-pixel tone passes, on a few pixels each.

#include "processing/lut/LutFilters.h"

#include "TestImages.h"
#include "codecs/model/Exceptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

namespace lumara {
namespace {

using testing::MakeImage;
using testing::NoiseImage;
using testing::PixelAt;
using testing::RowOf;

// Distinct maps per channel, so a mixed-up channel shows.
ChannelMaps DistinctMaps() {
    ChannelMaps maps;
    for (int i = 0; i < 256; ++i) {
        maps.RedMap[i] = static_cast<uint8_t>(255 - i);
        maps.GreenMap[i] = static_cast<uint8_t>(i / 2);
        maps.BlueMap[i] = static_cast<uint8_t>(std::min(255, i + 10));
    }
    return maps;
}

TEST(LutFilters, ColorFilterUsesEachChannelsMap) {
    const ChannelMaps maps = DistinctMaps();
    for (auto filter : {ColorFilter, ColorFilterBitmap}) {
        Bitmap image = RowOf({{0, 0, 0}, {10, 20, 30}, {255, 255, 255}, {200, 101, 250}});
        filter(image, maps);
        EXPECT_EQ(PixelAt(image, 0, 0), (RgbColor{255, 0, 10}));
        EXPECT_EQ(PixelAt(image, 1, 0), (RgbColor{245, 10, 40}));
        EXPECT_EQ(PixelAt(image, 2, 0), (RgbColor{0, 127, 255}));
        EXPECT_EQ(PixelAt(image, 3, 0), (RgbColor{55, 50, 255}));
    }
}

// Rows of every width up to a few groups of pixels, so each pixel of a row
// goes through the map whether or not it falls into a full group.
TEST(LutFilters, ColorFilterOnEveryShortWidth) {
    const ChannelMaps maps = DistinctMaps();
    for (int width = 1; width <= 13; ++width) {
        const Bitmap before = NoiseImage(width, 3, static_cast<uint32_t>(width));
        Bitmap image = before;
        ColorFilter(image, maps);
        Bitmap inverted = before;
        InvertBitmap(inverted);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < width; ++x) {
                const RgbColor c = PixelAt(before, x, y);
                EXPECT_EQ(PixelAt(image, x, y),
                          (RgbColor{maps.RedMap[c.r], maps.GreenMap[c.g], maps.BlueMap[c.b]}))
                    << width << " " << x << "," << y;
                EXPECT_EQ(PixelAt(inverted, x, y), (RgbColor{255 - c.r, 255 - c.g, 255 - c.b}))
                    << width << " " << x << "," << y;
            }
    }
}

TEST(LutFilters, NegColorFilterActsOnInvertedLevels) {
    const ChannelMaps maps = DistinctMaps();
    Bitmap image = RowOf({{0, 0, 0}, {10, 20, 30}, {255, 255, 255}});
    NegColorFilter(image, maps);
    // R' = 255 - RedMap[255 - R] and so on.
    EXPECT_EQ(PixelAt(image, 0, 0), (RgbColor{255 - 0, 255 - 127, 255 - 255}));
    EXPECT_EQ(PixelAt(image, 1, 0), (RgbColor{255 - 10, 255 - 117, 255 - 235}));
    EXPECT_EQ(PixelAt(image, 2, 0), (RgbColor{255 - 255, 255 - 0, 255 - 10}));

    // A gamma map that brightens, passed through the inverted levels, darkens.
    ChannelMaps gamma;
    for (int ch = 0; ch < 3; ++ch)
        SetGammaLUT(gamma, 200, ch);
    Bitmap grey = RowOf({{64, 64, 64}, {191, 191, 191}, {255, 255, 255}, {0, 0, 0}});
    NegColorFilter(grey, gamma);
    EXPECT_EQ(PixelAt(grey, 0, 0), (RgbColor{34, 34, 34}));    // 255 - 221
    EXPECT_EQ(PixelAt(grey, 1, 0), (RgbColor{127, 127, 127})); // 255 - 128
    EXPECT_EQ(PixelAt(grey, 2, 0), (RgbColor{255, 255, 255})); // entry 0 is 0
    EXPECT_EQ(PixelAt(grey, 3, 0), (RgbColor{0, 0, 0}));
}

TEST(LutFilters, LuminanceFilterMapsLightness) {
    ChannelMaps maps = DistinctMaps();
    const RgbColor colours[] = {{200, 100, 50}, {10, 20, 30}, {255, 0, 0}, {90, 90, 90}};
    Bitmap image = RowOf({colours[0], colours[1], colours[2], colours[3]});
    LuminanceFilter(image, maps);
    for (int x = 0; x < 4; ++x) {
        const RgbColor c = colours[x];
        const HlsColor hls = RgbToHls(c);
        const int l = std::min(255, hls.L * 255 / 3600);
        const RgbColor expected = HlsToRgb(hls.H, maps.GreenMap[l] * 3600 / 255, hls.S);
        EXPECT_EQ(PixelAt(image, x, 0), expected) << x;
    }
    // Pinned: lightness of (200, 100, 50) is 1765, level 125, halved to 62.
    EXPECT_EQ(RgbToHls(200, 100, 50).L, 1765);
    EXPECT_EQ(PixelAt(image, 0, 0), HlsToRgb(RgbToHls(200, 100, 50).H, 875, 2160));
    EXPECT_EQ(RgbToHls(200, 100, 50).S, 2160);
}

TEST(LutFilters, SaturationFilterMapsSaturationThroughTwoStages) {
    ChannelMaps maps;
    ResetMaps(maps);
    for (int i = 0; i < 256; ++i)
        maps.GreenMap[i] = static_cast<uint8_t>(i / 2);
    for (int i = 0; i < 256; ++i)
        maps.BlueMap[i] = static_cast<uint8_t>(std::min(255, i * 3));
    const RgbColor colours[] = {{200, 100, 50}, {10, 20, 30}, {255, 0, 0}, {90, 90, 90}};
    Bitmap image = RowOf({colours[0], colours[1], colours[2], colours[3]});
    SaturationFilter(image, maps);
    for (int x = 0; x < 4; ++x) {
        const HlsColor hls = RgbToHls(colours[x]);
        const int s = std::min(255, hls.S * 255 / 3600);
        const RgbColor expected =
            HlsToRgb(hls.H, hls.L, maps.BlueMap[maps.GreenMap[s]] * 3600 / 255);
        EXPECT_EQ(PixelAt(image, x, 0), expected) << x;
    }
    EXPECT_EQ(PixelAt(image, 3, 0), (RgbColor{90, 90, 90}));
}

TEST(LutFilters, ZeroSaturationMapMakesGreys) {
    ChannelMaps maps;
    ResetMaps(maps);
    maps.GreenMap.fill(0);
    Bitmap image = RowOf({{200, 100, 50}, {0, 0, 255}});
    SaturationFilter(image, maps);
    for (int x = 0; x < 2; ++x) {
        const RgbColor c = PixelAt(image, x, 0);
        EXPECT_EQ(c.r, c.g);
        EXPECT_EQ(c.g, c.b);
    }
    EXPECT_EQ(PixelAt(image, 1, 0).r, 128); // lightness 1800
}

TEST(LutFilters, IdentityMapsKeepGreysThroughTheHlsPasses) {
    ChannelMaps maps;
    ResetMaps(maps);
    Bitmap image = MakeImage(256, 1, [](int x, int) { return RgbColor{x, x, x}; });
    const Bitmap before = image;
    SaturationFilter(image, maps);
    EXPECT_TRUE(image.SamePixels(before));
}

// Every colour, through each pass that works in the HLS model, against the
// conversion functions applied pixel by pixel. Each pass is checked on every
// fourth row (a different quarter per pass, so all colours are checked once);
// each quarter still holds every pair of largest and smallest component.
TEST(LutFilters, HlsPassesMatchTheModelForEveryColour) {
    Bitmap all(4096, 4096, 24);
    for (int y = 0; y < 4096; ++y) {
        uint8_t* p = all.ScanLine(y);
        for (int x = 0; x < 4096; ++x, p += 3) {
            const int i = y * 4096 + x;
            p[0] = static_cast<uint8_t>(i);
            p[1] = static_cast<uint8_t>(i >> 8);
            p[2] = static_cast<uint8_t>(i >> 16);
        }
    }
    ChannelMaps maps;
    ResetMaps(maps);
    SetGammaLUT(maps, 160, ChannelGreen);
    SetContrastLUT(maps, 60, ChannelBlue);
    auto level = [](int v) { return std::min(255, v * 255 / 3600); };
    struct Case {
        const char* name;
        std::function<void(Bitmap&)> pass;
        std::function<RgbColor(int, int, int)> expected;
    };
    const Case cases[] = {
        {"LuminanceFilter", [&](Bitmap& b) { LuminanceFilter(b, maps); },
         [&](int r, int g, int b) {
             const HlsColor hls = RgbToHls(r, g, b);
             return HlsToRgb(hls.H, maps.GreenMap[level(hls.L)] * 3600 / 255, hls.S);
         }},
        {"SaturationFilter", [&](Bitmap& b) { SaturationFilter(b, maps); },
         [&](int r, int g, int b) {
             const HlsColor hls = RgbToHls(r, g, b);
             return HlsToRgb(hls.H, hls.L, maps.BlueMap[maps.GreenMap[level(hls.S)]] * 3600 / 255);
         }},
        {"MultiplyLuminance", [](Bitmap& b) { MultiplyLuminance(b); },
         [](int r, int g, int b) {
             const HlsColor hls = RgbToHls(r, g, b);
             return HlsToRgb(hls.H, std::min(3600, hls.L * hls.L / 3600), hls.S);
         }},
        {"UnWashMore", [](Bitmap& b) { UnWashMore(b); },
         [](int r, int g, int b) {
             const HlsColor hls = RgbToHls(r, g, b);
             const int m = std::min({r, g, b});
             const int lm = RgbToHls(m, m, m).L;
             const RgbColor c = HlsToRgb(hls.H, std::min(3600, lm * lm / 3600), hls.S);
             return RgbColor{(r + c.r) / 2, (g + c.g) / 2, (b + c.b) / 2};
         }},
    };
    for (int k = 0; k < 4; ++k) {
        const Case& c = cases[k];
        Bitmap image = all;
        c.pass(image);
        int mismatches = 0;
        for (int y = k; y < 4096; y += 4) {
            const uint8_t* in = all.ScanLine(y);
            const uint8_t* out = image.ScanLine(y);
            for (int x = 0; x < 4096; ++x, in += 3, out += 3) {
                const RgbColor want = c.expected(in[2], in[1], in[0]);
                if (want != RgbColor{out[2], out[1], out[0]} && ++mismatches < 5)
                    ADD_FAILURE() << c.name << " " << int(in[2]) << "," << int(in[1]) << ","
                                  << int(in[0]);
            }
        }
        EXPECT_EQ(mismatches, 0) << c.name;
    }
}

TEST(LutFilters, UnWash) {
    Bitmap image = RowOf({{255, 128, 15}, {0, 16, 17}});
    MultiplyRGB(image);
    EXPECT_EQ(PixelAt(image, 0, 0), (RgbColor{255, 64, 0}));
    EXPECT_EQ(PixelAt(image, 1, 0), (RgbColor{0, 1, 1}));
}

TEST(LutFilters, Attenuate) {
    const RgbColor colours[] = {{200, 100, 50}, {255, 255, 255}, {128, 128, 128}, {0, 0, 255}};
    Bitmap image = RowOf({colours[0], colours[1], colours[2], colours[3]});
    MultiplyLuminance(image);
    for (int x = 0; x < 4; ++x) {
        const HlsColor hls = RgbToHls(colours[x]);
        EXPECT_EQ(PixelAt(image, x, 0), HlsToRgb(hls.H, hls.L * hls.L / 3600, hls.S)) << x;
    }
    EXPECT_EQ(PixelAt(image, 1, 0), (RgbColor{255, 255, 255}));
    EXPECT_EQ(PixelAt(image, 2, 0), (RgbColor{64, 64, 64})); // L 1807 -> 907
}

TEST(LutFilters, UnCook) {
    const RgbColor colours[] = {{200, 100, 50}, {255, 255, 255}, {40, 90, 140}};
    Bitmap image = RowOf({colours[0], colours[1], colours[2]});
    UnWashMore(image);
    for (int x = 0; x < 3; ++x) {
        const RgbColor c = colours[x];
        const HlsColor hls = RgbToHls(c);
        const int m = std::min({c.r, c.g, c.b});
        const int lm = (2 * m * 3600 + 255) / 510;
        const RgbColor d = HlsToRgb(hls.H, lm * lm / 3600, hls.S);
        EXPECT_EQ(PixelAt(image, x, 0),
                  (RgbColor{(c.r + d.r) / 2, (c.g + d.g) / 2, (c.b + d.b) / 2}))
            << x;
    }
    EXPECT_EQ(PixelAt(image, 1, 0), (RgbColor{255, 255, 255}));
}

TEST(LutFilters, InvertTwiceGivesBackTheImage) {
    Bitmap image = NoiseImage(13, 7, 3);
    const Bitmap before = image;
    InvertBitmap(image);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x) {
            const RgbColor a = PixelAt(image, x, y), b = PixelAt(before, x, y);
            EXPECT_EQ(a, (RgbColor{255 - b.r, 255 - b.g, 255 - b.b})) << x << "," << y;
        }
    InvertBitmap(image);
    EXPECT_TRUE(image.SamePixels(before));
    EXPECT_EQ(0, std::memcmp(image.Bits(), before.Bits(), image.ImageSize()));
}

// Every pass leaves the padding at the end of each row alone.
TEST(LutFilters, RowPaddingIsNotTouched) {
    void (*const passes[])(Bitmap&) = {
        [](Bitmap& b) { ColorFilter(b, DistinctMaps()); },
        [](Bitmap& b) { NegColorFilter(b, DistinctMaps()); },
        [](Bitmap& b) { LuminanceFilter(b, DistinctMaps()); },
        [](Bitmap& b) { SaturationFilter(b, DistinctMaps()); },
        MultiplyRGB,
        MultiplyLuminance,
        UnWashMore,
        InvertBitmap,
    };
    for (auto pass : passes) {
        Bitmap image = NoiseImage(5, 3, 9); // 15 bytes of pixels, 1 of padding per row
        ASSERT_EQ(image.RowBytes(), 16);
        for (int y = 0; y < 3; ++y)
            image.ScanLine(y)[15] = 0xAB;
        pass(image);
        for (int y = 0; y < 3; ++y)
            EXPECT_EQ(image.ScanLine(y)[15], 0xAB);
    }
}

TEST(LutFilters, RefuseImagesThatAreNotTrueColour) {
    struct Case {
        const char* name;
        void (*pass)(Bitmap&);
    };
    const Case cases[] = {
        {"ColorFilter", [](Bitmap& b) { ColorFilter(b, ChannelMaps{}); }},
        {"ColorFilterBitmap", [](Bitmap& b) { ColorFilterBitmap(b, ChannelMaps{}); }},
        {"NegColorFilter", [](Bitmap& b) { NegColorFilter(b, ChannelMaps{}); }},
        {"LuminanceFilter", [](Bitmap& b) { LuminanceFilter(b, ChannelMaps{}); }},
        {"SaturationFilter", [](Bitmap& b) { SaturationFilter(b, ChannelMaps{}); }},
        {"MultiplyRGB", MultiplyRGB},
        {"MultiplyLuminance", MultiplyLuminance},
        {"UnWashMore", UnWashMore},
        {"InvertBitmap", InvertBitmap},
    };
    for (const Case& c : cases) {
        for (int depth : {1, 4, 8}) {
            Bitmap image(9, 3, depth);
            const Bitmap before = image;
            try {
                c.pass(image);
                ADD_FAILURE() << c.name << " accepted depth " << depth;
            } catch (const EInvalidGraphic& e) {
                EXPECT_EQ(e.Message(), std::string(c.name) + ": the image has " +
                                           std::to_string(depth) +
                                           " bits per pixel; this operation needs 24");
            }
            EXPECT_TRUE(image.SamePixels(before));
        }
        Bitmap empty;
        EXPECT_NO_THROW(c.pass(empty)) << c.name;
    }
}

} // namespace
} // namespace lumara
