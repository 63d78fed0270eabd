#include "codecs/model/TDibGraphic.h"
#include "codecs/model/Exceptions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

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

} // namespace
} // namespace lumara
