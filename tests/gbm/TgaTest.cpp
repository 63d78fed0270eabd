#include "GbmTestSupport.h"

#include "codecs/gbm/TTgaGraphic.h"
#include "codecs/model/Bitmap.h"
#include "codecs/model/Exceptions.h"

#include <gtest/gtest.h>

namespace lumara {
namespace {

using test::Bytes;
using test::get16;

TEST(TgaWrite, OneAndFourBitImagesAreRefused) {
    for (TImageFormat format : {ifBlackWhite, ifGray16, ifColor16}) {
        TTgaGraphic image;
        test::FillPattern(image, 4, 4, format);
        TMemoryStream stream;
        try {
            image.SaveToStream(stream);
            ADD_FAILURE() << "format " << int(format) << " was written";
        } catch (const ETgaError& e) {
            EXPECT_STREQ(e.what(), "TGA image must have 256 colors or true color");
        }
        EXPECT_EQ(stream.Size(), 0);
    }
}

TEST(TgaWrite, TrueColourRowsBottomUpWithoutPadding) {
    TTgaGraphic image;
    test::FillPattern(image, 10, 3, ifTrueColor);
    const auto f = test::SaveToBytes(image);
    ASSERT_EQ(f.size(), 18u + 30u * 3u);
    const std::vector<uint8_t> header(f.begin(), f.begin() + 18);
    EXPECT_EQ(header,
              (std::vector<uint8_t>{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 0, 3, 0, 24, 0}));
    for (int r = 0; r < 3; ++r) // file row r is picture row 2 - r
        EXPECT_TRUE(std::equal(f.begin() + 18 + 30 * r, f.begin() + 18 + 30 * (r + 1),
                               image.ScanLine(2 - r)));
}

TEST(TgaWrite, EightBitImagesCarryA24BitColourMap) {
    for (TImageFormat format : {ifColor256, ifGray256}) {
        TTgaGraphic image;
        test::FillPattern(image, 3, 2, format);
        const auto f = test::SaveToBytes(image);
        ASSERT_EQ(f.size(), 18u + 768u + 3u * 2u);
        EXPECT_EQ(f[1], 1);
        EXPECT_EQ(f[2], 1);
        EXPECT_EQ(get16(f, 3), 0);
        EXPECT_EQ(get16(f, 5), 256);
        EXPECT_EQ(f[7], 24);
        EXPECT_EQ(f[16], 8);
        EXPECT_EQ(f[17], 0);
        for (size_t i = 0; i < 256; ++i) {
            const uint32_t e = image.PaletteRecord().entries[i];
            EXPECT_EQ(f[18 + 3 * i], e & 255);
            EXPECT_EQ(f[19 + 3 * i], (e >> 8) & 255);
            EXPECT_EQ(f[20 + 3 * i], (e >> 16) & 255);
        }
        EXPECT_TRUE(std::equal(f.begin() + 18 + 768, f.begin() + 18 + 768 + 3, image.ScanLine(1)));
    }
}

// ---- Reading

std::vector<uint8_t> tga(int type, int depth, int width, int height, int descriptor,
                         const std::vector<uint8_t>& rest, int mapType = 0, int mapFirst = 0,
                         int mapLength = 0, int mapEntrySize = 0, int idLength = 0) {
    Bytes b;
    b.u8(idLength).u8(mapType).u8(type).u16(mapFirst).u16(mapLength).u8(mapEntrySize);
    b.u16(0).u16(0).u16(width).u16(height).u8(depth).u8(descriptor);
    b.fill(size_t(idLength), 'i');
    b.raw(rest);
    return b.data;
}

struct TgaReadCase {
    const char* name;
    std::vector<uint8_t> file;
    TImageFormat format;
    std::vector<uint32_t> colors; // from the top row
};

class TgaRead : public ::testing::TestWithParam<TgaReadCase> {};

TEST_P(TgaRead, DecodesToTheExpectedColours) {
    const TgaReadCase& c = GetParam();
    TTgaGraphic image;
    TMemoryStream stream(c.file);
    image.LoadFromStream(stream);
    EXPECT_EQ(image.ImageFormat(), c.format);
    ASSERT_EQ(size_t(image.GetWidth() * image.GetHeight()), c.colors.size());
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            EXPECT_EQ(image.GetPixel(x, y), c.colors[size_t(y * image.GetWidth() + x)])
                << "at " << x << "," << y;
}

std::vector<uint8_t> mapped(int type, const std::vector<uint8_t>& pixels) {
    // Map entries 2 and 3 (blue, green, red in the file).
    std::vector<uint8_t> rest = {0x30, 0x20, 0x10, 0x60, 0x50, 0x40};
    rest.insert(rest.end(), pixels.begin(), pixels.end());
    return tga(type, 8, 2, 1, 0, rest, 1, 2, 2, 24);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, TgaRead,
    ::testing::Values(
        TgaReadCase{"raw24_bottom_first",
                    tga(2, 24, 1, 2, 0, {1, 2, 3, 4, 5, 6}),
                    ifTrueColor,
                    {0x060504, 0x030201}},
        TgaReadCase{"raw24_top_first",
                    tga(2, 24, 1, 2, 0x20, {1, 2, 3, 4, 5, 6}),
                    ifTrueColor,
                    {0x030201, 0x060504}},
        TgaReadCase{"identification_skipped",
                    tga(2, 24, 1, 1, 0, {1, 2, 3}, 0, 0, 0, 0, 5),
                    ifTrueColor,
                    {0x030201}},
        TgaReadCase{"raw16",
                    tga(2, 16, 2, 1, 0, {0x00, 0x7C, 0xE0, 0x03}),
                    ifTrueColor,
                    {0xFF0000, 0x00FF00}},
        TgaReadCase{"raw32", tga(2, 32, 1, 1, 0, {1, 2, 3, 0x80}), ifTrueColor, {0x030201}},
        TgaReadCase{"raw_gray", tga(3, 8, 2, 1, 0, {0, 200}), ifColor256, {0, 0xC8C8C8}},
        TgaReadCase{"raw_mapped_from_index_2", mapped(1, {3, 2}), ifColor256, {0x405060, 0x102030}},
        TgaReadCase{"rle_mapped", mapped(9, {0x81, 2}), ifColor256, {0x102030, 0x102030}},
        TgaReadCase{"rle24_packets_span_rows",
                    // 2x2: a run of 3 then one raw pixel.
                    tga(10, 24, 2, 2, 0x20, {0x82, 1, 2, 3, 0x00, 4, 5, 6}),
                    ifTrueColor,
                    {0x030201, 0x030201, 0x030201, 0x060504}},
        TgaReadCase{"rle_gray",
                    tga(11, 8, 3, 1, 0, {0x01, 9, 8, 0x80, 7}),
                    ifColor256,
                    {0x090909, 0x080808, 0x070707}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TgaRead, ScreenResolution) {
    TTgaGraphic image;
    TMemoryStream stream(tga(2, 24, 1, 1, 0, {1, 2, 3}));
    image.LoadFromStream(stream);
    EXPECT_EQ(image.XDotsPerInch(), ScreenDotsPerInchX());
}

struct TgaBadCase {
    const char* name;
    std::vector<uint8_t> file;
    const char* message;
};

// A test limit on allocations shows that no header makes us reserve more
// than its data could fill.
class TgaMalformed : public ::testing::TestWithParam<TgaBadCase> {
  protected:
    void SetUp() override { Bitmap::SetAllocationLimitForTesting(64 << 20); }
    void TearDown() override { Bitmap::SetAllocationLimitForTesting(0); }
};

TEST_P(TgaMalformed, RefusedWithTheLayersMessage) {
    TTgaGraphic image;
    test::FillPattern(image, 2, 2, ifTrueColor);
    EXPECT_EQ(test::LoadError<EGbmError>(image, GetParam().file), GetParam().message);
    EXPECT_TRUE(image.GetEmpty());
}

const char* const kHeaderFailed = "gbm_read_header failed.";
const char* const kDataFailed = "gbm_read_data failed.";

INSTANTIATE_TEST_SUITE_P(
    Files, TgaMalformed,
    ::testing::Values(
        TgaBadCase{"empty", {}, kHeaderFailed},
        TgaBadCase{"short_header", {0, 0, 2, 0, 0}, kHeaderFailed},
        TgaBadCase{"zero_width", tga(2, 24, 0, 1, 0, {1, 2, 3}), kHeaderFailed},
        TgaBadCase{"zero_height", tga(2, 24, 1, 0, 0, {1, 2, 3}), kHeaderFailed},
        TgaBadCase{"type_5", tga(5, 24, 1, 1, 0, {1, 2, 3}), kHeaderFailed},
        TgaBadCase{"type_32", tga(32, 8, 1, 1, 0, {1}), kHeaderFailed},
        TgaBadCase{"mapped_16_bit", tga(1, 16, 1, 1, 0, {1, 0, 0, 0, 0}, 1, 0, 1, 24),
                   kHeaderFailed},
        TgaBadCase{"mapped_16_bit_entries", tga(1, 8, 1, 1, 0, {0, 0, 0}, 1, 0, 1, 16),
                   kHeaderFailed},
        TgaBadCase{"mapped_without_map", tga(1, 8, 1, 1, 0, {0}), kHeaderFailed},
        TgaBadCase{"map_beyond_256",
                   tga(1, 8, 1, 1, 0, std::vector<uint8_t>(3 * 10 + 1, 0), 1, 250, 10, 24),
                   kHeaderFailed},
        TgaBadCase{"true_colour_8_bit", tga(2, 8, 1, 1, 0, {1}), kHeaderFailed},
        TgaBadCase{"true_colour_15_bit", tga(2, 15, 1, 1, 0, {1, 2}), kHeaderFailed},
        TgaBadCase{"gray_16_bit", tga(3, 16, 1, 1, 0, {1, 2}), kHeaderFailed},
        TgaBadCase{"raw_truncated", tga(2, 24, 2, 2, 0, {1, 2, 3, 4, 5, 6}), kHeaderFailed},
        TgaBadCase{"huge_for_its_data", tga(10, 24, 65535, 65535, 0, {0xFF, 1, 2, 3}),
                   kHeaderFailed},
        TgaBadCase{"map_truncated", tga(1, 8, 1, 1, 0, {0, 0}, 1, 0, 1, 24), kHeaderFailed},
        TgaBadCase{"rle_truncated", tga(10, 24, 4, 1, 0, {0x81, 1, 2, 3}), kDataFailed},
        TgaBadCase{"rle_raw_packet_truncated", tga(10, 24, 4, 1, 0, {0x03, 1, 2, 3}), kDataFailed},
        TgaBadCase{"index_below_map", mapped(1, {1, 2}), kDataFailed},
        TgaBadCase{"index_beyond_map", mapped(1, {2, 4}), kDataFailed},
        TgaBadCase{"rle_index_beyond_map", mapped(9, {0x81, 7}), kDataFailed}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace lumara

namespace lumara {
namespace {

TEST(TgaWrite, PicturesWiderThanTheHeaderCanSayAreRefused) {
    TTgaGraphic image;
    image.NewImage(65536, 1, ifColor256, nullptr, 0, 0);
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
