#include "ImgTestSupport.h"

namespace lumara::test {
namespace {

using ImgDraw = ImgTest;

// An 8-bit palette whose entries 0 and 5 are the same red: a copy of indices
// keeps 5, a match by colour would give 0.
Palette twinPalette() {
    Palette p(256, 0);
    for (int i = 0; i < 256; ++i)
        p[size_t(i)] = MakeColor(i, 255 - i, (i * 31) & 255);
    p[0] = p[5] = 0xFF0000;
    return p;
}

TEST_F(ImgDraw, SameDepthAndPaletteCopiesIndices) {
    Bitmap src = MakeBitmap(
        4, 3, 8, [](int x, int y) { return uint32_t(x == 1 && y == 1 ? 5 : x + 10 * y + 20); });
    src.palette = twinPalette();
    const HIMG h = ImgFromBitmap(src);
    Bitmap dest(4, 3, 8);
    dest.palette = twinPalette();
    ASSERT_TRUE(ImgDrawImage(h, dest, {0, 0, 3, 2}, nullptr)) << ImgGetStatus();
    EXPECT_TRUE(dest.SamePixels(src));
    EXPECT_EQ(dest.PixelIndex(1, 1), 5);
}

TEST_F(ImgDraw, DifferentPaletteMapsColours) {
    Bitmap src = MakeBitmap(2, 1, 8, [](int x, int) { return uint32_t(x == 0 ? 5 : 255); });
    src.palette = twinPalette();
    const HIMG h = ImgFromBitmap(src);
    Bitmap dest(2, 1, 4); // default 16 colours
    ASSERT_TRUE(ImgDrawImage(h, dest, {0, 0, 1, 0}, nullptr));
    const auto& vga = DefaultPalette16();
    EXPECT_EQ(dest.PixelIndex(0, 0), NearestPaletteIndex(vga.data(), 16, 0xFF0000));
    EXPECT_EQ(dest.PixelIndex(1, 0), NearestPaletteIndex(vga.data(), 16, src.palette[255]));
}

TEST_F(ImgDraw, PaletteImageInto24Bits) {
    Bitmap src = MakeBitmap(5, 4, 4, [](int x, int y) { return uint32_t((x + y) & 15); });
    const HIMG h = ImgFromBitmap(src);
    Bitmap dest(5, 4, 24);
    ASSERT_TRUE(ImgDrawImage(h, dest, {0, 0, 4, 3}, nullptr));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(dest.PixelColor(x, y), src.PixelColor(x, y));
}

TEST_F(ImgDraw, TrueColourIntoPaletteTakesNearestEntry) {
    // Noise plus every grey and the corners of the colour cube, against the
    // default palettes, a palette with repeated entries (the first one wins)
    // and a short one.
    const Bitmap src = MakeBitmap(128, 72, 24, [](int x, int y) {
        if (y == 0) return MakeColor(x * 2, x * 2, x * 2);
        if (y == 1) return MakeColor((x & 1) * 255, (x & 2) * 255 / 2, (x & 4) * 255 / 4);
        return NoiseColor(x, y);
    });
    const HIMG h = ImgFromBitmap(src);
    Palette repeated(256);
    for (int i = 0; i < 256; ++i)
        repeated[size_t(i)] = NoiseColor(i % 50, 7) & 0xF0F0F0;
    struct Target {
        int depth;
        Palette palette;
    };
    const Target targets[] = {
        {1, {}}, {4, {}}, {8, {}}, {8, repeated}, {8, {0x102030, 0xFFEEDD, 0x7F7F7F}}};
    for (const Target& t : targets) {
        Bitmap dest(128, 72, t.depth);
        if (!t.palette.empty()) dest.palette = t.palette;
        ASSERT_TRUE(ImgDrawImage(h, dest, {0, 0, 127, 71}, nullptr));
        for (int y = 0; y < 72; ++y)
            for (int x = 0; x < 128; ++x)
                ASSERT_EQ(dest.PixelIndex(x, y),
                          NearestPaletteIndex(dest.palette.data(), int(dest.palette.size()),
                                              src.PixelColor(x, y)))
                    << t.depth << " at " << x << "," << y;
    }
}

TEST_F(ImgDraw, BilevelIntoInvertedBilevel) {
    const Bitmap src = MakeBitmap(11, 2, 1, [](int x, int y) { return uint32_t((x + y) & 1); });
    const HIMG h = ImgFromBitmap(src);
    Bitmap dest(11, 2, 1);
    dest.palette = {0xFFFFFF, 0x000000};
    ASSERT_TRUE(ImgDrawImage(h, dest, {0, 0, 10, 1}, nullptr));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 11; ++x)
            EXPECT_EQ(dest.PixelColor(x, y), src.PixelColor(x, y));
}

TEST_F(ImgDraw, RectangleRightAndBottomAreInclusive) {
    const Bitmap src = MakeBitmap(4, 4, 24, [](int x, int y) { return NoiseColor(x, y); });
    const HIMG h = ImgFromBitmap(src);
    Bitmap dest(10, 10, 24);
    dest.Fill(0x123456);
    ASSERT_TRUE(ImgDrawImage(h, dest, {2, 3, 5, 6}, nullptr));
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 2 && x <= 5 && y >= 3 && y <= 6;
            EXPECT_EQ(dest.PixelColor(x, y), inside ? src.PixelColor(x - 2, y - 3) : 0x123456u)
                << x << "," << y;
        }
    }
}

TEST_F(ImgDraw, StretchReplicatesAndSourceRectangleSelects) {
    const Bitmap src = MakeBitmap(6, 5, 8, [](int x, int y) { return uint32_t(x + 6 * y); });
    const HIMG h = ImgFromBitmap(src);
    Bitmap dest(6, 4, 8);
    const TRect part{2, 1, 5, 3}; // 3 by 2, right and bottom exclusive
    ASSERT_TRUE(ImgDrawImage(h, dest, {0, 0, 5, 3}, &part));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(dest.PixelIndex(x, y), src.PixelIndex(2 + x / 2, 1 + y / 2));
}

TEST_F(ImgDraw, ShrinkSamplesPixelCentres) {
    const Bitmap src = MakeBitmap(9, 1, 8, [](int x, int) { return uint32_t(x); });
    const HIMG h = ImgFromBitmap(src);
    Bitmap dest(3, 1, 8);
    ASSERT_TRUE(ImgDrawImage(h, dest, {0, 0, 2, 0}, nullptr));
    EXPECT_EQ(dest.PixelIndex(0, 0), 1);
    EXPECT_EQ(dest.PixelIndex(1, 0), 4);
    EXPECT_EQ(dest.PixelIndex(2, 0), 7);
}

TEST_F(ImgDraw, ClippedToTheBitmap) {
    const Bitmap src = MakeBitmap(4, 4, 24, [](int x, int y) { return NoiseColor(x, y); });
    const HIMG h = ImgFromBitmap(src);
    Bitmap dest(3, 3, 24);
    ASSERT_TRUE(ImgDrawImage(h, dest, {-2, -1, 1, 2}, nullptr));
    EXPECT_EQ(dest.PixelColor(0, 0), src.PixelColor(2, 1));
    EXPECT_EQ(dest.PixelColor(1, 2), src.PixelColor(3, 3));
    EXPECT_EQ(dest.PixelColor(2, 0), 0u);
    // Wholly outside: nothing drawn, not a failure.
    EXPECT_TRUE(ImgDrawImage(h, dest, {100, 100, 200, 200}, nullptr));
    // A huge rectangle is fine too: only the visible part is computed.
    EXPECT_TRUE(ImgDrawImage(h, dest, {-2000000000, -2000000000, 2000000000, 2000000000}, nullptr));
    EXPECT_EQ(dest.PixelColor(1, 1), src.PixelColor(2, 2));
}

TEST_F(ImgDraw, NeighbouringSubBytePixelsKept) {
    const Bitmap src = MakeBitmap(2, 1, 1, [](int, int) { return 1u; });
    const HIMG h = ImgFromBitmap(src);
    Bitmap dest(10, 1, 1);
    ASSERT_TRUE(ImgDrawImage(h, dest, {3, 0, 4, 0}, nullptr));
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(dest.PixelIndex(x, 0), x == 3 || x == 4 ? 1 : 0) << x;
    Bitmap dest4(5, 1, 4);
    const Bitmap src4 = MakeBitmap(1, 1, 4, [](int, int) { return 9u; });
    ASSERT_TRUE(ImgDrawImage(ImgFromBitmap(src4), dest4, {1, 0, 1, 0}, nullptr));
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(dest4.PixelIndex(x, 0), x == 1 ? 9 : 0) << x;
}

TEST_F(ImgDraw, Failures) {
    const HIMG h =
        ImgFromBitmap(MakeBitmap(4, 4, 24, [](int x, int y) { return NoiseColor(x, y); }));
    Bitmap dest(4, 4, 24);
    EXPECT_FALSE(ImgDrawImage(h, dest, {3, 0, 2, 3}, nullptr));
    EXPECT_EQ(ImgGetStatus(), "Invalid rectangle");
    const TRect outside{4, 4, 8, 8};
    EXPECT_FALSE(ImgDrawImage(h, dest, {0, 0, 3, 3}, &outside));
    EXPECT_EQ(ImgGetStatus(), "Invalid rectangle");
    Bitmap empty;
    EXPECT_FALSE(ImgDrawImage(h, empty, {0, 0, 3, 3}, nullptr));
    EXPECT_EQ(ImgGetStatus(), "Invalid bitmap");
}

TEST_F(ImgDraw, ThreadedEqualsSingleThreaded) {
    const HIMG h =
        ImgFromBitmap(MakeBitmap(120, 90, 24, [](int x, int y) { return NoiseColor(x, y); }));
    for (int depth : {24, 8, 4, 1}) {
        Bitmap one(173, 131, depth), many(173, 131, depth);
        ImgSetThreadCount(1);
        ASSERT_TRUE(ImgDrawImage(h, one, {-5, 3, 180, 140}, nullptr));
        ImgSetThreadCount(4);
        ASSERT_TRUE(ImgDrawImage(h, many, {-5, 3, 180, 140}, nullptr));
        EXPECT_TRUE(one.SamePixels(many)) << depth;
    }
}

} // namespace
} // namespace lumara::test
