#include "ImgTestSupport.h"

#include <climits>

namespace lumara::test {
namespace {

struct DibCase {
    int bits;
    int height; // negative: rows stored top-down
};

class ImgDibParse : public ImgTest, public ::testing::WithParamInterface<DibCase> {};

Palette testPalette(int bits) {
    Palette p;
    for (int i = 0; i < (1 << bits); ++i)
        p.push_back(MakeColor(i * 7 % 256, 255 - i, i * 13 % 256));
    return p;
}

// Index of pixel (x, y) for palette depths: every index appears.
uint32_t indexOf(int bits, int x, int y) {
    return uint32_t((x * 5 + y * 3) % (1 << bits));
}

TEST_P(ImgDibParse, PixelsPaletteAndInfo) {
    const DibCase c = GetParam();
    const int width = 13, rows = c.height < 0 ? -c.height : c.height;
    const bool paletted = c.bits <= 8;
    const Palette pal = paletted ? testPalette(c.bits) : Palette{};
    auto value = [&](int x, int y) { return paletted ? indexOf(c.bits, x, y) : NoiseColor(x, y); };
    const PackedDib dib = MakePackedDib(width, c.height, c.bits, pal, value);

    const HIMG h = ImgFromDIB(dib);
    ASSERT_NE(h, 0u) << ImgGetStatus();
    const Bitmap* b = ImgPixels(h);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->Width(), width);
    ASSERT_EQ(b->Height(), rows);
    EXPECT_EQ(b->Depth(), paletted ? c.bits : 24);
    EXPECT_EQ(b->xPelsPerMeter, 3780);
    EXPECT_EQ(b->yPelsPerMeter, 2835);
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < width; ++x) {
            if (paletted) {
                ASSERT_EQ(b->PixelIndex(x, y), int(value(x, y))) << x << "," << y;
            } else {
                uint32_t want = value(x, y);
                if (c.bits == 16) {
                    auto five = [](int v) { return (v >> 3 << 3) | (v >> 5); };
                    want = MakeColor(five(RedOf(want)), five(GreenOf(want)), five(BlueOf(want)));
                }
                ASSERT_EQ(b->PixelColor(x, y), want) << x << "," << y;
            }
        }
    }

    BitmapInfoHeader info;
    ASSERT_TRUE(ImgGetInfoStruct(h, &info));
    EXPECT_EQ(info.biWidth, width);
    EXPECT_EQ(info.biHeight, rows);
    EXPECT_EQ(info.biPlanes, 1);
    EXPECT_EQ(info.biBitCount, paletted ? c.bits : 24);

    Palette got{0x123456};
    EXPECT_EQ(ImgGetPalette(h, &got), paletted);
    if (paletted) {
        EXPECT_EQ(got, pal);
    } else {
        EXPECT_EQ(got, Palette{0x123456}); // untouched
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, ImgDibParse,
                         ::testing::Values(DibCase{1, 5}, DibCase{1, -5}, DibCase{4, 5},
                                           DibCase{4, -5}, DibCase{8, 5}, DibCase{8, -5},
                                           DibCase{24, 5}, DibCase{24, -5}, DibCase{16, 4},
                                           DibCase{32, -4}),
                         [](const auto& info) {
                             return std::to_string(info.param.bits) +
                                    (info.param.height > 0 ? "BottomUp" : "TopDown");
                         });

using ImgDib = ImgTest;

TEST_F(ImgDib, ShortColourTableOfClrUsed) {
    const Palette pal{0xFF0000, 0x00FF00, 0x0000FF};
    const PackedDib dib = MakePackedDib(
        4, 2, 8, pal, [](int x, int) { return uint32_t(x % 3); }, 3);
    ASSERT_EQ(dib.size(), 40u + 12u + 8u);
    const HIMG h = ImgFromDIB(dib);
    ASSERT_NE(h, 0u) << ImgGetStatus();
    Palette got;
    ASSERT_TRUE(ImgGetPalette(h, &got));
    EXPECT_EQ(got, pal);
    EXPECT_EQ(ImgPixels(h)->PixelColor(1, 0), 0x00FF00u);
    EXPECT_EQ(ImgPixels(h)->PixelColor(3, 1), 0xFF0000u);
}

TEST_F(ImgDib, TrueColourWithColourTableSkipsIt) {
    const PackedDib dib = MakePackedDib(
        3, 2, 24, {0x111111, 0x222222}, [](int x, int y) { return NoiseColor(x, y); }, 2);
    const HIMG h = ImgFromDIB(dib);
    ASSERT_NE(h, 0u) << ImgGetStatus();
    EXPECT_EQ(ImgPixels(h)->PixelColor(2, 1), NoiseColor(2, 1));
}

TEST_F(ImgDib, IndicesPastTheTableReadBlack) {
    const PackedDib dib = MakePackedDib(
        2, 1, 8, {0xFFFFFF}, [](int x, int) { return uint32_t(x * 9); }, 1);
    const HIMG h = ImgFromDIB(dib);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(ImgPixels(h)->PixelColor(0, 0), 0xFFFFFFu);
    EXPECT_EQ(ImgPixels(h)->PixelColor(1, 0), 0u);
}

TEST_F(ImgDib, PaddingBitsAreCleared) {
    PackedDib dib = MakePackedDib(3, 1, 1, {0, 0xFFFFFF}, [](int, int) { return 1u; });
    dib.back() = 0xFF;          // garbage in the padding
    dib[dib.size() - 4] = 0xFF; // and in the unused bits of the pixel byte
    const HIMG h = ImgFromDIB(dib);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(ImgPixels(h)->ScanLine(0)[0], 0xE0);
    EXPECT_EQ(ImgPixels(h)->ScanLine(0)[3], 0x00);
}

struct Malformed {
    const char* name;
    std::function<void(PackedDib&)> damage;
    const char* status;
};

class ImgDibMalformed : public ImgTest, public ::testing::WithParamInterface<Malformed> {};

TEST_P(ImgDibMalformed, RefusedWithStatus) {
    PackedDib dib =
        MakePackedDib(6, 4, 8, testPalette(8), [](int x, int y) { return uint32_t(x + y); });
    GetParam().damage(dib);
    EXPECT_EQ(ImgFromDIB(dib.data(), dib.size()), 0u);
    EXPECT_EQ(ImgGetStatus(), GetParam().status);
}

const Malformed kMalformed[] = {
    {"Empty", [](PackedDib& d) { d.clear(); }, "Invalid bitmap: header too short"},
    {"ShortHeader", [](PackedDib& d) { d.resize(39); }, "Invalid bitmap: header too short"},
    {"CoreHeader", [](PackedDib& d) { PutLE32(d, 0, 12); }, "Invalid bitmap: bad header size"},
    {"HeaderPastEnd", [](PackedDib& d) { PutLE32(d, 0, 0x7FFFFFFF); },
     "Invalid bitmap: bad header size"},
    {"ThreeBits", [](PackedDib& d) { PutLE16(d, 14, 3); },
     "Invalid bitmap: unsupported bits per pixel"},
    {"ZeroBits", [](PackedDib& d) { PutLE16(d, 14, 0); },
     "Invalid bitmap: unsupported bits per pixel"},
    {"Rle8", [](PackedDib& d) { PutLE32(d, 16, 1); },
     "Invalid bitmap: compressed bitmaps are not supported"},
    {"BitFields", [](PackedDib& d) { PutLE32(d, 16, 3); },
     "Invalid bitmap: compressed bitmaps are not supported"},
    {"ZeroWidth", [](PackedDib& d) { PutLE32(d, 4, 0); }, "Invalid bitmap: bad width or height"},
    {"NegativeWidth", [](PackedDib& d) { PutLE32(d, 4, uint32_t(-6)); },
     "Invalid bitmap: bad width or height"},
    {"ZeroHeight", [](PackedDib& d) { PutLE32(d, 8, 0); }, "Invalid bitmap: bad width or height"},
    {"MinHeight", [](PackedDib& d) { PutLE32(d, 8, uint32_t(INT_MIN)); },
     "Invalid bitmap: bad width or height"},
    {"OneByteShort", [](PackedDib& d) { d.pop_back(); }, "Invalid bitmap: data truncated"},
    {"NoPixels", [](PackedDib& d) { d.resize(40 + 1024); }, "Invalid bitmap: data truncated"},
    {"TableShort", [](PackedDib& d) { d.resize(40 + 100); }, "Invalid bitmap: data truncated"},
    {"HugeClrUsed", [](PackedDib& d) { PutLE32(d, 32, 0xFFFFFFFF); },
     "Invalid bitmap: data truncated"},
    {"HugeWidth", [](PackedDib& d) { PutLE32(d, 4, 0x7FFFFFFF); },
     "Invalid bitmap: bad width or height"},
    {"WideRow", [](PackedDib& d) { PutLE32(d, 4, 0x0FFFFFFF); }, "Invalid bitmap: data truncated"},
    {"HugeHeight", [](PackedDib& d) { PutLE32(d, 8, 0x7FFFFFFF); },
     "Invalid bitmap: data truncated"},
    {"HugeTopDown", [](PackedDib& d) { PutLE32(d, 8, uint32_t(-0x7FFFFFFF)); },
     "Invalid bitmap: data truncated"},
    {"HugeBoth24",
     [](PackedDib& d) {
         PutLE32(d, 4, 0x7FFFFFFF);
         PutLE32(d, 8, 0x7FFFFFFF);
         PutLE16(d, 14, 24);
     },
     "Invalid bitmap: bad width or height"},
};

INSTANTIATE_TEST_SUITE_P(Cases, ImgDibMalformed, ::testing::ValuesIn(kMalformed),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImgDib, NullBufferRefused) {
    EXPECT_EQ(ImgFromDIB(nullptr, 100), 0u);
    EXPECT_EQ(ImgGetStatus(), "Invalid bitmap: header too short");
}

TEST_F(ImgDib, OutOfMemoryReported) {
    const PackedDib dib =
        MakePackedDib(64, 64, 24, {}, [](int x, int y) { return NoiseColor(x, y); });
    Bitmap::SetAllocationLimitForTesting(1000);
    EXPECT_EQ(ImgFromDIB(dib), 0u);
    EXPECT_EQ(ImgGetStatus(), "Out of memory");
}

TEST_F(ImgDib, LongerHeaderAccepted) {
    // A 108-byte header: the colour table and rows follow it.
    const PackedDib plain =
        MakePackedDib(3, 2, 24, {}, [](int x, int y) { return NoiseColor(x, y); });
    PackedDib dib(plain.begin(), plain.begin() + 40);
    dib.resize(108, 0);
    dib.insert(dib.end(), plain.begin() + 40, plain.end());
    PutLE32(dib, 0, 108);
    const HIMG h = ImgFromDIB(dib);
    ASSERT_NE(h, 0u) << ImgGetStatus();
    EXPECT_EQ(ImgPixels(h)->PixelColor(1, 1), NoiseColor(1, 1));
}

} // namespace
} // namespace lumara::test
