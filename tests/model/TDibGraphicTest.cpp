#include "codecs/model/TDibGraphic.h"
#include "codecs/model/Exceptions.h"
#include "codecs/model/Palettes.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

namespace lumara {
namespace {

template <typename E, typename F> std::string messageOf(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "(no exception)";
}

struct RowBytesCase {
    int width, height;
    TImageFormat format;
    int rowBytes;
    int paletteCount;
};

class RowBytesTest : public ::testing::TestWithParam<RowBytesCase> {};

TEST_P(RowBytesTest, HeaderAndSizes) {
    const RowBytesCase c = GetParam();
    SetScreenDotsPerInch(96, 96);
    TDibGraphic g;
    g.NewImage(c.width, c.height, c.format, nullptr, 0, 0);
    EXPECT_FALSE(g.GetEmpty());
    EXPECT_EQ(g.RowBytes(), c.rowBytes);
    EXPECT_EQ(g.InfoHeader().biSizeImage, uint32_t(c.rowBytes * c.height));
    EXPECT_EQ(g.InfoHeader().biClrUsed, uint32_t(c.paletteCount));
    EXPECT_EQ(g.PaletteRecord().count, c.paletteCount);
    EXPECT_EQ(g.InfoHeader().biBitCount, BitsPerPixelOf(c.format));
    EXPECT_EQ(g.XDotsPerInch(), 96);
    EXPECT_EQ(g.YDotsPerInch(), 96);
    EXPECT_EQ(g.GetWidth(), c.width);
    EXPECT_EQ(g.GetHeight(), c.height);
}

INSTANTIATE_TEST_SUITE_P(Formats, RowBytesTest,
                         ::testing::Values(RowBytesCase{3, 2, ifBlackWhite, 4, 2},
                                           RowBytesCase{33, 1, ifBlackWhite, 8, 2},
                                           RowBytesCase{9, 3, ifGray16, 8, 16},
                                           RowBytesCase{8, 3, ifColor16, 4, 16},
                                           RowBytesCase{5, 2, ifGray256, 8, 256},
                                           RowBytesCase{4, 2, ifColor256, 4, 256},
                                           RowBytesCase{5, 1, ifTrueColor, 16, 0},
                                           RowBytesCase{4, 1, ifTrueColor, 12, 0}));

TEST(TDibGraphic, BlackWhitePaletteIsBlackThenWhite) {
    TDibGraphic g;
    g.NewImage(3, 2, ifBlackWhite, nullptr, 0, 0);
    EXPECT_EQ(g.PaletteRecord().entries[0], 0x000000u);
    EXPECT_EQ(g.PaletteRecord().entries[1], 0xFFFFFFu);
}

TEST(TDibGraphic, ScanLineZeroIsLastRowInMemory) {
    TDibGraphic g;
    g.NewImage(4, 2, ifTrueColor, nullptr, 0, 0);
    EXPECT_EQ(g.ScanLine(0), g.Bits() + g.RowBytes());
    EXPECT_EQ(g.ScanLine(1), g.Bits());
}

TEST(TDibGraphic, ResolutionRoundTrip) {
    TDibGraphic g;
    g.NewImage(1, 1, ifTrueColor, nullptr, 300, 72);
    EXPECT_EQ(g.InfoHeader().biXPelsPerMeter, 11811);
    EXPECT_EQ(g.XDotsPerInch(), 300);
    EXPECT_EQ(g.YDotsPerInch(), 72);
    EXPECT_EQ(DpiToPelsPerMeter(300), 11811);
    EXPECT_EQ(PelsPerMeterToDpi(11811), 300);
}

TEST(TDibGraphic, SetPixelGetPixelOnPaletteAndTrueColor) {
    TDibGraphic t;
    t.NewImage(3, 3, ifTrueColor, nullptr, 0, 0);
    t.SetPixel(1, 2, 0x123456);
    EXPECT_EQ(t.GetPixel(1, 2), 0x123456u);
    EXPECT_EQ(t.ScanLine(2)[3], 0x56);
    EXPECT_EQ(t.ScanLine(2)[5], 0x12);

    TDibGraphic p;
    p.NewImage(3, 3, ifColor16, nullptr, 0, 0);
    p.SetPixel(2, 0, 0xFF5555); // entry 9: blue 85, green 85, red 255
    EXPECT_EQ(p.GetPaletteIndex(2, 0), 9);
    EXPECT_EQ(p.GetPixel(2, 0), 0xFF5555u);
    EXPECT_EQ(p.ScanLine(0)[1] >> 4, 9);
}

TEST(TDibGraphic, GetPaletteIndexOnTrueColorRaises) {
    TDibGraphic g;
    g.NewImage(1, 1, ifTrueColor, nullptr, 0, 0);
    EXPECT_EQ(messageOf<EZeradudaError>([&] { g.GetPaletteIndex(0, 0); }),
              "The image does not have a palette");
    EXPECT_EQ(messageOf<EZeradudaError>([&] { g.SetPaletteIndex(0, 0, 1); }),
              "The image does not have a palette");
}

TEST(TDibGraphic, AssignCopiesAndEmptyLeavesEmpty) {
    TDibGraphic a;
    a.NewImage(5, 3, ifColor256, nullptr, 200, 150);
    a.SetPaletteIndex(4, 2, 77);
    TDibGraphic b;
    b.Assign(a);
    EXPECT_EQ(b.GetWidth(), 5);
    EXPECT_EQ(b.ImageFormat(), ifColor256);
    EXPECT_EQ(b.GetPaletteIndex(4, 2), 77);
    EXPECT_EQ(b.XDotsPerInch(), 200);
    EXPECT_EQ(b.YDotsPerInch(), 150);

    TDibGraphic empty;
    b.Assign(empty);
    EXPECT_TRUE(b.GetEmpty());
    EXPECT_EQ(b.GetWidth(), 0);
}

TEST(TDibGraphic, PackedDibRoundTrip) {
    TDibGraphic a;
    a.NewImage(7, 3, ifColor16, nullptr, 0, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x)
            a.SetPaletteIndex(x, y, (x + 3 * y) & 15);
    const PackedDib dib = a.CreatePackedDib();
    ASSERT_FALSE(dib.empty());
    TDibGraphic b;
    b.AssignFromPackedDib(dib.data(), dib.size());
    ASSERT_EQ(b.GetWidth(), 7);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(b.GetPaletteIndex(x, y), (x + 3 * y) & 15);
}

TEST(TDibGraphic, BitmapRoundTrip) {
    TDibGraphic a;
    a.NewImage(5, 4, ifTrueColor, nullptr, 300, 300);
    a.SetPixel(0, 0, 0xABCDEF);
    Bitmap bmp;
    a.AssignTo(bmp);
    EXPECT_EQ(bmp.Depth(), 24);
    EXPECT_EQ(bmp.PixelColor(0, 0), 0xABCDEFu);
    TDibGraphic b;
    b.Assign(bmp);
    EXPECT_EQ(b.GetPixel(0, 0), 0xABCDEFu);
    EXPECT_EQ(b.XDotsPerInch(), 300);
}

TEST(TDibGraphic, BaseStreamBehaviour) {
    TDibGraphic g;
    TMemoryStream s;
    EXPECT_EQ(g.GetImageCount(s), 1);
    EXPECT_EQ(messageOf<EZeradudaError>([&] { g.AppendToStream(s); }),
              "The TDibGraphic format does not support multiple images");
}

TEST(TDibGraphic, FormatTable) {
    const char* texts[] = {"B/W",        "4bpp gray",  "8bpp gray",
                           "4bpp color", "8bpp color", "24bpp color"};
    const int bits[] = {1, 4, 8, 4, 8, 24};
    for (int f = 0; f <= 5; ++f) {
        EXPECT_STREQ(ImageFormatText(TImageFormat(f)), texts[f]);
        EXPECT_EQ(BitsPerPixelOf(TImageFormat(f)), bits[f]);
        EXPECT_EQ(DefaultPaletteOf(TImageFormat(f)) == nullptr, f == ifTrueColor);
    }
    EXPECT_EQ(FormatForBitCount(1), ifBlackWhite);
    EXPECT_EQ(FormatForBitCount(4), ifColor16);
    EXPECT_EQ(FormatForBitCount(8), ifColor256);
    EXPECT_EQ(FormatForBitCount(24), ifTrueColor);
    for (int b : {0, 2, 16, 32, 48})
        EXPECT_EQ(messageOf<EZeradudaError>([&] { FormatForBitCount(b); }), "Unsupported bit count")
            << b;
}

TEST(TDibGraphic, DefaultPalettes) {
    // Entries as blue, green, red.
    const uint8_t vga[16][3] = {{0, 0, 0},     {0, 0, 170},    {0, 170, 0},    {0, 170, 170},
                                {170, 0, 0},   {170, 0, 170},  {170, 85, 0},   {170, 170, 170},
                                {85, 85, 85},  {85, 85, 255},  {85, 255, 85},  {85, 255, 255},
                                {255, 85, 85}, {255, 85, 255}, {255, 255, 85}, {255, 255, 255}};
    const TPaletteRecord& c16 = *DefaultPaletteOf(ifColor16);
    const TPaletteRecord& c256 = *DefaultPaletteOf(ifColor256);
    ASSERT_EQ(c16.count, 16);
    ASSERT_EQ(c256.count, 256);
    EXPECT_EQ(c16.version, 0x300);
    for (int i = 0; i < 16; ++i) {
        const uint32_t expected = MakeColor(vga[i][2], vga[i][1], vga[i][0]);
        EXPECT_EQ(c16.entries[size_t(i)], expected) << i;
        EXPECT_EQ(c256.entries[size_t(i)], expected) << i;
    }
    const int ramp[16] = {0, 20, 32, 44, 56, 69, 81, 97, 113, 130, 146, 162, 182, 203, 227, 255};
    for (int i = 0; i < 16; ++i) {
        if (i == 14) continue;
        EXPECT_EQ(c256.entries[size_t(16 + i)], MakeColor(ramp[i], ramp[i], ramp[i])) << i;
    }
    EXPECT_EQ(c256.entries[30], MakeColor(179, 179, 227)); // blue 227, green 179, red 179
    // The first ring: (0,0,255), (65,0,255), (125,0,255), (190,0,255), (255,0,255), (255,0,190).
    const uint8_t ring[6][3] = {{0, 0, 255},   {65, 0, 255},  {125, 0, 255},
                                {190, 0, 255}, {255, 0, 255}, {255, 0, 190}};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(c256.entries[size_t(32 + i)], MakeColor(ring[i][2], ring[i][1], ring[i][0])) << i;
    for (int i = 248; i < 256; ++i)
        EXPECT_EQ(c256.entries[size_t(i)], 0u) << i;

    const TPaletteRecord& g16 = *DefaultPaletteOf(ifGray16);
    const TPaletteRecord& g256 = *DefaultPaletteOf(ifGray256);
    ASSERT_EQ(g16.count, 16);
    ASSERT_EQ(g256.count, 256);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(g16.entries[size_t(i)], MakeColor(17 * i, 17 * i, 17 * i));
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(g256.entries[size_t(i)], MakeColor(i, i, i));
    EXPECT_EQ(DefaultPaletteOf(ifBlackWhite)->count, 2);
}

TEST(TDibGraphic, NewImageErrorsLeaveImageEmpty) {
    TDibGraphic g;
    g.NewImage(2, 2, ifTrueColor, nullptr, 0, 0);
    EXPECT_EQ(messageOf<EZeradudaError>([&] { g.NewImage(2, 2, TImageFormat(6), nullptr, 0, 0); }),
              "Invalid image format");
    EXPECT_TRUE(g.GetEmpty());
    EXPECT_EQ(g.GetWidth(), 0);

    struct Size {
        int w, h;
        TImageFormat f;
    };
    // Zero or negative sizes, and sizes whose bytes do not fit 32 bits.
    for (Size s : {Size{0, 5, ifTrueColor}, Size{5, 0, ifBlackWhite}, Size{-3, 2, ifGray256},
                   Size{70000, 70000, ifTrueColor}, Size{0x7fffffff, 1, ifTrueColor},
                   Size{0x7fffffff, 0x7fffffff, ifBlackWhite}}) {
        g.NewImage(1, 1, ifColor16, nullptr, 0, 0);
        EXPECT_EQ(messageOf<EZeradudaError>([&] { g.NewImage(s.w, s.h, s.f, nullptr, 0, 0); }),
                  "CreateDibSection failed")
            << s.w << "x" << s.h;
        EXPECT_TRUE(g.GetEmpty());
        EXPECT_EQ(g.Bits(), nullptr);
        EXPECT_EQ(g.Converter(), nullptr);
    }
}

TEST(TDibGraphic, AllocationFailureLeavesImageEmpty) {
    TDibGraphic g;
    g.NewImage(4, 4, ifColor256, nullptr, 0, 0);
    Bitmap::SetAllocationLimitForTesting(1000);
    EXPECT_EQ(messageOf<EZeradudaError>([&] { g.NewImage(100, 100, ifTrueColor, nullptr, 0, 0); }),
              "CreateDibSection failed");
    EXPECT_TRUE(g.GetEmpty());
    EXPECT_EQ(g.GetWidth(), 0);
    EXPECT_EQ(g.RowBytes(), 0);
    // Copying a large image fails the same way and leaves the copy empty.
    Bitmap::SetAllocationLimitForTesting(0);
    TDibGraphic big;
    big.NewImage(100, 100, ifTrueColor, nullptr, 0, 0);
    Bitmap::SetAllocationLimitForTesting(1000);
    EXPECT_EQ(messageOf<EZeradudaError>([&] { g.Assign(big); }), "CreateDibSection failed");
    EXPECT_TRUE(g.GetEmpty());
    Bitmap::SetAllocationLimitForTesting(0);
    g.NewImage(100, 100, ifTrueColor, nullptr, 0, 0);
    EXPECT_FALSE(g.GetEmpty());
}

TEST(TDibGraphic, SetWidthAndHeightRaise) {
    TDibGraphic g;
    g.NewImage(3, 4, ifGray16, nullptr, 0, 0);
    EXPECT_EQ(messageOf<EZeradudaError>([&] { g.SetWidth(10); }),
              "Dimensions must be changed with NewImage");
    EXPECT_EQ(messageOf<EZeradudaError>([&] { g.SetHeight(10); }),
              "Dimensions must be changed with NewImage");
    EXPECT_EQ(g.GetWidth(), 3);
    EXPECT_EQ(g.GetHeight(), 4);
    TDibGraphic empty;
    EXPECT_EQ(messageOf<EZeradudaError>([&] { empty.SetWidth(10); }),
              "Dimensions must be changed with NewImage");
    EXPECT_TRUE(empty.GetEmpty());
}

TEST(TDibGraphic, FreeImageClearsEverything) {
    TDibGraphic g;
    g.NewImage(3, 4, ifColor256, nullptr, 300, 300);
    g.FreeImage();
    EXPECT_TRUE(g.GetEmpty());
    EXPECT_EQ(g.GetWidth(), 0);
    EXPECT_EQ(g.GetHeight(), 0);
    EXPECT_EQ(g.InfoHeader().biBitCount, 0);
    EXPECT_EQ(g.InfoHeader().biXPelsPerMeter, 0);
    EXPECT_EQ(g.PaletteRecord().count, 0);
    EXPECT_EQ(g.Converter(), nullptr);
    EXPECT_EQ(g.GetPixel(0, 0), 0u);
    g.SetPixel(0, 0, 0xFFFFFF); // nothing to write to
}

TEST(TDibGraphic, ExplicitPaletteAndOutOfRangeAccess) {
    TPaletteRecord pal;
    pal.count = 3;
    pal.entries[0] = 0x102030;
    pal.entries[1] = 0x405060;
    pal.entries[2] = 0x708090;
    TDibGraphic g;
    g.NewImage(9, 2, ifColor256, &pal, 0, 0);
    EXPECT_EQ(g.PaletteRecord().count, 3);
    EXPECT_EQ(g.InfoHeader().biClrUsed, 3u);
    g.SetPixel(8, 1, 0x708091);
    EXPECT_EQ(g.GetPaletteIndex(8, 1), 2);
    EXPECT_EQ(g.GetPixel(8, 1), 0x708090u);
    EXPECT_EQ(g.GetPixel(9, 1), 0u);
    EXPECT_EQ(g.GetPixel(-1, 0), 0u);
    EXPECT_EQ(g.GetPaletteIndex(0, 2), 0);
    g.SetPixel(9, 0, 0x708090);
    g.SetPaletteIndex(0, -1, 2);
    for (int x = 0; x < 9; ++x)
        EXPECT_EQ(g.GetPaletteIndex(x, 0), 0);

    pal.count = 1000; // more than a palette can hold
    g.NewImage(1, 1, ifColor256, &pal, 0, 0);
    EXPECT_EQ(g.PaletteRecord().count, 256);
}

struct PixelFormatCase {
    TImageFormat format;
    int index;       // written with SetPaletteIndex (palette formats)
    uint32_t colour; // what GetPixel gives then
};

class PixelAccessTest : public ::testing::TestWithParam<PixelFormatCase> {};

TEST_P(PixelAccessTest, IndexAndColourInEveryColumn) {
    const PixelFormatCase k = GetParam();
    TDibGraphic g;
    g.NewImage(11, 3, k.format, nullptr, 0, 0);
    for (int x = 0; x < 11; ++x) {
        g.SetPaletteIndex(x, 1, k.index);
        EXPECT_EQ(g.GetPaletteIndex(x, 1), k.index);
        EXPECT_EQ(g.GetPixel(x, 1), k.colour);
        EXPECT_EQ(g.GetPaletteIndex(x, 0), 0);
        EXPECT_EQ(g.GetPaletteIndex(x, 2), 0);
        // SetPixel of the same colour maps back to the same index.
        g.SetPixel(x, 2, k.colour);
        EXPECT_EQ(g.GetPaletteIndex(x, 2), k.index);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, PixelAccessTest,
                         ::testing::Values(PixelFormatCase{ifBlackWhite, 1, 0xFFFFFF},
                                           PixelFormatCase{ifGray16, 5, 0x555555},
                                           PixelFormatCase{ifColor16, 12, 0x5555FF},
                                           PixelFormatCase{ifGray256, 200, 0xC8C8C8},
                                           PixelFormatCase{ifColor256, 19, 0x2C2C2C}));

TEST(TRgbToPaletteConverter, NearestIndexTiesAndCache) {
    TPaletteRecord pal;
    pal.count = 4;
    pal.entries[0] = 0x000000;
    pal.entries[1] = 0x808080;
    pal.entries[2] = 0x808080;
    pal.entries[3] = 0xFFFFFF;
    TRgbToPaletteConverter c(pal);
    EXPECT_EQ(c.NearestIndex(0x808080), 1); // the lower of two identical entries
    EXPECT_EQ(c.CacheMisses(), 1u);
    EXPECT_EQ(c.CacheHits(), 0u);
    EXPECT_EQ(c.NearestIndex(0x808080), 1);
    EXPECT_EQ(c.CacheMisses(), 1u);
    EXPECT_EQ(c.CacheHits(), 1u);
    // Equal distance to entries 0 and 1 (0x40 each way squared): the first wins.
    EXPECT_EQ(c.NearestIndex(0x404040), 0);
    EXPECT_EQ(c.NearestIndex(0x414141), 1);
    EXPECT_EQ(c.NearestIndex(0xF0F0F0), 3);
    // Black at key 0 is a real cache entry, not an empty slot.
    EXPECT_EQ(c.NearestIndex(0x000000), 0);
    const uint32_t hits = c.CacheHits();
    EXPECT_EQ(c.NearestIndex(0x000000), 0);
    EXPECT_EQ(c.CacheHits(), hits + 1);
}

TEST(TRgbToPaletteConverter, SlotsAreColourModulo1020LastWriterWins) {
    TPaletteRecord pal;
    pal.count = 2;
    pal.entries[0] = 0x000000;
    pal.entries[1] = 0xFFFFFF;
    TRgbToPaletteConverter c(pal);
    const uint32_t a = 5, b = 5 + 1020; // same slot
    EXPECT_EQ(c.NearestIndex(a), 0);
    EXPECT_EQ(c.NearestIndex(b), 0);
    EXPECT_EQ(c.CacheMisses(), 2u);
    EXPECT_EQ(c.NearestIndex(b), 0);
    EXPECT_EQ(c.CacheHits(), 1u);
    EXPECT_EQ(c.NearestIndex(a), 0); // replaced by b
    EXPECT_EQ(c.CacheMisses(), 3u);
}

TEST(TRgbToPaletteConverter, EmptyPaletteGivesZero) {
    TPaletteRecord pal;
    pal.count = 0;
    TRgbToPaletteConverter c(pal);
    EXPECT_EQ(c.NearestIndex(0x123456), 0);
    EXPECT_EQ(c.NearestIndex(0x123456), 0);
    EXPECT_EQ(c.CacheHits(), 1u);
}

TEST(TRgbToPaletteConverter, SetPixelGoesThroughTheImageConverter) {
    TDibGraphic g;
    g.NewImage(2, 2, ifColor256, nullptr, 0, 0);
    ASSERT_NE(g.Converter(), nullptr);
    g.SetPixel(0, 0, 0x123456);
    g.SetPixel(1, 0, 0x123456);
    EXPECT_EQ(g.Converter()->CacheMisses(), 1u);
    EXPECT_EQ(g.Converter()->CacheHits(), 1u);
    TDibGraphic t;
    t.NewImage(2, 2, ifTrueColor, nullptr, 0, 0);
    EXPECT_EQ(t.Converter(), nullptr);
}

std::vector<int> progressOf(TImageTransform& t, TDibGraphic& g) {
    std::vector<int> seen;
    t.OnProgress = [&](TImageTransform& sender, int percent) {
        EXPECT_EQ(&sender, &t);
        seen.push_back(percent);
    };
    t.Apply(g);
    return seen;
}

TEST(TNegativeTransform, BlackWhiteInvertsEveryRowByte) {
    TDibGraphic g;
    g.NewImage(3, 3, ifBlackWhite, nullptr, 0, 0);
    g.SetPaletteIndex(1, 1, 1);
    TNegativeTransform t;
    EXPECT_EQ(progressOf(t, g), (std::vector<int>{0, 50, 100}));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(g.GetPixel(x, y), (x == 1 && y == 1) ? 0x000000u : 0xFFFFFFu)
                << x << "," << y;
    // Padding bytes are inverted too.
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(g.ScanLine(y)[3], 0xFF);
    EXPECT_EQ(g.PaletteRecord().entries[0], 0u);
}

TEST(TNegativeTransform, GrayInvertsIndices) {
    TDibGraphic g;
    g.NewImage(2, 1, ifGray256, nullptr, 0, 0);
    g.SetPaletteIndex(0, 0, 10);
    TNegativeTransform t;
    EXPECT_EQ(progressOf(t, g), (std::vector<int>{0, 100}));
    EXPECT_EQ(g.GetPaletteIndex(0, 0), 245);
    EXPECT_EQ(g.GetPaletteIndex(1, 0), 255);
}

TEST(TNegativeTransform, Color256ChangesOnlyThePalette) {
    TDibGraphic g;
    g.NewImage(5, 2, ifColor256, nullptr, 300, 150);
    g.SetPaletteIndex(0, 0, 9);
    g.SetPaletteIndex(4, 1, 200);
    const std::vector<uint8_t> before(g.Bits(), g.Bits() + g.InfoHeader().biSizeImage);
    g.SetPixel(1, 1, 0x00FF00); // fills the converter cache with the old colours
    TNegativeTransform t;
    t.Apply(g);
    EXPECT_EQ(g.ImageFormat(), ifColor256);
    EXPECT_EQ(g.GetPaletteIndex(0, 0), 9);
    EXPECT_EQ(g.GetPaletteIndex(4, 1), 200);
    EXPECT_EQ(g.XDotsPerInch(), 300);
    EXPECT_EQ(g.YDotsPerInch(), 150);
    const TPaletteRecord& def = *DefaultPaletteOf(ifColor256);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(g.PaletteRecord().entries[size_t(i)], ~def.entries[size_t(i)] & 0xFFFFFF);
    // Nearest-colour lookups use the new colours.
    g.SetPixel(2, 0, 0xFF00FF); // the inverse of green
    EXPECT_EQ(g.GetPixel(2, 0), 0xFF00FFu);
}

TEST(TNegativeTransform, TrueColourInvertsPixelsNotPadding) {
    TDibGraphic g;
    g.NewImage(1, 2, ifTrueColor, nullptr, 0, 0);
    g.SetPixel(0, 0, 0x102030);
    TNegativeTransform t;
    t.Apply(g);
    EXPECT_EQ(g.GetPixel(0, 0), 0xEFDFCFu);
    EXPECT_EQ(g.GetPixel(0, 1), 0xFFFFFFu);
    EXPECT_EQ(g.ScanLine(0)[3], 0);
}

TEST(TNegativeTransform, ApplyOnDestLeavesSource) {
    TDibGraphic src, dst;
    src.NewImage(2, 2, ifGray16, nullptr, 0, 0);
    TNegativeTransform t;
    t.ApplyOnDest(src, dst);
    EXPECT_EQ(src.GetPaletteIndex(0, 0), 0);
    EXPECT_EQ(dst.GetPaletteIndex(0, 0), 15);
    EXPECT_EQ(dst.GetPixel(1, 1), 0xFFFFFFu);
}

TEST(TImageTransform, BaseApplyOnDestRaises) {
    TImageTransform t;
    TDibGraphic g;
    g.NewImage(1, 1, ifTrueColor, nullptr, 0, 0);
    EXPECT_EQ(messageOf<EZeradudaError>([&] { t.Apply(g); }),
              "Method \"ApplyOnDest\" not implemented for TImageTransform class");
    EXPECT_FALSE(g.GetEmpty());
}

// A transform that only reports progress, to see the rule on its own.
class ProgressProbe : public TImageTransform {
  public:
    void Report(int current, int minimum, int maximum) { Progress(current, minimum, maximum); }
};

TEST(TImageTransform, ProgressReportsOnlyChanges) {
    ProgressProbe p;
    std::vector<int> seen;
    p.Report(5, 0, 10); // no event assigned: nothing happens
    p.OnProgress = [&](TImageTransform&, int percent) { seen.push_back(percent); };
    p.Report(5, 0, 10);
    p.Report(5, 0, 10);
    p.Report(1, 0, 3);
    p.Report(-4, 0, 10);
    p.Report(40, 0, 10);
    p.Report(7, 7, 7);
    EXPECT_EQ(seen, (std::vector<int>{50, 33, 0, 100}));
}

struct PackedCase {
    TImageFormat format;
    int width, height;
    TImageFormat readBack;
};

class PackedDibTest : public ::testing::TestWithParam<PackedCase> {};

TEST_P(PackedDibTest, RoundTrip) {
    const PackedCase k = GetParam();
    TDibGraphic a;
    a.NewImage(k.width, k.height, k.format, nullptr, 300, 200);
    for (int y = 0; y < k.height; ++y)
        for (int x = 0; x < k.width; ++x) {
            if (k.format == ifTrueColor)
                a.SetPixel(x, y, MakeColor(x * 20, y * 30, x + y));
            else
                a.SetPaletteIndex(x, y, (x * 7 + y * 3) % (1 << BitsPerPixelOf(k.format)));
        }
    const PackedDib dib = a.CreatePackedDib();
    const size_t table = k.format == ifTrueColor ? 0 : size_t(4 << BitsPerPixelOf(k.format));
    ASSERT_EQ(dib.size(), 40 + table + a.InfoHeader().biSizeImage);
    const BitmapInfoHeader h = BitmapInfoHeader::ReadFrom(dib.data());
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, k.width);
    EXPECT_EQ(h.biHeight, k.height);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, BitsPerPixelOf(k.format));
    EXPECT_EQ(h.biClrUsed, table / 4);
    EXPECT_EQ(h.biXPelsPerMeter, DpiToPelsPerMeter(300));
    // Colour table entries as blue, green, red, 0.
    if (table) {
        const uint32_t e1 = a.PaletteRecord().entries[1];
        EXPECT_EQ(dib[44], BlueOf(e1));
        EXPECT_EQ(dib[45], GreenOf(e1));
        EXPECT_EQ(dib[46], RedOf(e1));
        EXPECT_EQ(dib[47], 0);
    }

    TDibGraphic b;
    b.AssignFromPackedDib(dib.data(), dib.size());
    EXPECT_EQ(b.ImageFormat(), k.readBack);
    EXPECT_EQ(b.GetWidth(), k.width);
    EXPECT_EQ(b.GetHeight(), k.height);
    EXPECT_EQ(b.XDotsPerInch(), 300);
    EXPECT_EQ(b.YDotsPerInch(), 200);
    for (int y = 0; y < k.height; ++y)
        for (int x = 0; x < k.width; ++x) {
            EXPECT_EQ(b.GetPixel(x, y), a.GetPixel(x, y)) << x << "," << y;
            if (k.format != ifTrueColor)
                EXPECT_EQ(b.GetPaletteIndex(x, y), a.GetPaletteIndex(x, y));
        }
}

INSTANTIATE_TEST_SUITE_P(Formats, PackedDibTest,
                         ::testing::Values(PackedCase{ifBlackWhite, 13, 3, ifBlackWhite},
                                           PackedCase{ifGray16, 5, 4, ifColor16},
                                           PackedCase{ifGray256, 3, 2, ifColor256},
                                           PackedCase{ifColor16, 7, 3, ifColor16},
                                           PackedCase{ifColor256, 6, 5, ifColor256},
                                           PackedCase{ifTrueColor, 5, 3, ifTrueColor}));

TEST(TDibGraphic, PackedDibOfEmptyImageIsEmpty) {
    TDibGraphic g;
    EXPECT_TRUE(g.CreatePackedDib().empty());
}

PackedDib makeDib(int width, int height, int bits, uint32_t clrUsed = 0, uint32_t compression = 0) {
    BitmapInfoHeader h;
    h.biWidth = width;
    h.biHeight = height;
    h.biBitCount = uint16_t(bits);
    h.biClrUsed = clrUsed;
    h.biCompression = compression;
    const int abs = height < 0 ? -height : height;
    const size_t row = size_t((int64_t(width) * bits + 31) / 32 * 4);
    const size_t table = bits <= 8 ? 4 * size_t(clrUsed ? clrUsed : (1u << bits)) : 0;
    PackedDib d(40 + table + row * size_t(abs));
    h.WriteTo(d.data());
    return d;
}

TEST(TDibGraphic, PackedDibTopDownAndDeeperPixels) {
    // Top-down 24-bit: the first stored row is the top.
    PackedDib d = makeDib(1, -2, 24);
    d[40] = 1;
    d[41] = 2;
    d[42] = 3; // top: blue 1, green 2, red 3
    d[44] = 9;
    d[45] = 8;
    d[46] = 7;
    TDibGraphic g;
    g.AssignFromPackedDib(d.data(), d.size());
    EXPECT_EQ(g.GetHeight(), 2);
    EXPECT_EQ(g.GetPixel(0, 0), 0x030201u);
    EXPECT_EQ(g.GetPixel(0, 1), 0x070809u);

    PackedDib d32 = makeDib(2, 1, 32);
    const uint8_t px[8] = {10, 20, 30, 255, 40, 50, 60, 0};
    std::memcpy(d32.data() + 40, px, 8);
    g.AssignFromPackedDib(d32.data(), d32.size());
    EXPECT_EQ(g.ImageFormat(), ifTrueColor);
    EXPECT_EQ(g.GetPixel(0, 0), 0x1E140Au);
    EXPECT_EQ(g.GetPixel(1, 0), 0x3C3228u);

    PackedDib d16 = makeDib(1, 1, 16);
    d16[40] = 0x1F; // blue 31
    d16[41] = 0x7C; // red 31
    g.AssignFromPackedDib(d16.data(), d16.size());
    EXPECT_EQ(g.GetPixel(0, 0), 0xFF00FFu);

    // No resolution stored: the screen's.
    SetScreenDotsPerInch(120, 110);
    g.AssignFromPackedDib(d16.data(), d16.size());
    EXPECT_EQ(g.XDotsPerInch(), 120);
    EXPECT_EQ(g.YDotsPerInch(), 110);
    SetScreenDotsPerInch(96, 96);

    // A short colour table (colours used 2 at 8 bits).
    PackedDib d8 = makeDib(1, 1, 8, 2);
    d8[44] = 0x33;
    d8[45] = 0x22;
    d8[46] = 0x11;
    d8[48] = 1;
    g.AssignFromPackedDib(d8.data(), d8.size());
    EXPECT_EQ(g.PaletteRecord().count, 2);
    EXPECT_EQ(g.GetPixel(0, 0), 0x112233u);
}

TEST(TDibGraphic, PackedDibWithBitFields) {
    // 16-bit 5-6-5 with the masks after a 40-byte header.
    BitmapInfoHeader h;
    h.biWidth = 2;
    h.biHeight = 1;
    h.biBitCount = 16;
    h.biCompression = 3;
    PackedDib d(40 + 12 + 4);
    h.WriteTo(d.data());
    const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(d.data() + 40, masks, 12);
    d[52] = 0xE0; // pixel 0: 0x07E0, green all ones
    d[53] = 0x07;
    d[54] = 0x1F; // pixel 1: blue 31, red 16 -> 0x801F
    d[55] = 0x80;
    TDibGraphic g;
    g.AssignFromPackedDib(d.data(), d.size());
    EXPECT_EQ(g.GetPixel(0, 0), 0x00FF00u);
    EXPECT_EQ(g.GetPixel(1, 0), MakeColor(132, 0, 255)); // 16 of 31 rounds to 132

    // 32-bit with a larger header holding the masks (red and blue swapped).
    BitmapInfoHeader v5;
    v5.biSize = 124;
    v5.biWidth = 1;
    v5.biHeight = 1;
    v5.biBitCount = 32;
    v5.biCompression = 3;
    PackedDib e(124 + 4);
    v5.WriteTo(e.data());
    const uint32_t swapped[3] = {0x000000FF, 0x0000FF00, 0x00FF0000};
    std::memcpy(e.data() + 40, swapped, 12);
    e[124] = 0x11;
    e[125] = 0x22;
    e[126] = 0x33;
    g.AssignFromPackedDib(e.data(), e.size());
    EXPECT_EQ(g.GetPixel(0, 0), 0x112233u);

    // Masks missing from a short buffer, and bit fields on 24 bits.
    PackedDib shortOne(d.begin(), d.begin() + 44);
    EXPECT_EQ(messageOf<EInvalidGraphic>(
                  [&] { g.AssignFromPackedDib(shortOne.data(), shortOne.size()); }),
              "Invalid bitmap");
    PackedDib d24 = makeDib(1, 1, 24, 0, 3);
    EXPECT_EQ(messageOf<EZeradudaError>([&] { g.AssignFromPackedDib(d24.data(), d24.size()); }),
              "Unsupported compression");
}

TEST(TDibGraphic, MalformedPackedDibs) {
    TDibGraphic g;
    const PackedDib ok = makeDib(3, 2, 8);
    g.AssignFromPackedDib(ok.data(), ok.size());
    EXPECT_FALSE(g.GetEmpty());

    auto invalid = [&](PackedDib d, const char* what) {
        EXPECT_EQ(messageOf<EInvalidGraphic>([&] { g.AssignFromPackedDib(d.data(), d.size()); }),
                  "Invalid bitmap")
            << what;
    };
    invalid(PackedDib(39), "shorter than a header");
    invalid(PackedDib(ok.begin(), ok.end() - 1), "truncated pixels");
    invalid(PackedDib(ok.begin(), ok.begin() + 40 + 1000), "truncated table");
    PackedDib d = ok;
    d[0] = 12;
    invalid(d, "core header");
    d = ok;
    d[0] = 0xFF;
    d[1] = 0xFF;
    invalid(d, "header larger than the data");
    invalid(makeDib(0, 2, 8), "no width");
    invalid(makeDib(-3, 2, 8), "negative width");
    invalid(makeDib(3, 0, 8), "no height");
    d = ok;
    d[12] = 2;
    invalid(d, "two planes");
    d = ok;
    d[32] = 0x2C;
    d[33] = 0x01; // 300 colours
    invalid(d, "too many colours");
    d = PackedDib(ok.begin(), ok.begin() + 64);
    BitmapInfoHeader huge;
    huge.biWidth = 0x7fffffff;
    huge.biHeight = -0x7fffffff;
    huge.biBitCount = 24;
    huge.WriteTo(d.data());
    invalid(d, "huge dimensions, little data");
    EXPECT_EQ(messageOf<EInvalidGraphic>([&] { g.AssignFromPackedDib(nullptr, 100); }),
              "Invalid bitmap");

    const PackedDib two = makeDib(3, 2, 2);
    EXPECT_EQ(messageOf<EZeradudaError>([&] { g.AssignFromPackedDib(two.data(), two.size()); }),
              "Unsupported bit count");
    const PackedDib rle = makeDib(3, 2, 8, 0, 1);
    EXPECT_EQ(messageOf<EZeradudaError>([&] { g.AssignFromPackedDib(rle.data(), rle.size()); }),
              "Unsupported compression");
}

TEST(TDibGraphic, AssignFromBitmapKeepsDepthPaletteAndResolution) {
    Bitmap bmp(5, 3, 8);
    bmp.palette = {0x112233, 0x445566, 0x778899};
    bmp.SetPixelIndex(4, 0, 2);
    bmp.xPelsPerMeter = 11811;
    bmp.yPelsPerMeter = 0;
    SetScreenDotsPerInch(96, 144);
    TDibGraphic g;
    g.Assign(bmp);
    EXPECT_EQ(g.ImageFormat(), ifColor256);
    EXPECT_EQ(g.PaletteRecord().count, 3);
    EXPECT_EQ(g.GetPixel(4, 0), 0x778899u);
    EXPECT_EQ(g.GetPaletteIndex(4, 0), 2);
    EXPECT_EQ(g.XDotsPerInch(), 300);
    EXPECT_EQ(g.YDotsPerInch(), 144);
    SetScreenDotsPerInch(96, 96);

    Bitmap back;
    g.AssignTo(back);
    EXPECT_TRUE(back.SamePixels(bmp));
    EXPECT_EQ(back.xPelsPerMeter, 11811);

    Bitmap mono(9, 2, 1);
    mono.SetPixelIndex(8, 1, 1);
    g.Assign(mono);
    EXPECT_EQ(g.ImageFormat(), ifBlackWhite);
    EXPECT_EQ(g.GetPixel(8, 1), 0xFFFFFFu);

    // A palette depth without a palette takes the default one.
    Bitmap bare(2, 2, 4);
    bare.palette.clear();
    g.Assign(bare);
    EXPECT_EQ(g.PaletteRecord().count, 16);

    Bitmap empty;
    g.Assign(empty);
    EXPECT_TRUE(g.GetEmpty());
    g.AssignTo(back);
    EXPECT_TRUE(back.Empty());
}

TEST(TDibGraphic, AssignToBitmapOfGrayImage) {
    TDibGraphic g;
    g.NewImage(3, 2, ifGray16, nullptr, 0, 0);
    g.SetPaletteIndex(2, 1, 7);
    Bitmap b;
    g.AssignTo(b);
    EXPECT_EQ(b.Depth(), 4);
    EXPECT_EQ(b.palette.size(), 16u);
    EXPECT_EQ(b.PixelColor(2, 1), 0x777777u);
}

TEST(TDibGraphic, AssignSelfKeepsImage) {
    TDibGraphic g;
    g.NewImage(2, 2, ifTrueColor, nullptr, 0, 0);
    g.SetPixel(1, 1, 0x010203);
    g.Assign(g);
    EXPECT_EQ(g.GetPixel(1, 1), 0x010203u);
}

// A codec in miniature: stores the packed bitmap as the file.
class PackedFileGraphic : public TDibGraphic {
  public:
    const char* ClassName() const override { return "PackedFileGraphic"; }
    void SaveToStream(TStream& stream) override {
        const PackedDib d = CreatePackedDib();
        if (failAfter >= 0) {
            stream.WriteBuffer(d.data(), size_t(failAfter));
            throw EZeradudaError("disk full");
        }
        stream.WriteBuffer(d.data(), d.size());
    }
    void ReadImage(TStream& stream, int index) override {
        EXPECT_EQ(index, 1);
        std::vector<uint8_t> d(size_t(stream.Size()));
        stream.ReadBuffer(d.data(), d.size());
        AssignFromPackedDib(d.data(), d.size());
    }
    int failAfter = -1;
};

std::string tempDir() {
    const auto dir =
        std::filesystem::temp_directory_path() /
        ("lumara-model-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

TEST(TDibGraphic, SaveAndLoadFile) {
    const std::string dir = tempDir();
    const std::string path = dir + "/a.dib";
    PackedFileGraphic a;
    a.NewImage(4, 3, ifColor16, nullptr, 0, 0);
    a.SetPaletteIndex(3, 2, 11);
    a.SaveToFile(path);
    PackedFileGraphic b;
    b.LoadFromFile(path);
    EXPECT_EQ(b.GetPaletteIndex(3, 2), 11);
    EXPECT_EQ(std::filesystem::file_size(path), 40 + 64 + 12u);

    // A failed save leaves the old file as it was and no temporary behind.
    a.failAfter = 10;
    EXPECT_THROW(a.SaveToFile(path), EZeradudaError);
    EXPECT_EQ(std::filesystem::file_size(path), 40 + 64 + 12u);
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        (void)e, ++files;
    EXPECT_EQ(files, 1);

    // No folder to write into.
    a.failAfter = -1;
    EXPECT_THROW(a.SaveToFile(dir + "/missing/a.dib"), EStreamError);
    EXPECT_THROW(b.LoadFromFile(dir + "/missing.dib"), EFOpenError);
    EXPECT_THROW(b.LoadFromFile(dir), EFOpenError);
    std::filesystem::remove_all(dir);
}

TEST(TDibGraphic, BaseSaveWritesNothing) {
    const std::string dir = tempDir();
    TDibGraphic g;
    g.NewImage(2, 2, ifTrueColor, nullptr, 0, 0);
    g.SaveToFile(dir + "/x");
    EXPECT_EQ(std::filesystem::file_size(dir + "/x"), 0u);
    g.LoadFromFile(dir + "/x"); // the base reads nothing and keeps its image
    EXPECT_FALSE(g.GetEmpty());
    std::filesystem::remove_all(dir);
}

TEST(TDibGraphic, AppendToStreamNamesTheClass) {
    PackedFileGraphic g;
    TMemoryStream s;
    EXPECT_EQ(messageOf<EZeradudaError>([&] { g.AppendToStream(s); }),
              "The PackedFileGraphic format does not support multiple images");
}

// Painting text needs a GUI application object for fonts; the offscreen
// platform needs no display. It lives for the whole run and is torn down
// properly so that nothing is left allocated.
class GuiEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QGuiApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

  private:
    int argc_ = 1;
    char name_[11] = "model_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QGuiApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const gGui =
    ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

class DrawTest : public ::testing::TestWithParam<TImageFormat> {};

TEST_P(DrawTest, OneToOneAtAnOffset) {
    const TImageFormat format = GetParam();
    TDibGraphic g;
    g.NewImage(7, 5, format, nullptr, 0, 0);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            if (format == ifTrueColor)
                g.SetPixel(x, y, MakeColor(x * 30, y * 50, 255 - x * 20));
            else
                g.SetPaletteIndex(x, y, (x + 2 * y) % (1 << BitsPerPixelOf(format)));
        }
    QImage target(12, 9, QImage::Format_RGB32);
    target.fill(qRgb(1, 2, 3));
    {
        QPainter p(&target);
        g.Draw(p, TRect{3, 2, 10, 7});
    }
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x) {
            const bool inside = x >= 3 && x < 10 && y >= 2 && y < 7;
            const uint32_t expected = inside ? g.GetPixel(x - 3, y - 2) : 0x010203u;
            EXPECT_EQ(target.pixel(x, y) & 0xFFFFFF, expected) << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Formats, DrawTest,
                         ::testing::Values(ifBlackWhite, ifGray16, ifGray256, ifColor16, ifColor256,
                                           ifTrueColor));

TEST(TDibGraphic, DrawStretchesTrueColourByNearestPixel) {
    TDibGraphic g;
    g.NewImage(2, 2, ifTrueColor, nullptr, 0, 0);
    g.SetPixel(0, 0, 0xFF0000);
    g.SetPixel(1, 0, 0x00FF00);
    g.SetPixel(0, 1, 0x0000FF);
    g.SetPixel(1, 1, 0xFFFFFF);
    QImage target(4, 4, QImage::Format_RGB32);
    target.fill(Qt::black);
    {
        QPainter p(&target);
        g.Draw(p, TRect{0, 0, 4, 4});
    }
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(target.pixel(x, y) & 0xFFFFFF, g.GetPixel(x / 2, y / 2)) << x << "," << y;
    TDibGraphic empty;
    QPainter p(&target);
    empty.Draw(p, TRect{0, 0, 4, 4}); // nothing to draw
}

TEST(TDibGraphic, DrawSmoothsStretchedPaletteImages) {
    TDibGraphic g;
    g.NewImage(2, 1, ifBlackWhite, nullptr, 0, 0);
    g.SetPaletteIndex(1, 0, 1);
    QImage target(16, 1, QImage::Format_RGB32);
    {
        QPainter p(&target);
        g.Draw(p, TRect{0, 0, 16, 1});
    }
    EXPECT_EQ(target.pixel(0, 0) & 0xFFFFFF, 0u);
    EXPECT_EQ(target.pixel(15, 0) & 0xFFFFFF, 0xFFFFFFu);
    int between = 0;
    for (int x = 0; x < 16; ++x) {
        const int v = qRed(target.pixel(x, 0));
        between += v > 0 && v < 255;
    }
    EXPECT_GT(between, 0);
}

TEST(TDibGraphic, ClipboardFormats) {
    TDibGraphic g;
    QImage img(2, 2, QImage::Format_RGB32);
    img.fill(qRgb(9, 8, 7));
    EXPECT_EQ(messageOf<EInvalidGraphic>([&] { g.LoadFromClipboardFormat(1, img); }),
              "Unknown clipboard format, 1");
    EXPECT_EQ(messageOf<EInvalidGraphic>(
                  [&] { g.LoadFromClipboardFormat(TDibGraphic::kClipboardBitmap, QImage()); }),
              "Unknown clipboard format, 2");
    g.LoadFromClipboardFormat(TDibGraphic::kClipboardBitmap, img);
    EXPECT_EQ(g.GetPixel(1, 1), 0x090807u);

    unsigned format = 0;
    QImage out;
    g.SaveToClipboardFormat(format, out);
    EXPECT_EQ(format, TDibGraphic::kClipboardBitmap);
    EXPECT_EQ(out.pixel(1, 1) & 0xFFFFFF, 0x090807u);

    TDibGraphic mono;
    mono.NewImage(10, 2, ifBlackWhite, nullptr, 300, 300);
    mono.SetPaletteIndex(9, 0, 1);
    mono.SaveToClipboardFormat(format, out);
    EXPECT_EQ(out.format(), QImage::Format_Mono);
    EXPECT_EQ(out.pixel(9, 0) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(out.pixel(9, 1) & 0xFFFFFF, 0u);
    EXPECT_EQ(out.dotsPerMeterX(), 11811);

    TDibGraphic pal;
    pal.NewImage(3, 1, ifColor16, nullptr, 0, 0);
    pal.SetPaletteIndex(2, 0, 9);
    pal.SaveToClipboardFormat(format, out);
    EXPECT_EQ(out.pixel(2, 0) & 0xFFFFFF, 0xFF5555u);

    TDibGraphic empty;
    EXPECT_EQ(messageOf<EZeradudaError>([&] { empty.SaveToClipboardFormat(format, out); }),
              "CopyBitmap: CreateBitmap failed");
}

TEST(TDibGraphic, AssignFromQImage) {
    QImage img(3, 2, QImage::Format_ARGB32);
    img.fill(qRgba(200, 100, 50, 255));
    img.setPixel(2, 1, qRgba(200, 100, 50, 0)); // transparent: black
    img.setPixel(0, 1, qRgba(10, 20, 30, 255));
    img.setDotsPerMeterX(11811);
    img.setDotsPerMeterY(3780);
    TDibGraphic g;
    g.Assign(img);
    EXPECT_EQ(g.ImageFormat(), ifTrueColor);
    EXPECT_EQ(g.GetWidth(), 3);
    EXPECT_EQ(g.GetPixel(0, 0), 0xC86432u);
    EXPECT_EQ(g.GetPixel(0, 1), 0x0A141Eu);
    EXPECT_EQ(g.GetPixel(2, 1), 0u);
    EXPECT_EQ(g.XDotsPerInch(), 300);
    EXPECT_EQ(g.YDotsPerInch(), 96);

    QImage indexed(2, 1, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(1, 2, 3), qRgb(4, 5, 6)});
    indexed.setPixel(0, 0, 1);
    indexed.setPixel(1, 0, 0);
    g.Assign(indexed);
    EXPECT_EQ(g.GetPixel(0, 0), 0x040506u);
    EXPECT_EQ(g.GetPixel(1, 0), 0x010203u);

    g.Assign(QImage());
    EXPECT_TRUE(g.GetEmpty());
}

TEST(TDibGraphicCanvas, TrueColourDrawsInPlaceTopDown) {
    TDibGraphic g;
    g.NewImage(4, 3, ifTrueColor, nullptr, 0, 0);
    {
        auto canvas = g.OpenCanvas();
        canvas->Painter().fillRect(0, 0, 1, 1, QColor(255, 0, 0));
        canvas->Painter().fillRect(3, 2, 1, 1, QColor(0, 0, 255));
    }
    EXPECT_EQ(g.GetPixel(0, 0), 0xFF0000u);
    EXPECT_EQ(g.GetPixel(3, 2), 0x0000FFu);
    EXPECT_EQ(g.GetPixel(1, 1), 0u);
    // Drawn into the memory itself: the top row is the last in memory.
    EXPECT_EQ(g.Bits()[2 * g.RowBytes() + 2], 0xFF);
}

TEST(TDibGraphicCanvas, TextMatchesAnOrdinaryImage) {
    ASSERT_NE(QGuiApplication::instance(), nullptr);
    const int w = 40, h = 20;
    QImage reference(w, h, QImage::Format_BGR888);
    reference.fill(Qt::black);
    auto draw = [](QPainter& p) {
        p.setPen(QColor(250, 200, 100));
        p.drawText(QRect(0, 0, 40, 20), Qt::AlignLeft | Qt::AlignTop, "Lg");
        p.drawLine(0, 19, 39, 0);
    };
    {
        QPainter p(&reference);
        draw(p);
    }
    TDibGraphic g;
    g.NewImage(w, h, ifTrueColor, nullptr, 0, 0);
    {
        auto canvas = g.OpenCanvas();
        draw(canvas->Painter());
    }
    // The painter flips rows, so glyph edges are rasterised a little
    // differently; the picture must still match the upright drawing far better
    // than its mirror image.
    auto channelDiff = [](uint32_t a, uint32_t b) {
        return std::abs(RedOf(a) - RedOf(b)) + std::abs(GreenOf(a) - GreenOf(b)) +
               std::abs(BlueOf(a) - BlueOf(b));
    };
    long upright = 0, mirrored = 0;
    int lit = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t expected = reference.pixel(x, y) & 0xFFFFFF;
            upright += channelDiff(g.GetPixel(x, y), expected);
            mirrored += channelDiff(g.GetPixel(x, h - 1 - y), expected);
            lit += g.GetPixel(x, y) != 0;
        }
    EXPECT_GT(lit, 20);
    EXPECT_LT(upright * 4, mirrored);
}

TEST(TDibGraphicCanvas, PaletteImageMapsChangedPixelsOnly) {
    TPaletteRecord pal;
    pal.count = 4;
    pal.entries[0] = 0x000000;
    pal.entries[1] = 0x000000; // a duplicate that must keep its pixels
    pal.entries[2] = 0xFF0000;
    pal.entries[3] = 0x00FF00;
    TDibGraphic g;
    g.NewImage(4, 2, ifColor16, &pal, 0, 0);
    g.SetPaletteIndex(3, 1, 1);
    {
        auto canvas = g.OpenCanvas();
        canvas->Painter().fillRect(0, 0, 2, 1, QColor(250, 10, 0));
        canvas->Painter().fillRect(0, 1, 1, 1, QColor(0, 200, 0));
    }
    EXPECT_EQ(g.GetPaletteIndex(0, 0), 2);
    EXPECT_EQ(g.GetPaletteIndex(1, 0), 2);
    EXPECT_EQ(g.GetPaletteIndex(0, 1), 3);
    EXPECT_EQ(g.GetPaletteIndex(2, 0), 0);
    EXPECT_EQ(g.GetPaletteIndex(3, 1), 1);
}

TEST(TDibGraphicCanvas, BlackWhiteAndEmpty) {
    TDibGraphic g;
    g.NewImage(10, 2, ifBlackWhite, nullptr, 0, 0);
    {
        auto canvas = g.OpenCanvas();
        canvas->Painter().fillRect(9, 0, 1, 2, Qt::white);
    }
    EXPECT_EQ(g.GetPixel(9, 0), 0xFFFFFFu);
    EXPECT_EQ(g.GetPixel(9, 1), 0xFFFFFFu);
    EXPECT_EQ(g.GetPixel(8, 0), 0u);
    TDibGraphic empty;
    EXPECT_EQ(messageOf<EZeradudaError>([&] { empty.OpenCanvas(); }),
              "Cannot draw on an empty image");
}

} // namespace
} // namespace lumara
