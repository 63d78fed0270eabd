#include "ImgTestSupport.h"

#include <algorithm>
#include <cstdlib>

namespace lumara::test {
namespace {

using ImgCopyT = ImgTest;

constexpr int kAllModes[] = {kCopyPlainEnlarge, kCopyKeepBlack, kCopyKeepWhite, kCopyNormal,
                             kCopyPreview};

Bitmap noiseAt(int depth, int width, int height) {
    return MakeBitmap(width, height, depth, [&](int x, int y) {
        const uint32_t n = NoiseColor(x, y);
        return depth == 24 ? n : n % (1u << depth);
    });
}

const Bitmap& pixelsOf(HIMG h) {
    const Bitmap* b = ImgPixels(h);
    EXPECT_NE(b, nullptr);
    static const Bitmap none;
    return b ? *b : none;
}

TEST_F(ImgCopyT, SameSizeCopyEqualsTheSource) {
    for (int depth : {1, 4, 8, 24}) {
        const Bitmap src = noiseAt(depth, 37, 23);
        const HIMG h = ImgFromBitmap(src);
        for (int mode : kAllModes) {
            const HIMG c = ImgCopy(h, 37, 23, nullptr, mode);
            ASSERT_NE(c, 0u) << ImgGetStatus();
            EXPECT_TRUE(pixelsOf(c).SamePixels(src)) << "depth " << depth << " mode " << mode;
        }
    }
}

TEST_F(ImgCopyT, SameSizeCopyOfARectangleIsTheCrop) {
    const Bitmap src = noiseAt(4, 20, 10);
    const HIMG h = ImgFromBitmap(src);
    const TRect r{3, 2, 16, 9};
    const HIMG c = ImgCopy(h, 13, 7, &r, kCopyNormal);
    ASSERT_NE(c, 0u);
    const Bitmap& b = pixelsOf(c);
    ASSERT_EQ(b.Depth(), 4);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x)
            ASSERT_EQ(b.PixelIndex(x, y), src.PixelIndex(x + 3, y + 2));
}

TEST_F(ImgCopyT, PlainEnlargementReplicatesExactly) {
    for (int depth : {1, 4, 8, 24}) {
        const Bitmap src = noiseAt(depth, 7, 5);
        const HIMG h = ImgFromBitmap(src);
        const HIMG c = ImgCopy(h, 21, 15, nullptr, kCopyPlainEnlarge);
        ASSERT_NE(c, 0u);
        const Bitmap& b = pixelsOf(c);
        ASSERT_EQ(b.Depth(), depth);
        EXPECT_EQ(b.palette, src.palette);
        for (int y = 0; y < 15; ++y)
            for (int x = 0; x < 21; ++x)
                ASSERT_EQ(b.PixelColor(x, y), src.PixelColor(x / 3, y / 3))
                    << depth << " " << x << "," << y;
    }
}

struct SizeCase {
    int w, h;
};
constexpr SizeCase kSizes[] = {{60, 40}, {17, 11}, {30, 20}, {7, 3}, {1, 1}, {90, 13}, {5, 77}};

TEST_F(ImgCopyT, FlatImageStaysFlatInEveryMode) {
    for (int depth : {1, 8, 24}) {
        Bitmap src =
            MakeBitmap(30, 20, depth, [&](int, int) { return depth == 24 ? 0x5A81C3u : 1u; });
        if (depth == 8) src.palette[1] = 0x5A81C3;
        if (depth == 1) src.palette = {0x000000, 0x5A81C3};
        const HIMG h = ImgFromBitmap(src);
        for (int mode : kAllModes) {
            for (const SizeCase s : kSizes) {
                const HIMG c = ImgCopy(h, s.w, s.h, nullptr, mode);
                ASSERT_NE(c, 0u);
                const Bitmap& b = pixelsOf(c);
                for (int y = 0; y < s.h; ++y)
                    for (int x = 0; x < s.w; ++x)
                        ASSERT_EQ(b.PixelColor(x, y), 0x5A81C3u)
                            << "depth " << depth << " mode " << mode << " " << s.w << "x" << s.h;
                ImgClose(c);
            }
        }
    }
}

TEST_F(ImgCopyT, HalvingACheckerAverages) {
    const Bitmap two =
        MakeBitmap(2, 2, 24, [](int x, int y) { return (x + y) & 1 ? 0xFFFFFFu : 0u; });
    const Bitmap eight =
        MakeBitmap(8, 6, 24, [](int x, int y) { return (x + y) & 1 ? 0xC8C8C8u : 0x323232u; });
    for (int mode : {kCopyNormal, kCopyPreview}) {
        const HIMG a = ImgCopy(ImgFromBitmap(two), 1, 1, nullptr, mode);
        EXPECT_EQ(pixelsOf(a).PixelColor(0, 0), 0x808080u) << mode; // 127.5 rounds up
        const HIMG b = ImgCopy(ImgFromBitmap(eight), 4, 3, nullptr, mode);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(pixelsOf(b).PixelColor(x, y), 0x7D7D7Du) << mode;
    }
}

TEST_F(ImgCopyT, ReductionAveragesCoveredArea) {
    // 3 to 2: the middle pixel is shared half and half.
    const Bitmap src = MakeBitmap(3, 1, 24, [](int x, int) {
        return uint32_t(x == 0 ? 0 : x == 1 ? 90 : 180);
    });
    const HIMG c = ImgCopy(ImgFromBitmap(src), 2, 1, nullptr, kCopyNormal);
    EXPECT_EQ(BlueOf(pixelsOf(c).PixelColor(0, 0)), 30);  // (2*0 + 90) / 3
    EXPECT_EQ(BlueOf(pixelsOf(c).PixelColor(1, 0)), 150); // (90 + 2*180) / 3
}

TEST_F(ImgCopyT, EnlargingARampStaysLinear) {
    // Across and down, with the other axis growing, kept or shrinking, so
    // both orders of the two passes are used.
    struct Case {
        bool vertical;
        int otherFrom, otherTo;
    };
    const Case cases[] = {{false, 3, 6}, {false, 6, 3}, {false, 4, 4}, {true, 3, 6}, {true, 6, 3}};
    for (const Case& c : cases) {
        const int sw = c.vertical ? c.otherFrom : 26, sh = c.vertical ? 26 : c.otherFrom;
        const Bitmap src = MakeBitmap(sw, sh, 24, [&](int x, int y) {
            const int v = (c.vertical ? y : x) * 10;
            return MakeColor(v, v, v);
        });
        const int w = c.vertical ? c.otherTo : 52, h = c.vertical ? 52 : c.otherTo;
        for (int mode : {kCopyNormal, kCopyPreview}) {
            const HIMG copy = ImgCopy(ImgFromBitmap(src), w, h, nullptr, mode);
            const Bitmap& b = pixelsOf(copy);
            // Away from the edges both filters reproduce a straight line:
            // target pixel i sits at source position (i + 0.5) / 2 - 0.5.
            for (int i = 4; i < 48; ++i) {
                const double want = ((i + 0.5) / 2 - 0.5) * 10;
                const uint32_t got = c.vertical ? b.PixelColor(1, i) : b.PixelColor(i, 1);
                EXPECT_LE(std::abs(RedOf(got) - want), 0.51)
                    << mode << (c.vertical ? " down " : " across ") << c.otherTo << " at " << i;
            }
        }
    }
}

TEST_F(ImgCopyT, LargeReductionAveragesEverything) {
    const Bitmap src = noiseAt(24, 997, 3);
    int64_t sum = 0;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 997; ++x)
            sum += GreenOf(src.PixelColor(x, y));
    const HIMG c = ImgCopy(ImgFromBitmap(src), 1, 1, nullptr, kCopyNormal);
    EXPECT_NEAR(GreenOf(pixelsOf(c).PixelColor(0, 0)), double(sum) / (997 * 3), 1.0);
}

// Values along row 0 of a copy of a step edge.
std::vector<int> edgeRow(int lo, int hi, int srcWidth, int width, int mode) {
    const Bitmap src = MakeBitmap(srcWidth, 2, 24, [&](int x, int) {
        const int v = x < srcWidth / 2 ? lo : hi;
        return MakeColor(v, v, v);
    });
    const HIMG c = ImgCopy(ImgFromBitmap(src), width, 2, nullptr, mode);
    std::vector<int> row;
    for (int x = 0; x < width; ++x)
        row.push_back(GreenOf(pixelsOf(c).PixelColor(x, 0)));
    return row;
}

TEST_F(ImgCopyT, NoRingingBeyondClamping) {
    for (int mode : {kCopyNormal, kCopyPreview}) {
        for (int width : {7, 13, 30, 47, 100}) {
            // A full-range step: any overshoot is clamped away, so the edge
            // rises monotonically.
            const std::vector<int> full = edgeRow(0, 255, 20, width, mode);
            EXPECT_TRUE(std::is_sorted(full.begin(), full.end())) << mode << " " << width;
            EXPECT_EQ(full.front(), 0);
            EXPECT_EQ(full.back(), 255);
        }
        for (int width : {3, 7, 13}) {
            // Reducing averages areas: no value outside the source range.
            const std::vector<int> mid = edgeRow(50, 200, 20, width, mode);
            EXPECT_TRUE(std::is_sorted(mid.begin(), mid.end()));
            EXPECT_GE(*std::min_element(mid.begin(), mid.end()), 50);
            EXPECT_LE(*std::max_element(mid.begin(), mid.end()), 200);
        }
    }
}

TEST_F(ImgCopyT, PaletteImagesResampleTo24Bits) {
    for (int depth : {1, 4, 8}) {
        const Bitmap src = noiseAt(depth, 20, 20);
        const HIMG h = ImgFromBitmap(src);
        for (int mode : {kCopyNormal, kCopyPreview}) {
            const HIMG c = ImgCopy(h, 9, 31, nullptr, mode);
            ASSERT_NE(c, 0u);
            EXPECT_EQ(pixelsOf(c).Depth(), 24);
            Palette p;
            EXPECT_FALSE(ImgGetPalette(c, &p));
        }
    }
    // Keep black / keep white only mean something for bilevel images.
    const HIMG h8 = ImgFromBitmap(noiseAt(8, 20, 20));
    EXPECT_EQ(pixelsOf(ImgCopy(h8, 10, 10, nullptr, kCopyKeepBlack)).Depth(), 24);
}

TEST_F(ImgCopyT, BilevelReductionKeepsThinLines) {
    // White page with a one-pixel black line at column 5 and row 2.
    Bitmap page = MakeBitmap(16, 8, 1, [](int x, int y) { return x == 5 || y == 2 ? 0u : 1u; });
    const HIMG h = ImgFromBitmap(page);
    const HIMG black = ImgCopy(h, 4, 2, nullptr, kCopyKeepBlack);
    const HIMG white = ImgCopy(h, 4, 2, nullptr, kCopyKeepWhite);
    const Bitmap& b = pixelsOf(black);
    const Bitmap& w = pixelsOf(white);
    ASSERT_EQ(b.Depth(), 1);
    ASSERT_EQ(w.Depth(), 1);
    EXPECT_EQ(b.palette, page.palette);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(b.PixelIndex(x, y), x == 1 || y == 0 ? 0 : 1) << x << "," << y;
            EXPECT_EQ(w.PixelIndex(x, y), 1) << x << "," << y;
        }
    }
    // The same with the palette the other way round: "black" is the darker entry.
    page.palette = {0xFFFFFF, 0x000000};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            page.SetPixelIndex(x, y, 1 - page.PixelIndex(x, y));
    const Bitmap& b2 = pixelsOf(ImgCopy(ImgFromBitmap(page), 4, 2, nullptr, kCopyKeepBlack));
    EXPECT_EQ(b2.PixelColor(1, 1), 0u);
    EXPECT_EQ(b2.PixelColor(2, 1), 0xFFFFFFu);
}

TEST_F(ImgCopyT, BilevelEnlargementReplicates) {
    const Bitmap src = noiseAt(1, 9, 4);
    const HIMG c = ImgCopy(ImgFromBitmap(src), 18, 12, nullptr, kCopyKeepWhite);
    const Bitmap& b = pixelsOf(c);
    ASSERT_EQ(b.Depth(), 1);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 18; ++x)
            ASSERT_EQ(b.PixelIndex(x, y), src.PixelIndex(x / 2, y / 3));
}

TEST_F(ImgCopyT, PreviewOfBilevelGivesGreys) {
    const Bitmap src = MakeBitmap(8, 8, 1, [](int x, int) { return uint32_t(x % 4 == 0 ? 0 : 1); });
    const HIMG c = ImgCopy(ImgFromBitmap(src), 2, 2, nullptr, kCopyPreview);
    EXPECT_EQ(pixelsOf(c).Depth(), 24);
    EXPECT_EQ(pixelsOf(c).PixelColor(0, 0), MakeColor(191, 191, 191)); // 3 of 4 white
}

TEST_F(ImgCopyT, ThreadedEqualsSingleThreaded) {
    for (int depth : {24, 8, 1}) {
        const HIMG h = ImgFromBitmap(noiseAt(depth, 300, 200));
        for (int mode : kAllModes) {
            for (const SizeCase s : {SizeCase{517, 389}, SizeCase{97, 61}, SizeCase{400, 50}}) {
                ImgSetThreadCount(1);
                const HIMG one = ImgCopy(h, s.w, s.h, nullptr, mode);
                ImgSetThreadCount(4);
                const HIMG many = ImgCopy(h, s.w, s.h, nullptr, mode);
                ASSERT_NE(one, 0u);
                ASSERT_NE(many, 0u);
                EXPECT_TRUE(pixelsOf(one).SamePixels(pixelsOf(many)))
                    << "depth " << depth << " mode " << mode << " " << s.w << "x" << s.h;
                ImgClose(one);
                ImgClose(many);
            }
        }
    }
}

TEST_F(ImgCopyT, SourceRectangleIsClipped) {
    const Bitmap src = noiseAt(24, 10, 10);
    const HIMG h = ImgFromBitmap(src);
    const TRect r{-5, 6, 3, 50}; // clipped to (0, 6)-(3, 10)
    const HIMG c = ImgCopy(h, 3, 4, &r, kCopyNormal);
    ASSERT_NE(c, 0u);
    EXPECT_EQ(pixelsOf(c).PixelColor(2, 3), src.PixelColor(2, 9));
}

TEST_F(ImgCopyT, Failures) {
    const HIMG h = ImgFromBitmap(noiseAt(24, 10, 10));
    struct Case {
        int w, h;
        TRect rect;
        bool useRect;
        const char* status;
    };
    const Case cases[] = {
        {0, 5, {}, false, "Invalid image size"},
        {5, -1, {}, false, "Invalid image size"},
        {100000, 100000, {}, false, "Image too large"},
        {0x7FFFFFFF, 1, {}, false, "Image too large"},
        {5, 5, {10, 0, 20, 5}, true, "Invalid rectangle"},
        {5, 5, {4, 4, 4, 8}, true, "Invalid rectangle"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ImgCopy(h, c.w, c.h, c.useRect ? &c.rect : nullptr, kCopyNormal), 0u);
        EXPECT_EQ(ImgGetStatus(), c.status) << c.w << "x" << c.h;
    }
    Bitmap::SetAllocationLimitForTesting(4096);
    EXPECT_EQ(ImgCopy(h, 200, 200, nullptr, kCopyNormal), 0u);
    EXPECT_EQ(ImgGetStatus(), "Out of memory");
}

} // namespace
} // namespace lumara::test

namespace lumara::test {
namespace {

TEST_F(ImgCopyT, CopyDescribesItselfAndKeepsTheSourceOpen) {
    Bitmap src = noiseAt(8, 40, 30);
    src.xPelsPerMeter = 3780;
    src.yPelsPerMeter = 2835;
    const HIMG h = ImgFromBitmap(src);
    const HIMG c = ImgCopy(h, 17, 64, nullptr, kCopyNormal);
    ASSERT_NE(c, 0u);
    BitmapInfoHeader info;
    ASSERT_TRUE(ImgGetInfoStruct(c, &info));
    EXPECT_EQ(info.biWidth, 17);
    EXPECT_EQ(info.biHeight, 64);
    EXPECT_EQ(info.biBitCount, 24);
    EXPECT_EQ(info.biClrUsed, 0u);
    EXPECT_EQ(info.biXPelsPerMeter, 3780);
    EXPECT_EQ(info.biYPelsPerMeter, 2835);
    // The caller closes the old image; until then it is untouched.
    ASSERT_NE(ImgPixels(h), nullptr);
    EXPECT_TRUE(ImgPixels(h)->SamePixels(src));
}

} // namespace
} // namespace lumara::test
