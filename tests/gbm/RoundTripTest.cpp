#include "GbmTestSupport.h"

#include "codecs/gbm/TBmpGraphic.h"
#include "codecs/gbm/TPcxGraphic.h"
#include "codecs/gbm/TTgaGraphic.h"
#include "codecs/model/Exceptions.h"

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

namespace lumara {
namespace {

struct ProbeCase {
    Codec codec;
    TImageFormat format;
    int bitsPerPixel;
    const char* extension;
};

class HeaderProbes : public ::testing::TestWithParam<ProbeCase> {};

// Every codec reads from the stream's position, probes a saved file and
// refuses a broken one through the layer's error.
TEST_P(HeaderProbes, ProbeAndLoadFromAnOffset) {
    const ProbeCase& c = GetParam();
    auto image = make(c.codec);
    test::FillPattern(*image, 9, 4, c.format);
    TMemoryStream stream;
    stream.WriteU32LE(0xCAFEBABE);
    image->SaveToStream(stream);
    stream.SetPosition(4);
    auto back = make(c.codec);
    back->LoadFromStream(stream);
    EXPECT_TRUE(test::SameColors(*image, *back));

    const std::string path = ::testing::TempDir() + "lumara_gbm_probe" + c.extension;
    std::vector<uint8_t> file(stream.Data().begin() + 4, stream.Data().end());
    WriteWholeFile(path, file.data(), file.size());
    int width = 0, height = 0, bits = 0;
    auto probe = [&](TDibGraphic& g) {
        if (auto* b = dynamic_cast<TBmpGraphic*>(&g)) {
            b->ReadFileHeader(path);
            width = b->HeaderWidth, height = b->HeaderHeight, bits = b->HeaderBitsPerPixel;
        } else if (auto* p = dynamic_cast<TPcxGraphic*>(&g)) {
            p->ReadFileHeader(path);
            width = p->HeaderWidth, height = p->HeaderHeight, bits = p->HeaderBitsPerPixel;
        } else if (auto* t = dynamic_cast<TTgaGraphic*>(&g)) {
            t->ReadFileHeader(path);
            width = t->HeaderWidth, height = t->HeaderHeight, bits = t->HeaderBitsPerPixel;
        }
    };
    probe(*back);
    EXPECT_EQ(width, 9);
    EXPECT_EQ(height, 4);
    EXPECT_EQ(bits, c.bitsPerPixel);

    file.resize(10);
    WriteWholeFile(path, file.data(), file.size());
    try {
        probe(*back);
        ADD_FAILURE() << "a 10-byte file probed";
    } catch (const EGbmError& e) {
        EXPECT_STREQ(e.what(), "gbm_read_header failed.");
    }
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Codecs, HeaderProbes,
                         ::testing::Values(ProbeCase{Codec::Bmp, ifColor16, 4, ".bmp"},
                                           ProbeCase{Codec::Bmp, ifTrueColor, 24, ".bmp"},
                                           ProbeCase{Codec::Pcx, ifBlackWhite, 1, ".pcx"},
                                           ProbeCase{Codec::Pcx, ifTrueColor, 24, ".pcx"},
                                           ProbeCase{Codec::Tga, ifColor256, 8, ".tga"},
                                           ProbeCase{Codec::Tga, ifTrueColor, 24, ".tga"}));

} // namespace
} // namespace lumara
