#include "GbmTestSupport.h"

#include "codecs/gbm/GbmBridge.h"
#include "codecs/model/Exceptions.h"

#include <gtest/gtest.h>

namespace lumara {
namespace {

using test::MakeBmp;

std::string gbmError(const std::function<void()>& action) {
    try {
        action();
    } catch (const EGbmError& e) {
        return e.what();
    }
    return "";
}

struct NameCase {
    const char* writeName; // the handler that writes the file
    const char* readName;  // the name it is read under
};

class GbmNames : public ::testing::TestWithParam<NameCase> {};

// Every extension a handler knows reads a file of that handler.
TEST_P(GbmNames, KnownExtensionsPickTheirHandler) {
    TDibGraphic image;
    test::FillPattern(image, 7, 3, ifColor256);
    TMemoryStream stream;
    GbmWrite(stream, image, GetParam().writeName);
    stream.SetPosition(0);
    TDibGraphic other;
    const GbmHeaderInfo info = GbmReadHeader(stream, other, GetParam().readName, "");
    EXPECT_EQ(info.Width, 7);
    EXPECT_EQ(info.Height, 3);
    EXPECT_EQ(info.BitsPerPixel, 8);
}

INSTANTIATE_TEST_SUITE_P(
    Extensions, GbmNames,
    ::testing::Values(NameCase{"File.bmp", "File.bmp"}, NameCase{"File.bmp", "x.VGA"},
                      NameCase{"File.bmp", "x.bga"}, NameCase{"File.bmp", "x.rle"},
                      NameCase{"File.bmp", "x.Dib"}, NameCase{"File.bmp", "x.rl4"},
                      NameCase{"File.bmp", "x.RL8"}, NameCase{"File.pcx", "File.pcx"},
                      NameCase{"File.pcx", "x.pcc"}, NameCase{"File.tga", "File.tga"},
                      NameCase{"File.tga", "x.VST"}, NameCase{"File.tga", "x.afi"}));

TEST(GbmBridge, UnknownNamesFailBeforeReading) {
    const auto file = MakeBmp(1, 1, 24, 0, {}, {1, 2, 3, 0});
    for (const char* name : {"File.gif", "File", "bmp", "File.bm", "File.bmpx", "a.bmp/file", ""}) {
        SCOPED_TRACE(name);
        TMemoryStream stream(file);
        stream.SetPosition(5);
        TDibGraphic image;
        EXPECT_EQ(gbmError([&] { GbmReadHeader(stream, image, name, ""); }),
                  "gbm_guess_filetype failed.");
        EXPECT_EQ(gbmError([&] { GbmRead(stream, image, name, ""); }),
                  "gbm_guess_filetype failed.");
        EXPECT_EQ(stream.Position(), 5);
        test::FillPattern(image, 2, 2, ifTrueColor);
        TMemoryStream out;
        EXPECT_EQ(gbmError([&] { GbmWrite(out, image, name); }), "gbm_guess_filetype failed.");
        EXPECT_EQ(out.Size(), 0);
    }
}

TEST(GbmBridge, TwoAndSixteenBitFilesAreInvalidImageFormats) {
    // 2 bits: four pixels 0,1,2,3 in one byte; 16 bits: two 5-5-5 pixels.
    const auto twoBit =
        MakeBmp(4, 1, 2, 0, {0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF}, {0x1B, 0, 0, 0});
    const auto sixteenBit = MakeBmp(2, 1, 16, 0, {}, {0x00, 0x7C, 0x1F, 0x00});
    for (const auto* file : {&twoBit, &sixteenBit}) {
        TDibGraphic image;
        TMemoryStream stream(*file);
        const GbmHeaderInfo info = GbmReadHeader(stream, image, "File.bmp", "inv");
        EXPECT_EQ(info.BitsPerPixel, file == &twoBit ? 2 : 16);
        stream.SetPosition(0);
        EXPECT_EQ(gbmError([&] { GbmRead(stream, image, "File.bmp", "inv"); }),
                  "Invalid image format");
        EXPECT_TRUE(image.GetEmpty());
    }
}

TEST(GbmBridge, GrayImagesAreWrittenAsPaletteImages) {
    for (const char* name : {"File.bmp", "File.pcx", "File.tga"}) {
        SCOPED_TRACE(name);
        TDibGraphic gray;
        test::FillPattern(gray, 5, 4, ifGray256);
        TMemoryStream stream;
        GbmWrite(stream, gray, name);
        stream.SetPosition(0);
        TDibGraphic back;
        GbmRead(stream, back, name, "");
        EXPECT_EQ(back.ImageFormat(), ifColor256);
        ASSERT_EQ(back.PaletteRecord().count, 256);
        for (int i = 0; i < 256; ++i)
            EXPECT_EQ(back.PaletteRecord().entries[size_t(i)], uint32_t(i * 0x010101));
        EXPECT_TRUE(test::SameColors(gray, back));
    }
}

TEST(GbmBridge, PaletteFormatsGetAllEntriesOfTheirDepth) {
    // A 4-bit file with 3 colours becomes a 16-entry palette, the rest black.
    const auto file = MakeBmp(2, 1, 4, 0, {0x112233, 0x445566, 0x778899}, {0x21, 0, 0, 0});
    TMemoryStream stream(file);
    TDibGraphic image;
    GbmRead(stream, image, "File.bmp", "");
    EXPECT_EQ(image.ImageFormat(), ifColor16);
    EXPECT_EQ(image.PaletteRecord().count, 16);
    EXPECT_EQ(image.PaletteRecord().entries[2], 0x778899u);
    EXPECT_EQ(image.PaletteRecord().entries[3], 0u);
    EXPECT_EQ(image.GetPixel(0, 0), 0x778899u);
    EXPECT_EQ(image.GetPixel(1, 0), 0x445566u);
}

TEST(GbmBridge, InvOptionPutsTheDarkerColourFirst) {
    // White first: bits 1010 0000 mean black, white, black, white...
    const auto file = MakeBmp(4, 1, 1, 0, {0xFFFFFF, 0x000000}, {0xA0, 0, 0, 0});
    for (const char* options : {"", "inv"}) {
        SCOPED_TRACE(options);
        TMemoryStream stream(file);
        TDibGraphic image;
        GbmRead(stream, image, "File.bmp", options);
        const bool inverted = std::string(options) == "inv";
        EXPECT_EQ(image.PaletteRecord().entries[0], inverted ? 0u : 0xFFFFFFu);
        EXPECT_EQ(image.GetPaletteIndex(0, 0), inverted ? 0 : 1);
        const uint32_t expected[] = {0x000000, 0xFFFFFF, 0x000000, 0xFFFFFF};
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(image.GetPixel(x, 0), expected[x]);
    }
}

TEST(GbmBridge, FailuresCarryTheLayersMessages) {
    TDibGraphic image;
    {
        TMemoryStream stream(std::vector<uint8_t>{'B', 'M', 1, 2});
        EXPECT_EQ(gbmError([&] { GbmReadHeader(stream, image, "File.bmp", ""); }),
                  "gbm_read_header failed.");
    }
    {
        // RLE8 run longer than the row: the header is fine, the data is not.
        const auto file = MakeBmp(2, 1, 8, 1, {0, 0xFFFFFF}, {5, 1, 0, 1});
        TMemoryStream stream(file);
        EXPECT_EQ(gbmError([&] { GbmRead(stream, image, "File.bmp", ""); }),
                  "gbm_read_data failed.");
        EXPECT_TRUE(image.GetEmpty());
    }
    {
        TDibGraphic empty;
        TMemoryStream out;
        EXPECT_EQ(gbmError([&] { GbmWrite(out, empty, "File.pcx"); }), "gbm_write failed.");
        TDibGraphic mono;
        test::FillPattern(mono, 3, 3, ifBlackWhite);
        EXPECT_EQ(gbmError([&] { GbmWrite(out, mono, "File.tga"); }), "gbm_write failed.");
    }
}

TEST(GbmBridge, ReadsFromTheStreamPosition) {
    test::Bytes data;
    data.fill(7, 0xEE).raw(MakeBmp(1, 1, 24, 0, {}, {10, 20, 30, 0}));
    TMemoryStream stream(data.data);
    stream.SetPosition(7);
    TDibGraphic image;
    GbmRead(stream, image, "File.bmp", "");
    EXPECT_EQ(image.GetPixel(0, 0), 0x1E140Au);
}

} // namespace
} // namespace lumara
