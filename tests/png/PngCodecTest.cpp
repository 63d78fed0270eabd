// TPngGraphic: formats read and written, transparency, gamma, resolution,
// bad input.

#include "PngTestUtil.h"
#include "codecs/model/Exceptions.h"
#include "codecs/model/Palettes.h"
#include "codecs/png/TPngGraphic.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using namespace lumara;
using pngtest::EncodePng;
using pngtest::PngSpec;
using pngtest::ReadFacts;

namespace {

void load(TPngGraphic& png, const std::vector<uint8_t>& data) {
    TMemoryStream s(data.data(), data.size());
    png.LoadFromStream(s);
}

std::vector<uint8_t> save(TPngGraphic& png) {
    TMemoryStream s;
    png.SaveToStream(s);
    return s.Data();
}

std::string errorOf(const std::vector<uint8_t>& data) {
    TPngGraphic png;
    try {
        load(png, data);
    } catch (const EPNGError& e) {
        return e.what();
    }
    return "";
}

// A picture with every pixel different from its neighbours, in any format.
void fillPattern(TDibGraphic& img) {
    const int levels = img.ImageFormat() == ifTrueColor ? 0 : int(img.PaletteRecord().count);
    for (int y = 0; y < img.GetHeight(); ++y)
        for (int x = 0; x < img.GetWidth(); ++x) {
            if (levels)
                img.SetPaletteIndex(x, y, (x * 7 + y * 3) % levels);
            else
                img.SetPixel(x, y, MakeColor(x * 19 + y, y * 23 + x * 5, (x ^ y) * 11));
        }
}

TPaletteRecord customPalette(int count) {
    TPaletteRecord p;
    p.count = uint16_t(count);
    for (int i = 0; i < count; ++i)
        p.entries[size_t(i)] = MakeColor(i * 37 + 3, 255 - i * 11, (i * 91) & 255);
    return p;
}

std::vector<uint8_t> chunk(const char* type, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out;
    const uint32_t n = uint32_t(body.size());
    out.insert(out.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
    std::vector<uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), body.begin(), body.end());
    out.insert(out.end(), typed.begin(), typed.end());
    const uint32_t crc = uint32_t(crc32(0, typed.data(), uInt(typed.size())));
    out.insert(out.end(),
               {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)});
    return out;
}

// A hand-made PNG: signature, IHDR of the given size, a little IDAT, IEND.
std::vector<uint8_t> claimedSize(uint32_t w, uint32_t h, int depth, int colorType) {
    std::vector<uint8_t> out = {137, 80, 78, 71, 13, 10, 26, 10};
    std::vector<uint8_t> ihdr = {uint8_t(w >> 24),
                                 uint8_t(w >> 16),
                                 uint8_t(w >> 8),
                                 uint8_t(w),
                                 uint8_t(h >> 24),
                                 uint8_t(h >> 16),
                                 uint8_t(h >> 8),
                                 uint8_t(h),
                                 uint8_t(depth),
                                 uint8_t(colorType),
                                 0,
                                 0,
                                 0};
    auto c = chunk("IHDR", ihdr);
    out.insert(out.end(), c.begin(), c.end());
    const std::vector<uint8_t> raw(64, 0);
    std::vector<uint8_t> z(128);
    uLongf zn = uLongf(z.size());
    compress(z.data(), &zn, raw.data(), uLong(raw.size()));
    z.resize(zn);
    c = chunk("IDAT", z);
    out.insert(out.end(), c.begin(), c.end());
    c = chunk("IEND", {});
    out.insert(out.end(), c.begin(), c.end());
    return out;
}

PngSpec rgbaSpec() {
    // Two pixels: opaque red, fully transparent green; then half-transparent blue.
    PngSpec s;
    s.width = 3;
    s.height = 1;
    s.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    s.rows = {{255, 0, 0, 255, 0, 255, 0, 0, 0, 0, 255, 128}};
    return s;
}

} // namespace

// ---- every format written and read back

struct RoundTripCase {
    TImageFormat format;
    int paletteCount; // 0: the format's default palette
    int pngDepth;
    int pngColorType;
};

class PngRoundTrip : public testing::TestWithParam<std::tuple<RoundTripCase, bool, int>> {};

TEST_P(PngRoundTrip, PixelsPaletteAndResolutionSurvive) {
    const auto [c, interlaced, level] = GetParam();
    TPngGraphic src;
    const TPaletteRecord pal = customPalette(c.paletteCount);
    src.NewImage(23, 9, c.format, c.paletteCount ? &pal : nullptr, 150, 300);
    fillPattern(src);
    src.Interlaced = interlaced;
    src.CompressionLevel = uint8_t(level);
    const auto data = save(src);

    const auto facts = ReadFacts(data);
    EXPECT_EQ(facts.bitDepth, c.pngDepth);
    EXPECT_EQ(facts.colorType, c.pngColorType);
    EXPECT_EQ(facts.interlace, interlaced ? 1 : 0);
    if (c.pngColorType == PNG_COLOR_TYPE_PALETTE)
        EXPECT_EQ(facts.paletteCount, src.PaletteRecord().count);

    TPngGraphic back;
    load(back, data);
    ASSERT_EQ(back.ImageFormat(), c.format);
    EXPECT_EQ(back.XDotsPerInch(), 150);
    EXPECT_EQ(back.YDotsPerInch(), 300);
    for (int y = 0; y < src.GetHeight(); ++y)
        for (int x = 0; x < src.GetWidth(); ++x)
            ASSERT_EQ(back.GetPixel(x, y), src.GetPixel(x, y)) << x << "," << y;
    if (c.format != ifTrueColor) {
        EXPECT_EQ(back.PaletteRecord().count, src.PaletteRecord().count);
        for (int y = 0; y < src.GetHeight(); ++y)
            for (int x = 0; x < src.GetWidth(); ++x)
                ASSERT_EQ(back.GetPaletteIndex(x, y), src.GetPaletteIndex(x, y));
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllFormats, PngRoundTrip,
    testing::Combine(testing::Values(RoundTripCase{ifBlackWhite, 0, 1, PNG_COLOR_TYPE_GRAY},
                                     RoundTripCase{ifGray16, 0, 4, PNG_COLOR_TYPE_GRAY},
                                     RoundTripCase{ifGray256, 0, 8, PNG_COLOR_TYPE_GRAY},
                                     RoundTripCase{ifColor16, 0, 4, PNG_COLOR_TYPE_PALETTE},
                                     RoundTripCase{ifColor16, 5, 4, PNG_COLOR_TYPE_PALETTE},
                                     RoundTripCase{ifColor256, 0, 8, PNG_COLOR_TYPE_PALETTE},
                                     RoundTripCase{ifColor256, 200, 8, PNG_COLOR_TYPE_PALETTE},
                                     RoundTripCase{ifBlackWhite, 2, 1, PNG_COLOR_TYPE_PALETTE},
                                     RoundTripCase{ifTrueColor, 0, 8, PNG_COLOR_TYPE_RGB}),
                     testing::Bool(), testing::Values(0, 1, 2, 7)));

// ---- reading the colour types and depths

struct ReadCase {
    const char* name;
    PngSpec spec;
    TImageFormat format;
    std::vector<uint32_t> colors; // expected colour of each pixel of row 0
};

class PngRead : public testing::TestWithParam<ReadCase> {};

TEST_P(PngRead, FormatAndColours) {
    const ReadCase& c = GetParam();
    TPngGraphic png;
    png.BackgroundColor = 0x00204080; // r 0x80, g 0x40, b 0x20
    load(png, EncodePng(c.spec));
    EXPECT_EQ(png.ImageFormat(), c.format);
    ASSERT_EQ(png.GetWidth(), int(c.colors.size()));
    for (size_t x = 0; x < c.colors.size(); ++x)
        EXPECT_EQ(png.GetPixel(int(x), 0), c.colors[x])
            << "pixel " << x << std::hex << " got " << png.GetPixel(int(x), 0);
}

namespace {

PngSpec spec(uint32_t w, int depth, int ct, std::vector<uint8_t> row,
             std::vector<uint8_t> plte = {}) {
    PngSpec s;
    s.width = w;
    s.height = 1;
    s.bitDepth = depth;
    s.colorType = ct;
    s.rows = {std::move(row)};
    s.plte = std::move(plte);
    return s;
}

PngSpec withTrnsGray(PngSpec s, uint16_t g) {
    s.trnsGray = g;
    return s;
}

PngSpec withTrnsAlpha(PngSpec s, std::vector<uint8_t> a) {
    s.trnsAlpha = std::move(a);
    return s;
}

PngSpec withBkgdRgb(PngSpec s, uint16_t r, uint16_t g, uint16_t b) {
    s.bkgdRgb = std::vector<uint16_t>{r, g, b};
    return s;
}

const uint32_t kBg = MakeColor(0x80, 0x40, 0x20);
const uint32_t kBgGray = MakeColor(79, 79, 79); // luminance of kBg

} // namespace

INSTANTIATE_TEST_SUITE_P(
    ColourTypes, PngRead,
    testing::Values(
        ReadCase{"gray1", spec(4, 1, 0, {0b10100000}), ifBlackWhite, {0xFFFFFF, 0, 0xFFFFFF, 0}},
        ReadCase{"gray2", spec(4, 2, 0, {0b00011011}), ifGray16, {0, 0x555555, 0xAAAAAA, 0xFFFFFF}},
        ReadCase{"gray4", spec(3, 4, 0, {0x0F, 0x70}), ifGray16, {0, 0xFFFFFF, 0x777777}},
        ReadCase{"gray8", spec(3, 8, 0, {0, 128, 255}), ifGray256, {0, 0x808080, 0xFFFFFF}},
        ReadCase{
            "gray16", spec(2, 16, 0, {0x12, 0x34, 0xFF, 0xFF}), ifGray256, {0x121212, 0xFFFFFF}},
        ReadCase{"palette1",
                 spec(2, 1, 3, {0b01000000}, {255, 0, 0, 0, 0, 255}),
                 ifBlackWhite,
                 {0xFF0000, 0x0000FF}},
        ReadCase{"palette2",
                 spec(3, 2, 3, {0b10010000}, {1, 2, 3, 4, 5, 6, 7, 8, 9}),
                 ifColor16,
                 {0x070809, 0x040506, 0x010203}},
        ReadCase{"palette4",
                 spec(2, 4, 3, {0x10}, {10, 20, 30, 40, 50, 60}),
                 ifColor16,
                 {0x28323C, 0x0A141E}},
        ReadCase{"palette8",
                 spec(2, 8, 3, {1, 0}, {10, 20, 30, 40, 50, 60}),
                 ifColor256,
                 {0x28323C, 0x0A141E}},
        ReadCase{
            "rgb8", spec(2, 8, 2, {1, 2, 3, 250, 251, 252}), ifTrueColor, {0x010203, 0xFAFBFC}},
        ReadCase{
            "rgb16", spec(1, 16, 2, {0xAB, 0xFF, 0x01, 0x00, 0x80, 0x80}), ifTrueColor, {0xAB0180}},
        ReadCase{"rgba without bKGD over BackgroundColor",
                 rgbaSpec(),
                 ifTrueColor,
                 {0xFF0000, kBg, MakeColor(0x40, 0x20, 0x90)}},
        ReadCase{"rgba with bKGD over the file's",
                 withBkgdRgb(rgbaSpec(), 0, 0, 255),
                 ifTrueColor,
                 {0xFF0000, 0x0000FF, 0x0000FF}},
        ReadCase{"rgba16 over BackgroundColor",
                 spec(2, 16, 6, {0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 0, 0, 0, 0, 255, 255}),
                 ifTrueColor,
                 {kBg, 0xFF0000}},
        ReadCase{"gray alpha16 over the background's gray",
                 spec(1, 16, 4, {0, 0, 0, 0}),
                 ifGray256,
                 {kBgGray}},
        ReadCase{"gray16 tRNS",
                 withTrnsGray(spec(2, 16, 0, {1, 0, 2, 0}), 0x0200),
                 ifGray256,
                 {0x010101, kBgGray}},
        ReadCase{"gray alpha over the background's gray",
                 spec(2, 8, 4, {200, 255, 200, 0}),
                 ifGray256,
                 {0xC8C8C8, kBgGray}},
        ReadCase{
            "gray tRNS", withTrnsGray(spec(2, 8, 0, {9, 10}), 10), ifGray256, {0x090909, kBgGray}},
        ReadCase{"gray4 tRNS at sample depth",
                 withTrnsGray(spec(2, 4, 0, {0x3F}), 15),
                 ifGray16,
                 {0x333333, 0x555555}},
        ReadCase{"palette tRNS",
                 withTrnsAlpha(spec(2, 8, 3, {0, 1}, {1, 2, 3, 4, 5, 6}), {255, 0}),
                 ifColor256,
                 {0x010203, kBg}}),
    [](const testing::TestParamInfo<ReadCase>& i) {
        std::string n;
        for (const char* p = i.param.name; *p; ++p)
            n += std::isalnum(uint8_t(*p)) ? *p : '_';
        return n;
    });

TEST(PngCodec, UseBackgroundOverridesTheFileBackground) {
    TPngGraphic png;
    png.BackgroundColor = 0x0000FF00; // green
    png.UseBackground = true;
    load(png, EncodePng(withBkgdRgb(rgbaSpec(), 0, 0, 255)));
    EXPECT_EQ(png.GetPixel(1, 0), 0x00FF00u);
}

// ---- gamma

struct GammaCase {
    const char* name;
    std::optional<double> gamma;
    std::optional<int> srgb;
    uint8_t expected128; // what a stored 128 reads as
    double fileGamma;
};

class PngGamma : public testing::TestWithParam<GammaCase> {};

TEST_P(PngGamma, CorrectedOnlyWhenTheFileStatesIt) {
    const GammaCase& c = GetParam();
    PngSpec s = spec(3, 8, 0, {0, 128, 255});
    s.gamma = c.gamma;
    s.srgbIntent = c.srgb;
    TPngGraphic png;
    load(png, EncodePng(s));
    EXPECT_EQ(png.GetPixel(0, 0), 0u);
    EXPECT_EQ(RedOf(png.GetPixel(1, 0)), c.expected128);
    EXPECT_EQ(png.GetPixel(2, 0), 0xFFFFFFu);
    EXPECT_NEAR(png.FileGamma, c.fileGamma, 1e-5);
    EXPECT_NEAR(png.Gamma, 1 / 2.2, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Files, PngGamma,
                         testing::Values(GammaCase{"none", std::nullopt, std::nullopt, 128, 0.0},
                                         GammaCase{"screen", 0.45455, std::nullopt, 128, 0.45455},
                                         GammaCase{"linear", 1.0, std::nullopt, 186, 1.0},
                                         GammaCase{"sRGB", std::nullopt, 0, 128, 0.0}));

TEST(PngCodec, WriterStatesGammaOfTheScreenAndOpenSaveOpenIsIdentical) {
    PngSpec s;
    s.width = 256;
    s.height = 1;
    s.rows.assign(1, std::vector<uint8_t>(256));
    for (int i = 0; i < 256; ++i)
        s.rows[0][size_t(i)] = uint8_t(i);
    TPngGraphic a;
    load(a, EncodePng(s));
    const auto saved = save(a);
    const auto facts = ReadFacts(saved);
    ASSERT_TRUE(facts.hasGamma);
    EXPECT_NEAR(facts.gamma, 0.45455, 1e-6);
    TPngGraphic b;
    load(b, saved);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(b.GetPixel(i, 0), MakeColor(i, i, i));

    // A file with its own gamma is corrected once; the copy saved from it is
    // read back as it was shown.
    s.gamma = 1.0;
    TPngGraphic c;
    load(c, EncodePng(s));
    TPngGraphic d;
    load(d, save(c));
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(d.GetPixel(i, 0), c.GetPixel(i, 0));
}

// ---- resolution

TEST(PngCodec, ResolutionFromPhysAndToPhys) {
    PngSpec s = spec(1, 8, 0, {7});
    TPngGraphic none;
    load(none, EncodePng(s));
    EXPECT_EQ(none.XDotsPerInch(), ScreenDotsPerInchX());
    EXPECT_EQ(none.YDotsPerInch(), ScreenDotsPerInchY());

    s.physMetre = std::make_pair(2835u, 11811u);
    TPngGraphic with;
    load(with, EncodePng(s));
    EXPECT_EQ(with.XDotsPerInch(), 72);
    EXPECT_EQ(with.YDotsPerInch(), 300);

    TPngGraphic out;
    out.NewImage(2, 2, ifGray256, nullptr, 72, 72);
    const auto facts = ReadFacts(save(out));
    ASSERT_TRUE(facts.hasPhys);
    EXPECT_EQ(facts.physX, 2835u);
    EXPECT_EQ(facts.physY, 2835u);
    EXPECT_EQ(facts.physUnit, PNG_RESOLUTION_METER);
}

// ---- the header probe

TEST(PngCodec, ProbeReportsTheHeader) {
    struct Case {
        PngSpec spec;
        int bits;
        TImageFormat format;
    };
    const Case cases[] = {
        {spec(1, 16, 2, {1, 2, 3, 4, 5, 6}), 48, ifTrueColor},
        {spec(1, 8, 6, {1, 2, 3, 4}), 24, ifTrueColor},
        {spec(1, 16, 4, {1, 2, 3, 4}), 16, ifGray256},
        {spec(1, 4, 3, {0}, {1, 2, 3}), 4, ifColor16},
    };
    const auto path = std::filesystem::temp_directory_path() /
                      ("lumara_png_probe_" + std::to_string(::getpid()) + ".png");
    for (const Case& c : cases) {
        auto s = c.spec;
        s.interlaced = true;
        const auto data = EncodePng(s);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
        TPngGraphic png;
        png.ReadFileHeader(path.string(), true);
        EXPECT_EQ(png.HeaderWidth, 1);
        EXPECT_EQ(png.HeaderHeight, 1);
        EXPECT_EQ(png.HeaderBitsPerPixel, c.bits);
        EXPECT_EQ(png.HeaderColorType, s.colorType);
        EXPECT_EQ(png.HeaderInterlace, 1);
        EXPECT_TRUE(png.GetEmpty());
        png.ReadFileHeader(path.string(), false);
        EXPECT_EQ(png.ImageFormat(), c.format);
        EXPECT_EQ(png.GetWidth(), 1);
    }
    std::filesystem::remove(path);
}

// ---- bad input

TEST(PngCodec, NotAPngIsRefusedBeforeLibpng) {
    EXPECT_EQ(errorOf({}), "Invalid PNG file");
    EXPECT_EQ(errorOf({'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}), "Invalid PNG file");
    EXPECT_EQ(errorOf({137, 'P', 'N', 'G', 13, 10, 26}), "Invalid PNG file");
}

TEST(PngCodec, EveryTruncationIsRefusedWithAMessage) {
    PngSpec s;
    s.width = 40;
    s.height = 30;
    s.colorType = PNG_COLOR_TYPE_RGB;
    s.interlaced = true;
    for (uint32_t y = 0; y < s.height; ++y) {
        std::vector<uint8_t> row(120);
        for (size_t i = 0; i < row.size(); ++i)
            row[i] = uint8_t(i * y + 7);
        s.rows.push_back(row);
    }
    const auto data = EncodePng(s);
    // Everything up to the last IDAT byte is needed; IEND may go missing.
    for (size_t n = 0; n + 12 < data.size(); ++n) {
        const std::vector<uint8_t> cut(data.begin(), data.begin() + long(n));
        const std::string msg = errorOf(cut);
        EXPECT_FALSE(msg.empty()) << "length " << n;
    }
}

TEST(PngCodec, CorruptChunksAreRefused) {
    auto data = EncodePng(spec(2, 8, 0, {1, 2}));
    auto badCrc = data;
    badCrc[29] ^= 0xFF; // inside IHDR's CRC
    EXPECT_NE(errorOf(badCrc), "");
    auto badIdat = data;
    badIdat[data.size() - 20] ^= 0x55;
    EXPECT_NE(errorOf(badIdat), "");
}

struct BombCase {
    uint32_t w, h;
    int depth, colorType;
    const char* message;
};

class PngBomb : public testing::TestWithParam<BombCase> {};

TEST_P(PngBomb, RefusedBeforeAllocation) {
    const BombCase& c = GetParam();
    EXPECT_EQ(errorOf(claimedSize(c.w, c.h, c.depth, c.colorType)), c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PngBomb,
    testing::Values(BombCase{100000, 100000, 8, 0, "Image too large: 100000 x 100000"},
                    BombCase{40000, 30000, 8, 2, "Image too large: 40000 x 30000"},
                    BombCase{20000, 20000, 8, 0, "Not enough image data"},
                    BombCase{30000, 3000, 16, 6, "Not enough image data"},
                    BombCase{20000000, 1, 8, 0, "Invalid IHDR data"}));

TEST(PngCodec, PixelLimitCanBeLowered) {
    TPngGraphic::SetMaxImagePixels(100);
    EXPECT_EQ(errorOf(EncodePng(spec(101, 8, 0, std::vector<uint8_t>(101, 1)))),
              "Image too large: 101 x 1");
    EXPECT_EQ(errorOf(EncodePng(spec(100, 8, 0, std::vector<uint8_t>(100, 1)))), "");
    TPngGraphic::SetMaxImagePixels(0);
    EXPECT_EQ(TPngGraphic::MaxImagePixels(), uint64_t(1) << 30);
}

namespace {

class FailingStream : public TMemoryStream {
  public:
    size_t Write(const void*, size_t) override { return 0; }
};

} // namespace

TEST(PngCodec, AFailingStreamRaisesOnSave) {
    TPngGraphic png;
    png.NewImage(4, 4, ifTrueColor, nullptr, 0, 0);
    FailingStream out;
    try {
        png.SaveToStream(out);
        FAIL() << "saved to a failing stream";
    } catch (const EPNGError& e) {
        EXPECT_STREQ(e.what(), "Write error");
    }
}

TEST(PngCodec, CompressionLevelsChooseZlibEffort) {
    TPngGraphic png;
    png.NewImage(300, 200, ifTrueColor, nullptr, 0, 0);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            png.SetPixel(x, y, MakeColor((x / 7) * 9, (y / 5) * 3, (x * y) % 7));
    png.Interlaced = false;
    png.CompressionLevel = 0;
    const size_t fast = save(png).size();
    png.CompressionLevel = 2;
    const size_t best = save(png).size();
    EXPECT_LT(best, fast);
}

TEST(PngCodec, WritesAtTheStreamPosition) {
    TPngGraphic png;
    png.NewImage(3, 3, ifGray256, nullptr, 0, 0);
    fillPattern(png);
    TMemoryStream s;
    s.WriteBuffer("head", 4);
    png.SaveToStream(s);
    s.SetPosition(4);
    TPngGraphic back;
    back.LoadFromStream(s);
    EXPECT_EQ(back.GetPixel(2, 1), png.GetPixel(2, 1));
}

TEST(PngCodec, SavesAndLoadsThroughFiles) {
    TPngGraphic src;
    src.NewImage(17, 11, ifColor256, nullptr, 0, 0);
    fillPattern(src);
    const auto path = std::filesystem::temp_directory_path() /
                      ("lumara_png_file_" + std::to_string(::getpid()) + ".png");
    src.SaveToFile(path.string());
    TPngGraphic back;
    back.LoadFromFile(path.string());
    std::filesystem::remove(path);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 17; ++x)
            ASSERT_EQ(back.GetPaletteIndex(x, y), src.GetPaletteIndex(x, y));
}
