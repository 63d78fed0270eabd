#include "GbmTestSupport.h"

#include "codecs/gbm/TPcxGraphic.h"
#include "codecs/model/Bitmap.h"
#include "codecs/model/Exceptions.h"

#include <gtest/gtest.h>

namespace lumara {
namespace {

using test::Bytes;
using test::get16;

TEST(PcxWrite, HeaderOfATrueColourImage) {
    TPcxGraphic image;
    test::FillPattern(image, 100, 50, ifTrueColor);
    image.SetXDotsPerInch(96);
    image.SetYDotsPerInch(96);
    TMemoryStream stream;
    image.SaveToStream(stream);
    EXPECT_EQ(stream.Position(), 16);
    const auto& f = stream.Data();
    ASSERT_GT(f.size(), 128u);
    EXPECT_EQ(f[0], 10);
    EXPECT_EQ(f[1], 5);
    EXPECT_EQ(f[2], 1);
    EXPECT_EQ(f[3], 8);
    EXPECT_EQ(get16(f, 4), 0);
    EXPECT_EQ(get16(f, 6), 0);
    EXPECT_EQ(get16(f, 8), 99);
    EXPECT_EQ(get16(f, 10), 49);
    EXPECT_EQ(get16(f, 12), 96);
    EXPECT_EQ(get16(f, 14), 96);
    for (size_t i = 16; i < 65; ++i)
        EXPECT_EQ(f[i], 0) << i;
    EXPECT_EQ(f[65], 3);
    EXPECT_EQ(get16(f, 66), 100);
    EXPECT_EQ(get16(f, 68), 1);
    for (size_t i = 70; i < 128; ++i)
        EXPECT_EQ(f[i], 0) << i;
}

struct LineCase {
    TImageFormat format;
    int width;
    int bitsPerPlane;
    int planes;
    int bytesPerLine;
};

class PcxPlaneLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(PcxPlaneLines, BytesPerLineAreEven) {
    const LineCase& c = GetParam();
    TPcxGraphic image;
    test::FillPattern(image, c.width, 2, c.format);
    const auto f = test::SaveToBytes(image);
    EXPECT_EQ(f[3], c.bitsPerPlane);
    EXPECT_EQ(f[65], c.planes);
    EXPECT_EQ(get16(f, 66), c.bytesPerLine);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, PcxPlaneLines,
    ::testing::Values(LineCase{ifBlackWhite, 3, 1, 1, 2}, LineCase{ifBlackWhite, 16, 1, 1, 2},
                      LineCase{ifBlackWhite, 17, 1, 1, 4}, LineCase{ifColor16, 3, 4, 1, 2},
                      LineCase{ifGray16, 5, 4, 1, 4}, LineCase{ifColor256, 3, 8, 1, 4},
                      LineCase{ifGray256, 4, 8, 1, 4}, LineCase{ifTrueColor, 3, 8, 3, 4},
                      LineCase{ifTrueColor, 1, 8, 3, 2}));

TEST(PcxWrite, EightBitImagesEndWithThePaletteTrailer) {
    TPcxGraphic image;
    test::FillPattern(image, 7, 3, ifColor256);
    const auto f = test::SaveToBytes(image);
    ASSERT_GT(f.size(), 128u + 769u);
    const size_t t = f.size() - 769;
    EXPECT_EQ(f[t], 12);
    for (size_t i = 0; i < 256; ++i) {
        const uint32_t e = image.PaletteRecord().entries[i];
        EXPECT_EQ(f[t + 1 + 3 * i], (e >> 16) & 255);
        EXPECT_EQ(f[t + 2 + 3 * i], (e >> 8) & 255);
        EXPECT_EQ(f[t + 3 + 3 * i], e & 255);
    }
}

TEST(PcxWrite, SixteenColourPaletteInTheHeader) {
    TPcxGraphic image;
    test::FillPattern(image, 4, 1, ifColor16);
    const auto f = test::SaveToBytes(image);
    for (size_t i = 0; i < 16; ++i) {
        const uint32_t e = image.PaletteRecord().entries[i];
        EXPECT_EQ(f[16 + 3 * i], (e >> 16) & 255);
        EXPECT_EQ(f[17 + 3 * i], (e >> 8) & 255);
        EXPECT_EQ(f[18 + 3 * i], e & 255);
    }
}

TEST(PcxWrite, RunLengthCoding) {
    // One 8-bit row of 100 x 7, then 200, then 5, 5: bytes per line 104 with
    // the stored row's padding (zeros) as the last one.
    TPcxGraphic image;
    image.NewImage(103, 1, ifGray256, nullptr, 0, 0);
    uint8_t* row = image.ScanLine(0);
    std::fill(row, row + 100, 7);
    row[100] = 200;
    row[101] = 5;
    row[102] = 5;
    const auto f = test::SaveToBytes(image);
    const std::vector<uint8_t> coded(f.begin() + 128, f.end() - 769);
    EXPECT_EQ(coded, (std::vector<uint8_t>{192 + 63, 7, 192 + 37, 7, 193, 200, 194, 5, 0}));
}

TEST(PcxWrite, MonochromeBitsMeanTheLighterColour) {
    // Palette white, black: entry 1 is darker, so the bytes are inverted.
    TPaletteRecord palette;
    palette.count = 2;
    palette.entries[0] = 0xFFFFFF;
    palette.entries[1] = 0x000000;
    TPcxGraphic image;
    image.NewImage(8, 1, ifBlackWhite, &palette, 0, 0);
    image.ScanLine(0)[0] = 0xF0; // four black, four white
    const auto f = test::SaveToBytes(image);
    const std::vector<uint8_t> coded(f.begin() + 128, f.end());
    EXPECT_EQ(coded, (std::vector<uint8_t>{0x0F, 193, 0xFF}));

    TPcxGraphic back;
    TMemoryStream stream(f);
    back.LoadFromStream(stream);
    EXPECT_TRUE(test::SameColors(image, back));

    // Black, white as usual: written as stored.
    palette.entries[0] = 0x000000;
    palette.entries[1] = 0xFFFFFF;
    image.NewImage(8, 1, ifBlackWhite, &palette, 0, 0);
    image.ScanLine(0)[0] = 0xF0;
    const auto g = test::SaveToBytes(image);
    EXPECT_EQ(std::vector<uint8_t>(g.begin() + 128, g.end()), (std::vector<uint8_t>{193, 0xF0, 0}));
}

// ---- Reading

std::vector<uint8_t> pcxHeader(int version, int bitsPerPlane, int planes, int width, int height,
                               int bytesPerLine, int xDpi = 0, int yDpi = 0) {
    Bytes b;
    b.u8(10).u8(version).u8(1).u8(bitsPerPlane).u16(0).u16(0).u16(width - 1).u16(height - 1);
    b.u16(xDpi).u16(yDpi);
    for (int i = 0; i < 16; ++i) // a 16-colour palette: entry i = (i*16, 0, 255-i*16)
        b.u8(i * 16).u8(0).u8(255 - i * 16);
    b.u8(0).u8(planes).u16(bytesPerLine).u16(1).fill(58, 0);
    return b.data;
}

struct PcxReadCase {
    const char* name;
    std::vector<uint8_t> file;
    TImageFormat format;
    std::vector<uint32_t> colors;
};

class PcxRead : public ::testing::TestWithParam<PcxReadCase> {};

TEST_P(PcxRead, DecodesToTheExpectedColours) {
    const PcxReadCase& c = GetParam();
    TPcxGraphic image;
    TMemoryStream stream(c.file);
    image.LoadFromStream(stream);
    EXPECT_EQ(image.ImageFormat(), c.format);
    ASSERT_EQ(size_t(image.GetWidth() * image.GetHeight()), c.colors.size());
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            EXPECT_EQ(image.GetPixel(x, y), c.colors[size_t(y * image.GetWidth() + x)])
                << "at " << x << "," << y;
}

std::vector<uint8_t> with(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<uint8_t> eightBit() {
    // 3x2; a run that carries on from the first row into the second.
    auto f = with(pcxHeader(5, 8, 1, 3, 2, 4), {1, 2, 3, 194, 4, 0, 0, 0});
    f.push_back(12);
    for (int i = 0; i < 256; ++i) {
        f.push_back(uint8_t(i));
        f.push_back(uint8_t(255 - i));
        f.push_back(7);
    }
    return f;
}

uint32_t rgb(int r, int g, int b) {
    return uint32_t(r << 16 | g << 8 | b);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, PcxRead,
    ::testing::Values(PcxReadCase{"mono_v0",
                                  with(pcxHeader(0, 1, 1, 10, 1, 2), {0xA0, 0x40}),
                                  ifBlackWhite,
                                  {0xFFFFFF, 0, 0xFFFFFF, 0, 0, 0, 0, 0, 0, 0xFFFFFF}},
                      PcxReadCase{"four_planes_v2",
                                  // pixel 0 = 1+2+4+8 = 15, pixel 1 = 2+8 = 10, pixel 2 = 0
                                  with(pcxHeader(2, 1, 4, 3, 1, 2),
                                       {0x80, 0, 0xC1, 0xC0, 0, 0x80, 0, 0xC1, 0xC0, 0}),
                                  ifColor16,
                                  {rgb(240, 0, 15), rgb(160, 0, 95), rgb(0, 0, 255)}},
                      PcxReadCase{"packed_nibbles_v3",
                                  with(pcxHeader(3, 4, 1, 3, 1, 2), {0x12, 0x30}),
                                  ifColor16,
                                  {rgb(16, 0, 239), rgb(32, 0, 223), rgb(48, 0, 207)}},
                      PcxReadCase{"eight_bit_v5",
                                  eightBit(),
                                  ifColor256,
                                  {rgb(1, 254, 7), rgb(2, 253, 7), rgb(3, 252, 7), rgb(4, 251, 7),
                                   rgb(0, 255, 7), rgb(0, 255, 7)}},
                      PcxReadCase{"true_colour_v1",
                                  // 1x2, plane lines of 2 bytes: red, green, blue per row.
                                  with(pcxHeader(1, 8, 3, 1, 2, 2),
                                       {10, 0, 20, 0, 30, 0, 40, 0, 50, 0, 60, 0}),
                                  ifTrueColor,
                                  {rgb(10, 20, 30), rgb(40, 50, 60)}},
                      PcxReadCase{"true_colour_with_alpha_plane",
                                  // 1x2: red, green, blue and alpha plane lines per row.
                                  with(pcxHeader(5, 8, 4, 1, 2, 2),
                                       {10, 0, 20, 0, 30, 0, 99, 0, 40, 0, 50, 0, 60, 0, 7, 0}),
                                  ifTrueColor,
                                  {rgb(10, 20, 30), rgb(40, 50, 60)}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PcxRead, DotsPerInchAsStored) {
    for (int dpi : {0, 72, 300}) {
        TPcxGraphic image;
        TMemoryStream stream(with(pcxHeader(5, 1, 1, 8, 1, 2, dpi, dpi + 1), {0, 0}));
        image.LoadFromStream(stream);
        EXPECT_EQ(image.XDotsPerInch(), dpi);
        EXPECT_EQ(image.YDotsPerInch(), dpi + 1);
    }
}

struct PcxBadCase {
    const char* name;
    std::vector<uint8_t> file;
    const char* message;
};

// A test limit on allocations shows that no header makes us reserve more
// than its data could fill.
class PcxMalformed : public ::testing::TestWithParam<PcxBadCase> {
  protected:
    void SetUp() override { Bitmap::SetAllocationLimitForTesting(64 << 20); }
    void TearDown() override { Bitmap::SetAllocationLimitForTesting(0); }
};

TEST_P(PcxMalformed, RefusedWithTheLayersMessage) {
    TPcxGraphic image;
    test::FillPattern(image, 2, 2, ifTrueColor);
    EXPECT_EQ(test::LoadError<EGbmError>(image, GetParam().file), GetParam().message);
    EXPECT_TRUE(image.GetEmpty());
}

std::vector<uint8_t> patched(std::vector<uint8_t> f, size_t at, uint8_t v) {
    f.at(at) = v;
    return f;
}

const char* const kHeaderFailed = "gbm_read_header failed.";
const char* const kDataFailed = "gbm_read_data failed.";
const std::vector<uint8_t> kMono = with(pcxHeader(5, 1, 1, 8, 2, 2), {0, 0, 0, 0});

INSTANTIATE_TEST_SUITE_P(
    Files, PcxMalformed,
    ::testing::Values(
        PcxBadCase{"empty", {}, kHeaderFailed},
        PcxBadCase{"short_header", std::vector<uint8_t>(kMono.begin(), kMono.begin() + 100),
                   kHeaderFailed},
        PcxBadCase{"manufacturer", patched(kMono, 0, 11), kHeaderFailed},
        PcxBadCase{"version_4", patched(kMono, 1, 4), kHeaderFailed},
        PcxBadCase{"version_6", patched(kMono, 1, 6), kHeaderFailed},
        PcxBadCase{"not_run_length", patched(kMono, 2, 0), kHeaderFailed},
        PcxBadCase{"two_bits", with(pcxHeader(5, 2, 1, 8, 2, 2), {0, 0, 0, 0}), kHeaderFailed},
        PcxBadCase{"three_planes_of_1", with(pcxHeader(5, 1, 3, 8, 2, 2), {0, 0, 0, 0}),
                   kHeaderFailed},
        PcxBadCase{"negative_width", patched(patched(kMono, 4, 9), 8, 3), kHeaderFailed},
        PcxBadCase{"lines_too_short", with(pcxHeader(5, 8, 1, 8, 1, 4), {0, 0, 0, 0}),
                   kHeaderFailed},
        PcxBadCase{"huge_for_its_data", with(pcxHeader(5, 8, 3, 65535, 65535, 65535), {0xFF, 0}),
                   kHeaderFailed},
        PcxBadCase{"trailer_missing",
                   with(pcxHeader(5, 8, 1, 2, 1, 2), std::vector<uint8_t>(800, 1)), kHeaderFailed},
        PcxBadCase{"file_shorter_than_trailer", with(pcxHeader(5, 8, 1, 2, 1, 2), {1, 2}),
                   kHeaderFailed},
        PcxBadCase{"data_truncated", with(pcxHeader(5, 1, 1, 8, 3, 2), {0, 0, 0}), kDataFailed},
        PcxBadCase{"run_truncated", with(pcxHeader(5, 1, 1, 8, 1, 2), {0, 0xC5}), kDataFailed}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace lumara

namespace lumara {
namespace {

TEST(PcxWrite, OddTrueColourPlaneLinesEndWithZero) {
    TPcxGraphic image;
    image.NewImage(1, 1, ifTrueColor, nullptr, 0, 0);
    image.SetPixel(0, 0, 0x050607);
    const auto f = test::SaveToBytes(image);
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 128, f.end()),
              (std::vector<uint8_t>{5, 0, 6, 0, 7, 0}));
}

TEST(PcxWrite, PicturesWiderThanTheHeaderCanSayAreRefused) {
    TPcxGraphic image;
    image.NewImage(65537, 1, ifBlackWhite, nullptr, 0, 0);
    TMemoryStream stream;
    try {
        image.SaveToStream(stream);
        ADD_FAILURE() << "written";
    } catch (const EGbmError& e) {
        EXPECT_STREQ(e.what(), "gbm_write failed.");
    }
}

} // namespace
} // namespace lumara
