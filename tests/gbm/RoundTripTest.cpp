#include "GbmTestSupport.h"

#include "codecs/gbm/TBmpGraphic.h"
#include "codecs/gbm/TPcxGraphic.h"
#include "codecs/gbm/TTgaGraphic.h"

#include <gtest/gtest.h>

#include <memory>

namespace lumara {
namespace {

enum class Codec { Bmp, Pcx, Tga };

std::unique_ptr<TDibGraphic> make(Codec codec) {
    switch (codec) {
    case Codec::Bmp:
        return std::make_unique<TBmpGraphic>();
    case Codec::Pcx:
        return std::make_unique<TPcxGraphic>();
    default:
        return std::make_unique<TTgaGraphic>();
    }
}

struct RoundTrip {
    Codec codec;
    TImageFormat format;
    TImageFormat readBack; // gray formats come back as palette formats
};

class RoundTrips : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(RoundTrips, PixelIdenticalAtManySizes) {
    const RoundTrip& c = GetParam();
    const int sizes[][2] = {{1, 1},  {2, 3},  {3, 1},  {5, 7},   {8, 2},
                            {17, 4}, {33, 9}, {64, 3}, {101, 13}};
    uint32_t seed = 1;
    for (const auto& size : sizes) {
        SCOPED_TRACE(::testing::Message() << size[0] << "x" << size[1]);
        auto image = make(c.codec);
        test::FillPattern(*image, size[0], size[1], c.format, seed++);
        TMemoryStream stream;
        image->SaveToStream(stream);
        stream.SetPosition(0);
        auto back = make(c.codec);
        back->LoadFromStream(stream);
        EXPECT_EQ(back->ImageFormat(), c.readBack);
        EXPECT_TRUE(test::SameColors(*image, *back));
        if (c.codec != Codec::Tga) {
            EXPECT_EQ(back->XDotsPerInch(), 96);
            EXPECT_EQ(back->YDotsPerInch(), 96);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrips,
                         ::testing::Values(RoundTrip{Codec::Bmp, ifBlackWhite, ifBlackWhite},
                                           RoundTrip{Codec::Bmp, ifGray16, ifColor16},
                                           RoundTrip{Codec::Bmp, ifColor16, ifColor16},
                                           RoundTrip{Codec::Bmp, ifGray256, ifColor256},
                                           RoundTrip{Codec::Bmp, ifColor256, ifColor256},
                                           RoundTrip{Codec::Bmp, ifTrueColor, ifTrueColor},
                                           RoundTrip{Codec::Pcx, ifBlackWhite, ifBlackWhite},
                                           RoundTrip{Codec::Pcx, ifGray16, ifColor16},
                                           RoundTrip{Codec::Pcx, ifColor16, ifColor16},
                                           RoundTrip{Codec::Pcx, ifGray256, ifColor256},
                                           RoundTrip{Codec::Pcx, ifColor256, ifColor256},
                                           RoundTrip{Codec::Pcx, ifTrueColor, ifTrueColor},
                                           RoundTrip{Codec::Tga, ifGray256, ifColor256},
                                           RoundTrip{Codec::Tga, ifColor256, ifColor256},
                                           RoundTrip{Codec::Tga, ifTrueColor, ifTrueColor}));

TEST(RoundTrip, MonochromeWithOtherColours) {
    // A 1-bit BMP keeps any two colours; the "inv" reading may swap the
    // entries but not the picture.
    TPaletteRecord palette;
    palette.count = 2;
    palette.entries[0] = 0xFFEE00;
    palette.entries[1] = 0x0000AA;
    TBmpGraphic image;
    image.NewImage(13, 3, ifBlackWhite, &palette, 72, 72);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 13; ++x)
            image.SetPaletteIndex(x, y, (x * y + x) % 3 == 0);
    TMemoryStream stream;
    image.SaveToStream(stream);
    stream.SetPosition(0);
    TBmpGraphic back;
    back.LoadFromStream(stream);
    EXPECT_EQ(back.PaletteRecord().entries[0], 0x0000AAu);
    EXPECT_TRUE(test::SameColors(image, back));
}

TEST(RoundTrip, SaveToFileAndLoadFromFile) {
    const std::string path = ::testing::TempDir() + "lumara_gbm_roundtrip.pcx";
    TPcxGraphic image;
    test::FillPattern(image, 31, 17, ifTrueColor);
    image.SaveToFile(path);
    TPcxGraphic back;
    back.LoadFromFile(path);
    EXPECT_TRUE(test::SameColors(image, back));
    back.ReadFileHeader(path);
    EXPECT_EQ(back.HeaderWidth, 31);
    EXPECT_EQ(back.HeaderHeight, 17);
    EXPECT_EQ(back.HeaderBitsPerPixel, 24);
    std::remove(path.c_str());
}

} // namespace
} // namespace lumara
