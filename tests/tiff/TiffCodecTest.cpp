// TTiffGraphic: pages read in every layout it handles, single pages written
// with each compression, the combination rule, the probe, bad input.

#include "TiffTestUtil.h"
#include "codecs/model/Exceptions.h"
#include "codecs/model/Palettes.h"
#include "codecs/tiff/TTiffGraphic.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace lumara;
using tifftest::Layout;
using tifftest::makePage;

namespace {

void load(TTiffGraphic& tiff, const std::vector<uint8_t>& data, int page = 1) {
    TMemoryStream s(data.data(), data.size());
    tiff.ReadImage(s, page);
}

std::vector<uint8_t> save(TTiffGraphic& tiff) {
    TMemoryStream s;
    tiff.SaveToStream(s);
    return s.Data();
}

std::string errorOf(const std::vector<uint8_t>& data, int page = 1) {
    TTiffGraphic tiff;
    try {
        load(tiff, data, page);
    } catch (const lumara::Exception& e) {
        return e.what();
    }
    return "";
}

void fillPattern(TDibGraphic& img) {
    const int levels = img.ImageFormat() == ifTrueColor ? 0 : int(img.PaletteRecord().count);
    for (int y = 0; y < img.GetHeight(); ++y)
        for (int x = 0; x < img.GetWidth(); ++x) {
            if (levels)
                img.SetPaletteIndex(x, y, (x * 5 + y * 3 + x / 7) % levels);
            else
                img.SetPixel(x, y, MakeColor(x * 19 + y, y * 23 + x * 5, (x ^ y) * 11));
        }
}

TPaletteRecord customPalette(int count) {
    TPaletteRecord p;
    p.count = uint16_t(count);
    for (int i = 0; i < count; ++i)
        p.entries[size_t(i)] = MakeColor(255 - i, (i * 53) & 255, i == 0 ? 255 : i * 7 % 256);
    return p;
}

std::vector<std::vector<uint8_t>> rowsOf(uint32_t h, size_t bytes, uint8_t seed = 1) {
    std::vector<std::vector<uint8_t>> rows(h, std::vector<uint8_t>(bytes));
    for (uint32_t y = 0; y < h; ++y)
        for (size_t i = 0; i < bytes; ++i)
            rows[y][i] = uint8_t(i * 29 + y * 7 + seed);
    return rows;
}

// Changes the value of one tag in the first directory of a little-endian file.
void patchTag(std::vector<uint8_t>& d, uint16_t tag, uint16_t type, uint32_t value) {
    auto u16 = [&](size_t p) { return uint16_t(d[p] | (d[p + 1] << 8)); };
    auto u32 = [&](size_t p) {
        return uint32_t(d[p] | (d[p + 1] << 8) | (d[p + 2] << 16) | (uint32_t(d[p + 3]) << 24));
    };
    const size_t ifd = u32(4);
    const int n = u16(ifd);
    for (int i = 0; i < n; ++i) {
        const size_t e = ifd + 2 + size_t(i) * 12;
        if (u16(e) != tag) continue;
        d[e + 2] = uint8_t(type);
        d[e + 3] = 0;
        std::memcpy(&d[e + 8], &value, 4);
        return;
    }
    FAIL() << "tag " << tag << " not found";
}

} // namespace

// ---- written and read back

struct WriteCase {
    TImageFormat format;
    int paletteCount; // 0: the format's default palette
    int code;
    uint16_t photometric;
    uint16_t compressionTag;
    uint32_t rowsPerStrip;
};

class TiffRoundTrip : public testing::TestWithParam<WriteCase> {};

TEST_P(TiffRoundTrip, PixelsPaletteAndResolutionSurvive) {
    const WriteCase& c = GetParam();
    TTiffGraphic src;
    const TPaletteRecord pal = customPalette(c.paletteCount);
    src.NewImage(37, 300, c.format, c.paletteCount ? &pal : nullptr, 200, 96);
    fillPattern(src);
    src.SetCompression(c.code);
    const auto data = save(src);

    const auto tags = tifftest::readTags(data);
    EXPECT_EQ(tags.photometric, c.photometric);
    EXPECT_EQ(tags.compression, c.compressionTag);
    EXPECT_EQ(tags.rowsPerStrip, c.rowsPerStrip);
    EXPECT_EQ(tags.software, "Roruzoda Vaziv Ezodeva");
    EXPECT_EQ(tags.dateTime.size(), 19u);
    if (c.code == tcFaxGroup3_2D) EXPECT_EQ(tags.group3Options, 1u);

    TTiffGraphic back;
    load(back, data);
    ASSERT_EQ(back.ImageFormat(), c.format);
    EXPECT_EQ(back.TiffCompression(), c.code == tcZLibAdobe ? tcZLib : c.code);
    EXPECT_EQ(back.XDotsPerInch(), 200);
    EXPECT_EQ(back.YDotsPerInch(), 96);
    for (int y = 0; y < src.GetHeight(); ++y)
        for (int x = 0; x < src.GetWidth(); ++x)
            ASSERT_EQ(back.GetPixel(x, y), src.GetPixel(x, y)) << x << "," << y;
    if (c.format != ifTrueColor) {
        ASSERT_GE(back.PaletteRecord().count, src.PaletteRecord().count);
        for (int i = 0; i < src.PaletteRecord().count; ++i)
            EXPECT_EQ(back.PaletteRecord().entries[size_t(i)],
                      src.PaletteRecord().entries[size_t(i)]);
        for (int y = 0; y < src.GetHeight(); ++y)
            for (int x = 0; x < src.GetWidth(); ++x)
                ASSERT_EQ(back.GetPaletteIndex(x, y), src.GetPaletteIndex(x, y));
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllWritable, TiffRoundTrip,
    testing::Values(
        WriteCase{ifBlackWhite, 0, tcNone, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE, 16},
        WriteCase{ifBlackWhite, 0, tcPackbits, PHOTOMETRIC_MINISBLACK, COMPRESSION_PACKBITS, 16},
        WriteCase{ifBlackWhite, 0, tcFaxGroup3_1D, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX3,
                  256},
        WriteCase{ifBlackWhite, 0, tcFaxGroup3_2D, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX3,
                  256},
        WriteCase{ifBlackWhite, 0, tcFaxGroup4, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4, 256},
        WriteCase{ifBlackWhite, 0, tcZLib, PHOTOMETRIC_MINISBLACK, COMPRESSION_DEFLATE, 16},
        WriteCase{ifBlackWhite, 0, tcZLibAdobe, PHOTOMETRIC_MINISBLACK, COMPRESSION_ADOBE_DEFLATE,
                  16},
        WriteCase{ifGray16, 0, tcNone, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE, 16},
        WriteCase{ifGray16, 0, tcPackbits, PHOTOMETRIC_MINISBLACK, COMPRESSION_PACKBITS, 16},
        WriteCase{ifGray16, 0, tcZLib, PHOTOMETRIC_MINISBLACK, COMPRESSION_DEFLATE, 16},
        WriteCase{ifGray256, 0, tcNone, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE, 16},
        WriteCase{ifGray256, 0, tcZLibAdobe, PHOTOMETRIC_MINISBLACK, COMPRESSION_ADOBE_DEFLATE, 16},
        WriteCase{ifColor16, 0, tcNone, PHOTOMETRIC_PALETTE, COMPRESSION_NONE, 16},
        WriteCase{ifColor16, 9, tcPackbits, PHOTOMETRIC_PALETTE, COMPRESSION_PACKBITS, 16},
        WriteCase{ifColor16, 16, tcZLib, PHOTOMETRIC_PALETTE, COMPRESSION_DEFLATE, 16},
        WriteCase{ifColor256, 0, tcPackbits, PHOTOMETRIC_PALETTE, COMPRESSION_PACKBITS, 16},
        WriteCase{ifColor256, 256, tcZLibAdobe, PHOTOMETRIC_PALETTE, COMPRESSION_ADOBE_DEFLATE, 16},
        WriteCase{ifColor256, 12, tcNone, PHOTOMETRIC_PALETTE, COMPRESSION_NONE, 16},
        WriteCase{ifTrueColor, 0, tcNone, PHOTOMETRIC_RGB, COMPRESSION_NONE, 16},
        WriteCase{ifTrueColor, 0, tcPackbits, PHOTOMETRIC_RGB, COMPRESSION_PACKBITS, 16},
        WriteCase{ifTrueColor, 0, tcZLib, PHOTOMETRIC_RGB, COMPRESSION_DEFLATE, 16},
        WriteCase{ifTrueColor, 0, tcZLibAdobe, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE, 16}));

TEST(TiffCodec, ColourMapIsWrittenWithFullSixteenBitRange) {
    TTiffGraphic src;
    TPaletteRecord pal = customPalette(3);
    pal.entries[0] = MakeColor(255, 0, 128);
    src.NewImage(4, 2, ifColor256, &pal, 0, 0);
    const auto tags = tifftest::readTags(save(src));
    ASSERT_EQ(tags.red.size(), 256u);
    EXPECT_EQ(tags.red[0], 65535);
    EXPECT_EQ(tags.green[0], 0);
    EXPECT_EQ(tags.blue[0], 128 * 257);
    EXPECT_EQ(tags.red[3], 0);
    // A 16-colour palette takes the 4-bit map of 16 entries.
    TTiffGraphic small;
    small.NewImage(4, 2, ifColor16, nullptr, 0, 0);
    EXPECT_EQ(tifftest::readTags(save(small)).red.size(), 16u);
}

// ---- the combination rule

struct ComboCase {
    TImageFormat format;
    int code;
    const char* message; // "" when accepted
};

class TiffCompressionRule : public testing::TestWithParam<ComboCase> {};

TEST_P(TiffCompressionRule, AcceptsOrRefusesKeepingTheOldCode) {
    const ComboCase& c = GetParam();
    TTiffGraphic tiff;
    tiff.NewImage(2, 2, c.format, nullptr, 0, 0);
    const uint8_t before = tiff.TiffCompression();
    if (!*c.message) {
        tiff.SetCompression(c.code);
        EXPECT_EQ(tiff.TiffCompression(), c.code);
        return;
    }
    try {
        tiff.SetCompression(c.code);
        FAIL() << "accepted";
    } catch (const EZeradudaError& e) {
        EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(tiff.TiffCompression(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Combinations, TiffCompressionRule,
    testing::Values(
        ComboCase{ifBlackWhite, tcFaxGroup3_2D, ""}, ComboCase{ifBlackWhite, tcZLibAdobe, ""},
        ComboCase{ifBlackWhite, tcJPEG, "JPEG compression not supported with B/W images"},
        ComboCase{ifColor256, tcFaxGroup4,
                  "Fax Group 4 compression not supported with 8bpp color images"},
        ComboCase{ifGray16, tcFaxGroup3_1D,
                  "Fax Group 3, 1D compression not supported with 4bpp gray images"},
        ComboCase{ifTrueColor, tcJPEG, "JPEG compression not supported with 24bpp color images"},
        ComboCase{ifGray256, tcZLib, ""}, ComboCase{ifColor16, tcPackbits, ""}));

TEST(TiffCodec, DefaultCompressionFollowsTheFormat) {
    TTiffGraphic tiff;
    tiff.NewImage(2, 2, ifBlackWhite, nullptr, 0, 0);
    EXPECT_EQ(tiff.TiffCompression(), tcFaxGroup4);
    for (TImageFormat f : {ifGray16, ifGray256, ifColor16, ifColor256, ifTrueColor}) {
        tiff.NewImage(2, 2, f, nullptr, 0, 0);
        EXPECT_EQ(tiff.TiffCompression(), tcPackbits);
    }
    Bitmap bw(5, 5, 1);
    tiff.Assign(bw);
    EXPECT_EQ(tiff.TiffCompression(), tcFaxGroup4);
    Bitmap rgb(5, 5, 24);
    tiff.Assign(rgb);
    EXPECT_EQ(tiff.TiffCompression(), tcPackbits);
    TTiffGraphic other;
    other.NewImage(3, 3, ifBlackWhite, nullptr, 0, 0);
    tiff.Assign(other);
    EXPECT_EQ(tiff.TiffCompression(), tcFaxGroup4);
}

// ---- reading layouts made by libtiff

struct ReadCase {
    const char* name;
    Layout layout;
    TImageFormat format;
    // expected colour of pixel x of row y for the rows rowsOf() makes
    std::function<uint32_t(const std::vector<std::vector<uint8_t>>&, int x, int y)> expected;
};

class TiffRead : public testing::TestWithParam<ReadCase> {};

TEST_P(TiffRead, FormatAndPixels) {
    const ReadCase& c = GetParam();
    const Layout& l = c.layout;
    const size_t rowBytes =
        (size_t(l.width) * l.bps * (l.planar == PLANARCONFIG_CONTIG ? l.spp : 1) + 7) / 8;
    const auto rows = rowsOf(l.height, rowBytes);
    const auto data = makePage(l, rows);
    TTiffGraphic tiff;
    testing::internal::CaptureStderr();
    load(tiff, data);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(tiff.ImageFormat(), c.format);
    ASSERT_EQ(tiff.GetWidth(), int(l.width));
    for (int y = 0; y < int(l.height); ++y)
        for (int x = 0; x < int(l.width); ++x)
            ASSERT_EQ(tiff.GetPixel(x, y), c.expected(rows, x, y)) << std::hex << x << "," << y;
}

namespace {

Layout layout(uint16_t bps, uint16_t spp, uint16_t photometric,
              uint16_t compression = COMPRESSION_NONE) {
    Layout l;
    l.width = 21;
    l.height = 19;
    l.bps = bps;
    l.spp = spp;
    l.photometric = photometric;
    l.compression = compression;
    return l;
}

Layout tiled(Layout l) {
    l.tile = 16;
    return l;
}

Layout withColormap(Layout l, bool eightBit) {
    const size_t n = size_t(1) << l.bps;
    l.colormap.resize(3 * n);
    for (size_t i = 0; i < n; ++i) {
        const uint16_t v = uint16_t(i * 255 / (n - 1));
        l.colormap[i] = eightBit ? v : uint16_t(v * 257);
        l.colormap[n + i] = eightBit ? uint16_t(255 - v) : uint16_t((255 - v) * 257);
        l.colormap[2 * n + i] =
            eightBit ? uint16_t(i % 3 * 100) : uint16_t(i % 3 * 100 * 257 + 200);
    }
    return l;
}

int bit(const std::vector<uint8_t>& row, int x) {
    return (row[size_t(x) >> 3] >> (7 - (x & 7))) & 1;
}
int nibble(const std::vector<uint8_t>& row, int x) {
    return (row[size_t(x) >> 1] >> (x & 1 ? 0 : 4)) & 15;
}
uint32_t gray(int v) {
    return MakeColor(v, v, v);
}
int to8(uint8_t lo, uint8_t hi) {
    return ((lo | (hi << 8)) * 255 + 32767) / 65535;
}
uint32_t mapColor(int i, int n) {
    return MakeColor(i * 255 / (n - 1), 255 - i * 255 / (n - 1), i % 3 * 100);
}

} // namespace

INSTANTIATE_TEST_SUITE_P(
    Layouts, TiffRead,
    testing::Values(
        ReadCase{"bw_minisblack", layout(1, 1, PHOTOMETRIC_MINISBLACK), ifBlackWhite,
                 [](auto& r, int x, int y) { return bit(r[y], x) ? 0xFFFFFFu : 0u; }},
        ReadCase{"bw_miniswhite", layout(1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_PACKBITS),
                 ifBlackWhite, [](auto& r, int x, int y) { return bit(r[y], x) ? 0u : 0xFFFFFFu; }},
        ReadCase{"gray4", layout(4, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_DEFLATE), ifGray16,
                 [](auto& r, int x, int y) { return gray(nibble(r[y], x) * 17); }},
        ReadCase{"gray4_miniswhite", layout(4, 1, PHOTOMETRIC_MINISWHITE), ifGray16,
                 [](auto& r, int x, int y) { return gray((15 - nibble(r[y], x)) * 17); }},
        ReadCase{"gray8", layout(8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_ADOBE_DEFLATE),
                 ifGray256, [](auto& r, int x, int y) { return gray(r[y][size_t(x)]); }},
        ReadCase{"gray8_miniswhite", layout(8, 1, PHOTOMETRIC_MINISWHITE), ifGray256,
                 [](auto& r, int x, int y) { return gray(255 - r[y][size_t(x)]); }},
        ReadCase{"palette1", withColormap(layout(1, 1, PHOTOMETRIC_PALETTE), false), ifColor16,
                 [](auto& r, int x, int y) { return mapColor(bit(r[y], x), 2); }},
        ReadCase{"palette4_8bit_map", withColormap(layout(4, 1, PHOTOMETRIC_PALETTE), true),
                 ifColor16, [](auto& r, int x, int y) { return mapColor(nibble(r[y], x), 16); }},
        ReadCase{"palette8",
                 withColormap(layout(8, 1, PHOTOMETRIC_PALETTE, COMPRESSION_PACKBITS), false),
                 ifColor256, [](auto& r, int x, int y) { return mapColor(r[y][size_t(x)], 256); }},
        ReadCase{"rgb8", layout(8, 3, PHOTOMETRIC_RGB), ifTrueColor,
                 [](auto& r, int x, int y) {
                     const uint8_t* p = &r[y][size_t(x) * 3];
                     return MakeColor(p[0], p[1], p[2]);
                 }},
        ReadCase{"rgba8_alpha_ignored", layout(8, 4, PHOTOMETRIC_RGB, COMPRESSION_DEFLATE),
                 ifTrueColor,
                 [](auto& r, int x, int y) {
                     const uint8_t* p = &r[y][size_t(x) * 4];
                     return MakeColor(p[0], p[1], p[2]);
                 }},
        ReadCase{"rgb16_through_rgba", layout(16, 3, PHOTOMETRIC_RGB), ifTrueColor,
                 [](auto& r, int x, int y) {
                     // little-endian samples, scaled to 8 bits with rounding
                     const uint8_t* p = &r[y][size_t(x) * 6];
                     return MakeColor(to8(p[0], p[1]), to8(p[2], p[3]), to8(p[4], p[5]));
                 }},
        ReadCase{"gray16_as_true_colour", layout(16, 1, PHOTOMETRIC_MINISBLACK), ifTrueColor,
                 [](auto& r, int x, int y) {
                     // libtiff's RGBA reader keeps the high byte of gray samples
                     return gray(r[y][size_t(x) * 2 + 1]);
                 }},
        ReadCase{"rgb8_tiled", tiled(layout(8, 3, PHOTOMETRIC_RGB, COMPRESSION_DEFLATE)),
                 ifTrueColor,
                 [](auto& r, int x, int y) {
                     const uint8_t* p = &r[y][size_t(x) * 3];
                     return MakeColor(p[0], p[1], p[2]);
                 }},
        ReadCase{"gray8_miniswhite_tiled", tiled(layout(8, 1, PHOTOMETRIC_MINISWHITE)), ifGray256,
                 [](auto& r, int x, int y) { return gray(255 - r[y][size_t(x)]); }},
        ReadCase{"cmyk", layout(8, 4, PHOTOMETRIC_SEPARATED), ifTrueColor,
                 [](auto& r, int x, int y) {
                     const uint8_t* p = &r[y][size_t(x) * 4];
                     const int k = 255 - p[3];
                     return MakeColor((255 - p[0]) * k / 255, (255 - p[1]) * k / 255,
                                      (255 - p[2]) * k / 255);
                 }}),
    [](const testing::TestParamInfo<ReadCase>& i) { return std::string(i.param.name); });

TEST(TiffCodec, TiledBilevelMinIsWhiteIsNotInvertedTwice) {
    Layout l = layout(1, 1, PHOTOMETRIC_MINISWHITE);
    l.width = 16;
    l.tile = 16;
    l.height = 16;
    // Tiles of 1-bit samples hold whole bytes per row: 2 bytes a row.
    std::vector<std::vector<uint8_t>> rows(16, std::vector<uint8_t>(2, 0));
    rows[3][0] = 0x80; // one black pixel at (0, 3)
    const auto data = tifftest::makeTiff([&](TIFF* t) {
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 16);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, 16);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
        std::vector<uint8_t> tile(size_t(TIFFTileSize(t)), 0);
        tile[3 * 2] = 0x80;
        TIFFWriteTile(t, tile.data(), 0, 0, 0, 0);
    });
    TTiffGraphic tiff;
    load(tiff, data);
    EXPECT_EQ(tiff.ImageFormat(), ifBlackWhite);
    EXPECT_EQ(tiff.GetPixel(0, 3), 0u);
    EXPECT_EQ(tiff.GetPixel(1, 3), 0xFFFFFFu);
    EXPECT_EQ(tiff.GetPixel(0, 0), 0xFFFFFFu);
}

TEST(TiffCodec, Group4MinIsWhiteLoadsBlackOnWhiteAndSavesBack) {
    Layout l = layout(1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4);
    l.width = 40;
    l.height = 12;
    l.rowsPerStrip = 12;
    std::vector<std::vector<uint8_t>> rows(12, std::vector<uint8_t>(5, 0));
    for (int y = 0; y < 12; ++y)
        rows[size_t(y)][size_t(y % 5)] = 0xF0; // black runs on white
    const auto data = makePage(l, rows);
    TTiffGraphic tiff;
    load(tiff, data);
    EXPECT_EQ(tiff.TiffCompression(), tcFaxGroup4);
    EXPECT_EQ(tiff.GetPixel(0, 1), 0xFFFFFFu);      // white paper
    EXPECT_EQ(tiff.GetPixel(8, 1), 0u);             // black ink
    EXPECT_EQ(tiff.ScanLine(1)[1], uint8_t(~0xF0)); // stored inverted: 0 black

    const auto tags = tifftest::readTags(save(tiff));
    EXPECT_EQ(tags.photometric, PHOTOMETRIC_MINISWHITE);
    ASSERT_EQ(tags.scanlines.size(), 12u);
    for (int y = 0; y < 12; ++y)
        EXPECT_EQ(tags.scanlines[size_t(y)], rows[size_t(y)]);

    // Saved without compression it is min-is-black with the bits as stored.
    tiff.SetCompression(tcNone);
    const auto plain = tifftest::readTags(save(tiff));
    EXPECT_EQ(plain.photometric, PHOTOMETRIC_MINISBLACK);
    EXPECT_EQ(plain.scanlines[1][1], uint8_t(~0xF0));
}

TEST(TiffCodec, Group3TwoDimensionalIsReadAsSuch) {
    Layout l = layout(1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX3);
    l.group3Options = GROUP3OPT_2DENCODING;
    l.rowsPerStrip = 19;
    const auto data = makePage(l, rowsOf(l.height, 3));
    TTiffGraphic tiff;
    load(tiff, data);
    EXPECT_EQ(tiff.TiffCompression(), tcFaxGroup3_2D);
}

struct ResolutionCase {
    float value;
    uint16_t unit; // 0: none given
    int dpi;       // 0: the screen's
};

class TiffResolution : public testing::TestWithParam<ResolutionCase> {};

TEST_P(TiffResolution, DotsPerInch) {
    const auto& c = GetParam();
    Layout l = layout(8, 1, PHOTOMETRIC_MINISBLACK);
    l.xres = l.yres = c.value;
    l.resUnit = c.unit;
    TTiffGraphic tiff;
    load(tiff, makePage(l, rowsOf(l.height, l.width)));
    EXPECT_EQ(tiff.XDotsPerInch(), c.dpi ? c.dpi : ScreenDotsPerInchX());
    EXPECT_EQ(tiff.YDotsPerInch(), c.dpi ? c.dpi : ScreenDotsPerInchY());
}

INSTANTIATE_TEST_SUITE_P(Units, TiffResolution,
                         testing::Values(ResolutionCase{118.11f, RESUNIT_CENTIMETER, 300},
                                         ResolutionCase{299.6f, RESUNIT_INCH, 300},
                                         ResolutionCase{72, 0, 72}, ResolutionCase{0, 0, 0},
                                         ResolutionCase{1e9f, RESUNIT_INCH, 0}));

TEST(TiffCodec, JpegPagesAreReadCloselyAndKeepAWritableCompression) {
    for (uint16_t photometric : {PHOTOMETRIC_YCBCR, PHOTOMETRIC_RGB}) {
        Layout l = layout(8, 3, photometric, COMPRESSION_JPEG);
        l.width = 32;
        l.height = 32;
        l.rowsPerStrip = 16;
        std::vector<std::vector<uint8_t>> rows(32, std::vector<uint8_t>(96));
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                rows[size_t(y)][size_t(x) * 3] = uint8_t(x * 8);
                rows[size_t(y)][size_t(x) * 3 + 1] = uint8_t(y * 8);
                rows[size_t(y)][size_t(x) * 3 + 2] = 128;
            }
        TTiffGraphic tiff;
        load(tiff, makePage(l, rows));
        EXPECT_EQ(tiff.ImageFormat(), ifTrueColor);
        EXPECT_EQ(tiff.TiffCompression(), tcPackbits);
        int worst = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const uint32_t c = tiff.GetPixel(x, y);
                worst = std::max({worst, std::abs(RedOf(c) - x * 8), std::abs(GreenOf(c) - y * 8),
                                  std::abs(BlueOf(c) - 128)});
            }
        EXPECT_LE(worst, 12) << "photometric " << photometric;
    }
}

// ---- refusals

TEST(TiffCodec, LzwIsRefusedAndTheProbeStillStoresTheHeader) {
    const auto data = makePage(layout(8, 3, PHOTOMETRIC_RGB, COMPRESSION_LZW), rowsOf(19, 63));
    EXPECT_EQ(errorOf(data), "LZW not supported");
    TTiffGraphic tiff;
    try {
        tiff.ReadHeader(data.data(), data.size(), -1);
        FAIL() << "probe accepted LZW";
    } catch (const EZeradudaError& e) {
        EXPECT_STREQ(e.what(), "LZW not supported");
    }
    EXPECT_EQ(tiff.HeaderWidth(), 21);
    EXPECT_EQ(tiff.HeaderHeight(), 19);
    EXPECT_EQ(tiff.HeaderBitsPerPixel(), 24);
    EXPECT_EQ(tiff.FileCompression(), uint32_t(COMPRESSION_LZW));
}

struct ProbeCase {
    Layout layout;
    int bits;
    int code;
};

class TiffProbe : public testing::TestWithParam<ProbeCase> {};

TEST_P(TiffProbe, SizeBitsAndCompression) {
    const auto& c = GetParam();
    const size_t rowBytes = (size_t(c.layout.width) * c.layout.bps * c.layout.spp + 7) / 8;
    const auto data = makePage(c.layout, rowsOf(c.layout.height, rowBytes));
    const std::string path = tifftest::tempPath("probe.tif");
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    }
    TTiffGraphic tiff;
    tiff.ReadFileHeader(path, -1);
    std::filesystem::remove(path);
    EXPECT_EQ(tiff.HeaderWidth(), int(c.layout.width));
    EXPECT_EQ(tiff.HeaderHeight(), int(c.layout.height));
    EXPECT_EQ(tiff.HeaderBitsPerPixel(), c.bits);
    EXPECT_EQ(tiff.FileCompression(), c.layout.compression);
    EXPECT_EQ(tiff.TiffCompression(), c.code);
    EXPECT_TRUE(tiff.GetEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Headers, TiffProbe,
    testing::Values(
        ProbeCase{layout(8, 3, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE), 24, tcZLibAdobe},
        ProbeCase{layout(8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_DEFLATE), 8, tcZLib},
        ProbeCase{layout(1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4), 1, tcFaxGroup4},
        ProbeCase{layout(8, 4, PHOTOMETRIC_RGB, COMPRESSION_PACKBITS), 24, tcPackbits},
        ProbeCase{layout(16, 3, PHOTOMETRIC_RGB), 24, tcNone}));

TEST(TiffCodec, ProbeOfSomethingElseGivesZeroSize) {
    TTiffGraphic tiff;
    const std::vector<uint8_t> junk = {'G', 'I', 'F', '8', '9', 'a', 1, 2, 3, 4};
    tiff.ReadHeader(junk.data(), junk.size(), -1);
    EXPECT_EQ(tiff.HeaderWidth(), 0);
    EXPECT_EQ(tiff.HeaderHeight(), 0);
}

struct RefusalCase {
    const char* name;
    std::function<std::vector<uint8_t>()> make;
    const char* message;
};

class TiffRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(TiffRefusal, Message) {
    const auto data = GetParam().make();
    testing::internal::CaptureStderr();
    EXPECT_EQ(errorOf(data), GetParam().message);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

INSTANTIATE_TEST_SUITE_P(
    BadFiles, TiffRefusal,
    testing::Values(
        RefusalCase{"not_tiff",
                    [] { return std::vector<uint8_t>{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0}; },
                    "ETiffError TIFFOpen"},
        RefusalCase{"empty", [] { return std::vector<uint8_t>{}; }, "ETiffError TIFFOpen"},
        RefusalCase{"rgb2", [] { return makePage(layout(2, 3, PHOTOMETRIC_RGB), rowsOf(19, 16)); },
                    "ETiffError Unsupported bit count: 2"},
        RefusalCase{"gray2",
                    [] { return makePage(layout(2, 1, PHOTOMETRIC_MINISBLACK), rowsOf(19, 6)); },
                    "ETiffError Unsupported bit count: 2"},
        RefusalCase{"gray_alpha",
                    [] { return makePage(layout(8, 2, PHOTOMETRIC_MINISBLACK), rowsOf(19, 42)); },
                    "ETiffError Unsupported bit count: 16"},
        RefusalCase{"unknown_compression",
                    [] {
                        auto d = makePage(layout(8, 1, PHOTOMETRIC_MINISBLACK), rowsOf(19, 21));
                        patchTag(d, TIFFTAG_COMPRESSION, TIFF_SHORT, 34661);
                        return d;
                    },
                    "Unsupported compression tag, 34661"},
        RefusalCase{"huge",
                    [] {
                        auto d = makePage(layout(8, 1, PHOTOMETRIC_MINISBLACK), rowsOf(19, 21));
                        patchTag(d, TIFFTAG_IMAGEWIDTH, TIFF_LONG, 100000);
                        patchTag(d, TIFFTAG_IMAGELENGTH, TIFF_LONG, 100000);
                        return d;
                    },
                    "ETiffError Image too large: 100000 x 100000"},
        RefusalCase{"more_than_the_file_holds",
                    [] {
                        auto d = makePage(layout(8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_DEFLATE),
                                          rowsOf(19, 21));
                        patchTag(d, TIFFTAG_IMAGEWIDTH, TIFF_LONG, 20000);
                        patchTag(d, TIFFTAG_IMAGELENGTH, TIFF_LONG, 20000);
                        patchTag(d, TIFFTAG_ROWSPERSTRIP, TIFF_LONG, 20000);
                        return d;
                    },
                    "ETiffError Not enough image data"}),
    [](const testing::TestParamInfo<RefusalCase>& i) { return std::string(i.param.name); });

TEST(TiffCodec, MissingPageIsRefused) {
    const auto data = makePage(layout(8, 1, PHOTOMETRIC_MINISBLACK), rowsOf(19, 21));
    EXPECT_EQ(errorOf(data, 2), "ETiffError TIFFSetDirectory");
    EXPECT_EQ(errorOf(data, 0), "ETiffError TIFFSetDirectory");
}

TEST(TiffCodec, EveryTruncationIsRefusedOrReadSafely) {
    TTiffGraphic src;
    src.NewImage(30, 40, ifTrueColor, nullptr, 0, 0);
    fillPattern(src);
    src.SetCompression(tcZLib);
    const auto data = save(src);
    // A cut that only loses the tail of the directory's values may still
    // read; then every pixel must be there.
    int refused = 0;
    for (size_t n = 0; n < data.size(); ++n) {
        const std::vector<uint8_t> cut(data.begin(), data.begin() + long(n));
        TTiffGraphic tiff;
        try {
            load(tiff, cut);
        } catch (const lumara::Exception& e) {
            EXPECT_STRNE(e.what(), "");
            ++refused;
            continue;
        }
        ASSERT_EQ(tiff.GetWidth(), 30);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 30; ++x)
                ASSERT_EQ(tiff.GetPixel(x, y), src.GetPixel(x, y)) << n;
    }
    EXPECT_GT(refused, int(data.size()) - 100);
}

TEST(TiffCodec, CorruptStripIsReported) {
    TTiffGraphic src;
    src.NewImage(64, 64, ifGray256, nullptr, 0, 0);
    fillPattern(src);
    src.SetCompression(tcZLib);
    auto data = save(src);
    for (size_t i = 8; i < 300; ++i)
        data[i] ^= 0x5A; // scramble the first strips
    EXPECT_EQ(errorOf(data), "ETiffError TIFFReadEncodedStrip");
}

TEST(TiffCodec, PixelLimitCanBeLowered) {
    const auto data = makePage(layout(8, 1, PHOTOMETRIC_MINISBLACK), rowsOf(19, 21));
    TTiffGraphic::SetMaxImagePixels(21 * 19 - 1);
    EXPECT_EQ(errorOf(data), "ETiffError Image too large: 21 x 19");
    TTiffGraphic::SetMaxImagePixels(0);
    EXPECT_EQ(errorOf(data), "");
}

// ---- pages, streams

TEST(TiffCodec, AppendAddsPagesAndCountCountsThem) {
    TMemoryStream file;
    TTiffGraphic a;
    a.NewImage(5, 4, ifGray256, nullptr, 0, 0);
    fillPattern(a);
    a.AppendToStream(file);
    file.SetPosition(0);
    EXPECT_EQ(a.GetImageCount(file), 1);
    TTiffGraphic b;
    b.NewImage(7, 3, ifTrueColor, nullptr, 0, 0);
    fillPattern(b);
    b.AppendToStream(file);
    TTiffGraphic c;
    c.NewImage(9, 9, ifBlackWhite, nullptr, 0, 0);
    fillPattern(c);
    c.AppendToStream(file);
    file.SetPosition(0);
    EXPECT_EQ(a.GetImageCount(file), 3);

    TTiffGraphic page;
    load(page, file.Data(), 2);
    ASSERT_EQ(page.GetWidth(), 7);
    EXPECT_EQ(page.GetPixel(6, 2), b.GetPixel(6, 2));
    load(page, file.Data(), 3);
    EXPECT_EQ(page.ImageFormat(), ifBlackWhite);
    EXPECT_EQ(page.GetPixel(3, 3), c.GetPixel(3, 3));
}

TEST(TiffCodec, ReadsAndWritesAtTheStreamPosition) {
    TTiffGraphic src;
    src.NewImage(6, 6, ifColor256, nullptr, 0, 0);
    fillPattern(src);
    TMemoryStream s;
    s.WriteBuffer("prefix", 6);
    src.SaveToStream(s);
    s.SetPosition(6);
    TTiffGraphic back;
    back.ReadImage(s, 1);
    EXPECT_EQ(back.GetPixel(5, 4), src.GetPixel(5, 4));
}

namespace {

// Accepts the first limit bytes, then refuses every write.
class ShortStream : public TMemoryStream {
  public:
    explicit ShortStream(size_t limit) : limit_(limit) {}
    size_t Write(const void* buffer, size_t count) override {
        if (Position() + int64_t(count) > int64_t(limit_)) return 0;
        return TMemoryStream::Write(buffer, count);
    }

  private:
    size_t limit_;
};

} // namespace

TEST(TiffCodec, WriteFailuresRaise) {
    TTiffGraphic src;
    src.NewImage(300, 300, ifTrueColor, nullptr, 0, 0);
    fillPattern(src);
    src.SetCompression(tcNone);
    for (size_t limit : {size_t(0), size_t(100), size_t(50000), size_t(270000)}) {
        ShortStream out(limit);
        try {
            src.SaveToStream(out);
            ADD_FAILURE() << "saved into " << limit << " bytes";
        } catch (const ETiffError& e) {
            const std::string m = e.what();
            EXPECT_TRUE(m == "ETiffError TIFFOpen" || m == "ETiffError TIFFWriteScanLine" ||
                        m == "ETiffError TIFFFlush")
                << m;
        }
    }
}

TEST(TiffCodec, ColouredTwoColourPictureKeepsItsColours) {
    TTiffGraphic src;
    TPaletteRecord pal = customPalette(2);
    src.NewImage(12, 5, ifBlackWhite, &pal, 0, 0);
    fillPattern(src);
    src.SetCompression(tcPackbits);
    const auto data = save(src);
    EXPECT_EQ(tifftest::readTags(data).photometric, PHOTOMETRIC_PALETTE);
    TTiffGraphic back;
    load(back, data);
    EXPECT_EQ(back.ImageFormat(), ifColor16);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 12; ++x)
            ASSERT_EQ(back.GetPixel(x, y), src.GetPixel(x, y));
    // As a fax page it can only be black and white.
    src.SetCompression(tcFaxGroup4);
    EXPECT_EQ(tifftest::readTags(save(src)).photometric, PHOTOMETRIC_MINISWHITE);
}

TEST(TiffCodec, SixteenBitColourMapsAreScaledDown) {
    // Maps written as component x 255 (65025 for 255) read as 253.
    Layout l = layout(8, 1, PHOTOMETRIC_PALETTE);
    l.colormap.assign(3 * 256, 0);
    l.colormap[1] = 65025;
    l.colormap[256 + 1] = 255 * 257;
    l.colormap[512 + 1] = 1000;
    std::vector<std::vector<uint8_t>> rows(l.height, std::vector<uint8_t>(l.width, 1));
    TTiffGraphic tiff;
    load(tiff, makePage(l, rows));
    EXPECT_EQ(tiff.GetPixel(0, 0), MakeColor(253, 255, 3));
}

TEST(TiffCodec, SavesAndLoadsThroughFiles) {
    TTiffGraphic src;
    src.NewImage(17, 11, ifTrueColor, nullptr, 0, 0);
    fillPattern(src);
    src.SetCompression(tcZLibAdobe);
    const std::string path = tifftest::tempPath("file.tif");
    src.SaveToFile(path);
    TTiffGraphic back;
    back.LoadFromFile(path);
    std::filesystem::remove(path);
    EXPECT_EQ(back.GetPixel(16, 10), src.GetPixel(16, 10));
    EXPECT_EQ(back.GetPixel(3, 4), src.GetPixel(3, 4));
}
