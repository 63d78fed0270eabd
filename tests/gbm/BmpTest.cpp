#include "GbmTestSupport.h"

#include "codecs/gbm/GbmBridge.h"
#include "codecs/gbm/TBmpGraphic.h"
#include "codecs/model/Bitmap.h"
#include "codecs/model/Exceptions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace lumara {
namespace {

using test::Bytes;
using test::get16;
using test::get32;
using test::MakeBmp;

struct WriteCase {
    TImageFormat format;
    int width, height;
    uint32_t offset; // of the pixels
    uint32_t fileSize;
};

class BmpWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(BmpWrite, LayoutOfTheFile) {
    const WriteCase& c = GetParam();
    TBmpGraphic image;
    test::FillPattern(image, c.width, c.height, c.format);
    const auto file = test::SaveToBytes(image);
    ASSERT_EQ(file.size(), c.fileSize);
    EXPECT_EQ(get16(file, 0), 0x4D42);
    EXPECT_EQ(get32(file, 2), c.fileSize);
    EXPECT_EQ(get32(file, 6), 0u);
    EXPECT_EQ(get32(file, 10), c.offset);
    EXPECT_EQ(get32(file, 14), 40u);
    EXPECT_EQ(int32_t(get32(file, 18)), c.width);
    EXPECT_EQ(int32_t(get32(file, 22)), c.height);
    EXPECT_EQ(get16(file, 26), 1);
    EXPECT_EQ(get16(file, 28), BitsPerPixelOf(c.format));
    EXPECT_EQ(get32(file, 30), 0u);
    const uint32_t imageSize = uint32_t(image.RowBytes() * c.height);
    EXPECT_EQ(get32(file, 34), imageSize);
    EXPECT_EQ(get32(file, 38), 3780u); // 96 dots per inch
    EXPECT_EQ(get32(file, 42), 3780u);
    const uint32_t colors = (c.offset - 54) / 4;
    EXPECT_EQ(get32(file, 46), colors);
    EXPECT_EQ(get32(file, 50), 0u);
    for (uint32_t i = 0; i < colors; ++i)
        EXPECT_EQ(get32(file, 54 + 4 * i), image.PaletteRecord().entries[i]);
    EXPECT_TRUE(std::equal(file.begin() + c.offset, file.end(), image.Bits()));
}

INSTANTIATE_TEST_SUITE_P(Formats, BmpWrite,
                         ::testing::Values(WriteCase{ifTrueColor, 10, 10, 54, 54 + 32 * 10},
                                           WriteCase{ifTrueColor, 4, 3, 54, 54 + 12 * 3},
                                           WriteCase{ifColor256, 5, 2, 1078, 1078 + 8 * 2},
                                           WriteCase{ifGray256, 4, 1, 1078, 1078 + 4},
                                           WriteCase{ifColor16, 9, 2, 118, 118 + 8 * 2},
                                           WriteCase{ifGray16, 1, 1, 118, 118 + 4},
                                           WriteCase{ifBlackWhite, 3, 2, 62, 62 + 4 * 2},
                                           WriteCase{ifBlackWhite, 33, 1, 62, 62 + 8}));

TEST(BmpWrite, WritesAtTheStreamPosition) {
    TBmpGraphic image;
    test::FillPattern(image, 2, 2, ifTrueColor);
    TMemoryStream stream;
    stream.WriteU32LE(0xDEADBEEF);
    image.SaveToStream(stream);
    EXPECT_EQ(stream.Size(), 4 + 54 + 16);
    EXPECT_EQ(stream.Data()[4], 'B');
}

TEST(BmpWrite, EmptyImageIsRefused) {
    TBmpGraphic image;
    TMemoryStream stream;
    EXPECT_THROW(image.SaveToStream(stream), EInvalidGraphic);
    EXPECT_EQ(stream.Size(), 0);
}

struct DpiCase {
    int32_t pelsPerMeter;
    int dpi;
};

class BmpResolution : public ::testing::TestWithParam<DpiCase> {};

TEST_P(BmpResolution, DotsPerInchFromPixelsPerMetre) {
    for (int bpp : {8, 16}) { // the layer's path and the fallback's
        const auto file =
            MakeBmp(1, 1, bpp, 0, bpp == 8 ? std::vector<uint32_t>{0} : std::vector<uint32_t>{},
                    {0, 0, 0, 0}, GetParam().pelsPerMeter);
        TBmpGraphic image;
        TMemoryStream stream(file);
        image.LoadFromStream(stream);
        EXPECT_EQ(image.XDotsPerInch(), GetParam().dpi);
        EXPECT_EQ(image.YDotsPerInch(), GetParam().dpi);
    }
}

INSTANTIATE_TEST_SUITE_P(Values, BmpResolution,
                         ::testing::Values(DpiCase{2835, 72}, DpiCase{3780, 96},
                                           DpiCase{11811, 300}, DpiCase{0, 0}, DpiCase{-3780, 0}));

TEST(BmpRead, Os2HeaderHasNoResolution) {
    // 12-byte header; the bytes at 38 and 42 are pixels, not a resolution.
    Bytes b;
    b.u8('B').u8('M').u32(26 + 6 + 8).u32(0).u32(26 + 6);
    b.u32(12).u16(2).u16(2).u16(1).u16(1);
    b.u8(0).u8(0).u8(0).u8(255).u8(255).u8(255); // black, white (3-byte entries)
    b.u8(0x40).u8(0x12).u8(0x34).u8(0x56).u8(0x80).u8(0x12).u8(0x34).u8(0x56);
    TBmpGraphic image;
    TMemoryStream stream(b.data);
    image.LoadFromStream(stream);
    EXPECT_EQ(image.ImageFormat(), ifBlackWhite);
    EXPECT_EQ(image.XDotsPerInch(), 0);
    EXPECT_EQ(image.GetPixel(0, 0), 0xFFFFFFu); // top row is the second in the file
    EXPECT_EQ(image.GetPixel(1, 0), 0x000000u);
    EXPECT_EQ(image.GetPixel(1, 1), 0xFFFFFFu);
}

struct ReadCase {
    const char* name;
    std::vector<uint8_t> file;
    TImageFormat format;
    std::vector<uint32_t> colors; // row by row from the top
};

class BmpReadKinds : public ::testing::TestWithParam<ReadCase> {};

TEST_P(BmpReadKinds, DecodesToTheExpectedColours) {
    const ReadCase& c = GetParam();
    TBmpGraphic image;
    TMemoryStream stream(c.file);
    image.LoadFromStream(stream);
    ASSERT_FALSE(image.GetEmpty());
    EXPECT_EQ(image.ImageFormat(), c.format);
    ASSERT_EQ(size_t(image.GetWidth() * image.GetHeight()), c.colors.size());
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            EXPECT_EQ(image.GetPixel(x, y), c.colors[size_t(y * image.GetWidth() + x)])
                << "at " << x << "," << y;
}

std::vector<uint8_t> topDown24() {
    auto f = MakeBmp(1, -2, 24, 0, {}, {1, 2, 3, 0, 4, 5, 6, 0});
    return f;
}

std::vector<uint8_t> v4Header8() {
    // 108-byte header, 2-entry palette, 2x1 pixels.
    Bytes b;
    b.u8('B').u8('M').u32(14 + 108 + 8 + 4).u32(0).u32(14 + 108 + 8);
    b.u32(108).u32(2).u32(1).u16(1).u16(8).u32(0).u32(4).u32(2835).u32(2835).u32(2).u32(0);
    b.fill(108 - 40, 0);
    b.u32(0x102030).u32(0x405060);
    b.u8(1).u8(0).u8(0).u8(0);
    return b.data;
}

std::vector<uint8_t> rle8() {
    // 4x3: bottom row run of 4 x index 1; middle row absolute 0,1,2 then
    // one pixel skipped by end of line; top row delta 2 then run of 2 x 2.
    return MakeBmp(4, 3, 8, 1, {0x000000, 0xFF0000, 0x00FF00},
                   {4, 1, 0, 0, 0, 3, 0, 1, 2, 0, 0, 0, 0, 2, 2, 0, 2, 2, 0, 1});
}

std::vector<uint8_t> rle4() {
    // 5x1: a run of 2 (indices 1, 2), then 3 absolute pixels 1, 0, 3.
    return MakeBmp(5, 1, 4, 2, {0x000000, 0x0000FF, 0x00FF00, 0xFF0000},
                   {2, 0x12, 0, 3, 0x10, 0x30, 0, 1});
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, BmpReadKinds,
    ::testing::Values(
        ReadCase{"bottom_up_24",
                 MakeBmp(1, 2, 24, 0, {}, {1, 2, 3, 0, 4, 5, 6, 0}),
                 ifTrueColor,
                 {0x060504, 0x030201}},
        ReadCase{"top_down_24", topDown24(), ifTrueColor, {0x030201, 0x060504}},
        ReadCase{"rgb555",
                 MakeBmp(2, 1, 16, 0, {}, {0x00, 0x7C, 0x1F, 0x00}),
                 ifTrueColor,
                 {0xFF0000, 0x0000FF}},
        ReadCase{"rgb565_bitfields",
                 MakeBmp(2, 1, 16, 3, {}, {0xE0, 0x07, 0x1F, 0xF8}, 2835, {0xF800, 0x07E0, 0x001F}),
                 ifTrueColor,
                 {0x00FF00, 0xFF00FF}},
        ReadCase{
            "rgb32", MakeBmp(1, 1, 32, 0, {}, {0x10, 0x20, 0x30, 0x99}), ifTrueColor, {0x302010}},
        ReadCase{"rgb32_swapped_masks",
                 MakeBmp(1, 1, 32, 3, {}, {0x10, 0x20, 0x30, 0x40}, 2835,
                         {0x000000FF, 0x0000FF00, 0xFF000000}),
                 ifTrueColor,
                 {0x102040}},
        ReadCase{"two_bit",
                 MakeBmp(4, 1, 2, 0, {0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF}, {0x1B, 0, 0, 0}),
                 ifColor16,
                 {0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF}},
        ReadCase{"v4_header", v4Header8(), ifColor256, {0x405060, 0x102030}},
        ReadCase{"rle8",
                 rle8(),
                 ifColor256,
                 {0x000000, 0x000000, 0x00FF00, 0x00FF00, 0x000000, 0xFF0000, 0x00FF00, 0x000000,
                  0xFF0000, 0xFF0000, 0xFF0000, 0xFF0000}},
        ReadCase{"rle4", rle4(), ifColor16, {0x0000FF, 0x00FF00, 0x0000FF, 0x000000, 0xFF0000}},
        ReadCase{"palette_smaller_than_depth",
                 MakeBmp(2, 1, 8, 0, {0xABCDEF}, {0, 0, 0, 0}),
                 ifColor256,
                 {0xABCDEF, 0xABCDEF}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BmpRead, SixteenBitProbeReportsSixteen) {
    const auto file = MakeBmp(3, 2, 16, 0, {}, std::vector<uint8_t>(16, 0));
    const auto path = std::filesystem::temp_directory_path() / "lumara_gbm_probe16.bmp";
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    }
    TBmpGraphic image;
    image.ReadFileHeader(path.string());
    EXPECT_EQ(image.HeaderWidth, 3);
    EXPECT_EQ(image.HeaderHeight, 2);
    EXPECT_EQ(image.HeaderBitsPerPixel, 16);
    EXPECT_TRUE(image.GetEmpty());
    {
        std::ofstream out(path, std::ios::binary);
        out << "BMnot really";
    }
    try {
        image.ReadFileHeader(path.string());
        ADD_FAILURE() << "probe of a broken file succeeded";
    } catch (const EGbmError& e) {
        EXPECT_STREQ(e.what(), "gbm_read_header failed.");
    }
    std::filesystem::remove(path);
}

TEST(BmpRead, StreamNotAtItsStart) {
    auto file = MakeBmp(1, 1, 8, 0, {0x123456}, {0, 0, 0, 0}, 3780);
    std::vector<uint8_t> data{1, 2, 3};
    data.insert(data.end(), file.begin(), file.end());
    TMemoryStream stream(data);
    stream.SetPosition(3);
    TBmpGraphic image;
    image.LoadFromStream(stream);
    EXPECT_EQ(image.GetPixel(0, 0), 0x123456u);
    EXPECT_EQ(image.XDotsPerInch(), 96);
}

// ---- Malformed files: refused with a message, the image empty, no large allocation.

struct BadCase {
    const char* name;
    std::vector<uint8_t> file;
    const char* reason; // after "Bitmap image is not valid: "
};

class BmpMalformed : public ::testing::TestWithParam<BadCase> {
  protected:
    void SetUp() override { Bitmap::SetAllocationLimitForTesting(64 << 20); }
    void TearDown() override { Bitmap::SetAllocationLimitForTesting(0); }
};

TEST_P(BmpMalformed, RefusedWithAMessage) {
    TBmpGraphic image;
    test::FillPattern(image, 2, 2, ifTrueColor); // must not survive a failed load
    EXPECT_EQ(test::LoadError<EInvalidGraphic>(image, GetParam().file),
              std::string("Bitmap image is not valid: ") + GetParam().reason);
    EXPECT_TRUE(image.GetEmpty());
}

std::vector<uint8_t> withField(std::vector<uint8_t> file, size_t at, uint32_t value, int size = 4) {
    for (int i = 0; i < size; ++i)
        file.at(at + size_t(i)) = uint8_t(value >> (8 * i));
    return file;
}

std::vector<uint8_t> truncated(std::vector<uint8_t> file, size_t keep) {
    file.resize(keep);
    return file;
}

const std::vector<uint32_t> kGray4 = {0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF};
const std::vector<uint8_t> kPixels8 = {0, 1, 2, 3, 3, 2, 1, 0};

INSTANTIATE_TEST_SUITE_P(
    Files, BmpMalformed,
    ::testing::Values(
        BadCase{"empty", {}, "unexpected end of data"},
        BadCase{"not_a_bitmap",
                {'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 0, 0, 0},
                "not a bitmap file"},
        BadCase{"twenty_bytes", truncated(MakeBmp(4, 2, 8, 0, kGray4, kPixels8), 20),
                "unexpected end of data"},
        BadCase{"header_size_66", withField(MakeBmp(4, 2, 8, 0, kGray4, kPixels8), 14, 66),
                "unknown info header size"},
        BadCase{"negative_width", MakeBmp(-4, 2, 8, 0, kGray4, kPixels8), "bad width"},
        BadCase{"zero_height", MakeBmp(4, 0, 8, 0, kGray4, kPixels8), "bad height"},
        BadCase{"two_planes", withField(MakeBmp(4, 2, 8, 0, kGray4, kPixels8), 26, 2, 2),
                "planes must be 1"},
        BadCase{"bit_count_3", MakeBmp(4, 2, 3, 0, kGray4, kPixels8), "unsupported bit count"},
        BadCase{"pixels_truncated", truncated(MakeBmp(4, 2, 8, 0, kGray4, kPixels8), 70 + 5),
                "pixel data truncated"},
        BadCase{"huge_size_tiny_file", MakeBmp(1000000, 1000000, 24, 0, {}, {1, 2, 3, 4}),
                "pixel data truncated"},
        BadCase{"huge_width", MakeBmp(0x7FFFFFFF, 1, 32, 0, {}, {1, 2, 3, 4}), "picture too wide"},
        BadCase{"huge_rle", MakeBmp(60000, 60000, 8, 1, kGray4, {0, 1}),
                "picture too large for its run-length data"},
        BadCase{"rle_run_past_row", MakeBmp(4, 2, 8, 1, kGray4, {5, 1, 0, 1}),
                "run past the end of a row"},
        BadCase{"rle_absolute_past_row",
                MakeBmp(4, 2, 8, 1, kGray4, {2, 1, 0, 3, 1, 2, 3, 0, 0, 1}),
                "run past the end of a row"},
        BadCase{"rle_past_image", MakeBmp(4, 1, 8, 1, kGray4, {4, 1, 0, 0, 4, 1, 0, 1}),
                "run-length data past the end of the picture"},
        BadCase{"rle_delta_outside", MakeBmp(4, 2, 8, 1, kGray4, {0, 2, 9, 0, 0, 1}),
                "delta moves outside the picture"},
        BadCase{"rle_truncated", MakeBmp(4, 2, 8, 1, kGray4, {4, 1}), "run-length data truncated"},
        BadCase{"rle_truncated_absolute", MakeBmp(4, 2, 8, 1, kGray4, {0, 4, 1, 2}),
                "run-length data truncated"},
        BadCase{"rle_index_beyond_palette", MakeBmp(4, 1, 8, 1, kGray4, {4, 9, 0, 1}),
                "pixel index beyond the colour table"},
        BadCase{"rle4_index_beyond_palette", MakeBmp(4, 1, 4, 2, kGray4, {4, 0x15, 0, 1}),
                "pixel index beyond the colour table"},
        BadCase{"index_beyond_palette", MakeBmp(4, 2, 8, 0, kGray4, {0, 1, 2, 200, 0, 0, 0, 0}),
                "pixel index beyond the colour table"},
        BadCase{"rle_top_down", MakeBmp(4, -2, 8, 1, kGray4, {4, 1, 0, 1}),
                "run-length data cannot be top-down"},
        BadCase{"rle8_at_4_bits", MakeBmp(4, 2, 4, 1, kGray4, {4, 1, 0, 1}),
                "run-length coding does not fit the bit count"},
        BadCase{"bitfields_at_24_bits", MakeBmp(1, 1, 24, 3, {}, {1, 2, 3, 0}, 2835, {1, 2, 3}),
                "bit fields need 16 or 32 bits"},
        BadCase{"jpeg_compression", MakeBmp(1, 1, 24, 4, {}, {1, 2, 3, 0}),
                "unsupported compression"},
        BadCase{"offset_beyond_file", withField(MakeBmp(4, 2, 8, 0, kGray4, kPixels8), 10, 5000),
                "bad offset of the pixel data"},
        BadCase{"palette_beyond_file",
                withField(
                    truncated(MakeBmp(1, 1, 8, 0, std::vector<uint32_t>(256, 0), {0, 0, 0, 0}), 60),
                    10, 0),
                "unexpected end of data"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace lumara
