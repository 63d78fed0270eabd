#include "OpenTestSupport.h"

#include <cmath>
#include <set>

namespace lumara::test {
namespace {

class ReduceColorsTest : public OpenTest {};

Bitmap gradient(int w, int h) {
    Bitmap b(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = b.ScanLine(y) + size_t(x) * 3;
            p[2] = uint8_t(x * 255 / (w - 1));
            p[1] = uint8_t(y * 255 / (h - 1));
            p[0] = uint8_t(((x + y) * 255) / (w + h - 2));
        }
    return b;
}

std::set<uint32_t> colorsOf(const Bitmap& b) {
    std::set<uint32_t> s;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            s.insert(b.PixelColor(x, y));
    return s;
}

// Mean absolute difference per channel, over 4x4 blocks (dithering spreads
// the error, the average colour of a small area must stay).
double blockError(const Bitmap& a, const Bitmap& b) {
    double total = 0;
    int blocks = 0;
    for (int by = 0; by + 4 <= a.Height(); by += 4)
        for (int bx = 0; bx + 4 <= a.Width(); bx += 4) {
            int sa[3] = {0, 0, 0}, sb[3] = {0, 0, 0};
            for (int y = by; y < by + 4; ++y)
                for (int x = bx; x < bx + 4; ++x) {
                    const uint32_t ca = a.PixelColor(x, y), cb = b.PixelColor(x, y);
                    sa[0] += RedOf(ca), sa[1] += GreenOf(ca), sa[2] += BlueOf(ca);
                    sb[0] += RedOf(cb), sb[1] += GreenOf(cb), sb[2] += BlueOf(cb);
                }
            for (int k = 0; k < 3; ++k)
                total += std::abs(sa[k] - sb[k]) / 16.0;
            blocks += 3;
        }
    return total / blocks;
}

double pixelError(const Bitmap& a, const Bitmap& b) {
    double total = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            const uint32_t ca = a.PixelColor(x, y), cb = b.PixelColor(x, y);
            total += std::abs(RedOf(ca) - RedOf(cb)) + std::abs(GreenOf(ca) - GreenOf(cb)) +
                     std::abs(BlueOf(ca) - BlueOf(cb));
        }
    return total / (3.0 * a.Width() * a.Height());
}

TEST_F(ReduceColorsTest, GradientTo236ColoursKeepsItsLook) {
    const Bitmap src = gradient(256, 128);
    const HIMG image = ImgFromBitmap(src);
    ASSERT_NE(image, 0u);
    struct Case {
        int flags;
        double maxBlock;
        double maxPixel;
    };
    for (const Case& c : {Case{0, 1.5, 6.0}, Case{68, 1.5, 6.0}, Case{kReduceNoDither, 5.0, 5.0},
                          Case{kReduceFixedPalette, 2.5, 20.0}}) {
        SCOPED_TRACE(c.flags);
        const HIMG reduced = ImgReduceColors(image, 236, c.flags);
        ASSERT_NE(reduced, 0u) << ImgGetStatus();
        const Bitmap* out = ImgPixels(reduced);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(out->Depth(), 8);
        EXPECT_LE(out->palette.size(), 236u);
        EXPECT_LE(colorsOf(*out).size(), 236u);
        EXPECT_LT(blockError(src, *out), c.maxBlock);
        EXPECT_LT(pixelError(src, *out), c.maxPixel);
        ImgClose(reduced);
    }
    ImgClose(image);
}

TEST_F(ReduceColorsTest, DepthFollowsTheColourCount) {
    const HIMG image = ImgFromBitmap(gradient(64, 32));
    ASSERT_NE(image, 0u);
    for (auto [colors, depth] :
         {std::pair{2, 1}, std::pair{16, 4}, std::pair{236, 8}, std::pair{256, 8}}) {
        SCOPED_TRACE(colors);
        const HIMG reduced = ImgReduceColors(image, colors, 0);
        ASSERT_NE(reduced, 0u) << ImgGetStatus();
        const Bitmap* out = ImgPixels(reduced);
        EXPECT_EQ(out->Depth(), depth);
        EXPECT_LE(colorsOf(*out).size(), size_t(colors));
        // Dithered with a palette for the image: the average colour stays.
        // Two colours span only a line through the colour cube; the
        // average of a block cannot follow a colour gradient closely.
        EXPECT_LT(blockError(*ImgPixels(image), *out), colors == 2    ? 50.0
                                                       : colors == 16 ? 7.0
                                                                      : 1.5);
        ImgClose(reduced);
    }
    ImgClose(image);
}

TEST_F(ReduceColorsTest, FewColoursAreKeptExactly) {
    Bitmap src(40, 10, 24);
    const uint32_t colors[] = {0x123456, 0xFEDCBA, 0x00FF00, 0x808080, 0x000001};
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 40; ++x) {
            const uint32_t c = colors[(x / 3 + y) % 5];
            uint8_t* p = src.ScanLine(y) + size_t(x) * 3;
            p[0] = uint8_t(BlueOf(c)), p[1] = uint8_t(GreenOf(c)), p[2] = uint8_t(RedOf(c));
        }
    const HIMG image = ImgFromBitmap(src);
    for (int n : {16, 236}) {
        const HIMG reduced = ImgReduceColors(image, n, 0);
        ASSERT_NE(reduced, 0u);
        ExpectPage(reduced, 40, 10, n == 16 ? 4 : 8,
                   [&](int x, int y) { return src.PixelColor(x, y); });
        EXPECT_EQ(ImgPixels(reduced)->palette.size(), 5u);
        ImgClose(reduced);
    }
    ImgClose(image);
}

TEST_F(ReduceColorsTest, SameInputSameOutput) {
    Bitmap src(97, 31, 24);
    for (int y = 0; y < 31; ++y)
        for (int x = 0; x < 97; ++x) {
            const uint32_t c = Noise(x, y);
            uint8_t* p = src.ScanLine(y) + size_t(x) * 3;
            p[0] = uint8_t(BlueOf(c)), p[1] = uint8_t(GreenOf(c)), p[2] = uint8_t(RedOf(c));
        }
    const HIMG image = ImgFromBitmap(src);
    const HIMG a = ImgReduceColors(image, 236, 0);
    const HIMG b = ImgReduceColors(image, 236, 0);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_TRUE(ImgPixels(a)->SamePixels(*ImgPixels(b)));
    EXPECT_EQ(ImgPixels(a)->palette, ImgPixels(b)->palette);
    EXPECT_LE(colorsOf(*ImgPixels(a)).size(), 236u);
}

TEST_F(ReduceColorsTest, BadArgumentsFail) {
    const HIMG image = ImgFromBitmap(gradient(8, 8));
    for (int n : {0, 1, 257, -5}) {
        EXPECT_EQ(ImgReduceColors(image, n, 0), 0u);
        EXPECT_EQ(ImgGetStatus(), "Invalid number of colors");
    }
    EXPECT_EQ(ImgReduceColors(0, 236, 0), 0u);
    EXPECT_EQ(ImgGetStatus(), "Invalid image handle");
}

} // namespace
} // namespace lumara::test
