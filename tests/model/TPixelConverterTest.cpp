#include "codecs/model/TPixelConverter.h"
#include "codecs/model/Exceptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace lumara {
namespace {

template <typename F> std::string conversionError(F&& f) {
    try {
        f();
    } catch (const EColorConversionError& e) {
        return e.what();
    }
    return "(no exception)";
}

TPixelConverter makeConverter(TColorScheme from, TColorScheme to, int sourceBits = 8,
                              int targetBits = 8, int sourceSamples = 3, int targetSamples = 3,
                              uint8_t sourceOptions = 0) {
    TPixelConverter c;
    c.SetSourceScheme(from);
    c.SetTargetScheme(to);
    c.SetSourceBitsPerSample(sourceBits);
    c.SetTargetBitsPerSample(targetBits);
    c.SetSourceSamplesPerPixel(sourceSamples);
    c.SetTargetSamplesPerPixel(targetSamples);
    c.SetSourceOptions(sourceOptions);
    return c;
}

std::vector<uint8_t> convert(TPixelConverter& c, const std::vector<uint8_t>& source, int count,
                             size_t targetBytes, uint8_t mask = 0xFF, uint8_t fill = 0) {
    std::vector<uint8_t> target(targetBytes, fill);
    const void* src[1] = {source.data()};
    c.ConvertRow(src, 1, count, mask, target.data());
    return target;
}

TEST(TPixelConverter, Defaults) {
    TPixelConverter c;
    EXPECT_EQ(c.SourceScheme(), csRGB);
    EXPECT_EQ(c.TargetScheme(), csBGR);
    EXPECT_EQ(c.SourceBitsPerSample(), 8);
    EXPECT_EQ(c.TargetBitsPerSample(), 8);
    EXPECT_EQ(c.SourceSamplesPerPixel(), 3);
    EXPECT_EQ(c.TargetSamplesPerPixel(), 3);
    EXPECT_EQ(c.SourceOptions(), 0);
    EXPECT_EQ(c.TargetOptions(), 0);
    // The default configuration swaps red and blue.
    EXPECT_EQ(convert(c, {1, 2, 3, 4, 5, 6}, 2, 6), (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
}

TEST(TPixelConverter, AlphaOptionFollowsScheme) {
    TPixelConverter c;
    c.SetSourceScheme(csRGBA);
    c.SetTargetScheme(csGA);
    EXPECT_EQ(c.SourceOptions() & coAlpha, coAlpha);
    EXPECT_EQ(c.TargetOptions() & coAlpha, coAlpha);
    c.SetSourceScheme(csRGB);
    EXPECT_EQ(c.SourceOptions() & coAlpha, 0);
}

TEST(TPixelConverter, SetterErrors) {
    TPixelConverter c;
    for (int bits : {0, 17, -1}) {
        EXPECT_EQ(conversionError([&] { c.SetSourceBitsPerSample(bits); }), "Invalid color depth.");
        EXPECT_EQ(conversionError([&] { c.SetTargetBitsPerSample(bits); }), "Invalid color depth.");
    }
    for (int samples : {0, 5}) {
        EXPECT_EQ(conversionError([&] { c.SetSourceSamplesPerPixel(samples); }),
                  "Invalid pixel depth and target samples.");
        EXPECT_EQ(conversionError([&] { c.SetTargetSamplesPerPixel(samples); }),
                  "Invalid pixel depth and target samples.");
    }
    // The configuration stays as it was.
    EXPECT_EQ(c.SourceBitsPerSample(), 8);
    EXPECT_EQ(c.TargetSamplesPerPixel(), 3);
    c.SetSourceBitsPerSample(16);
    c.SetTargetBitsPerSample(1);
    EXPECT_EQ(c.SourceBitsPerSample(), 16);
    EXPECT_EQ(c.TargetBitsPerSample(), 1);
}

struct RoutineErrorCase {
    TColorScheme from, to;
    int sourceBits, targetBits;
    const char* message;
};

class RoutineErrorTest : public ::testing::TestWithParam<RoutineErrorCase> {};

TEST_P(RoutineErrorTest, Message) {
    const RoutineErrorCase k = GetParam();
    TPixelConverter c = makeConverter(k.from, k.to, k.sourceBits, k.targetBits, 4, 4);
    std::vector<uint8_t> src(64), dst(64);
    const void* s[1] = {src.data()};
    EXPECT_EQ(conversionError([&] { c.ConvertRow(s, 1, 2, 0xFF, dst.data()); }), k.message);
    // Still failing on the next call: the configuration is unchanged.
    EXPECT_EQ(conversionError([&] { c.ConvertRow(s, 1, 2, 0xFF, dst.data()); }), k.message);
}

constexpr const char* kMixed = "Indexed and non-indexed conversion not supported.";
constexpr const char* kFailed = "Color conversion failed.";

INSTANTIATE_TEST_SUITE_P(Cases, RoutineErrorTest,
                         ::testing::Values(RoutineErrorCase{csG, csRGB, 8, 8, kMixed},
                                           RoutineErrorCase{csIndexed, csBGR, 8, 8, kMixed},
                                           RoutineErrorCase{csRGB, csG, 8, 8, kMixed},
                                           RoutineErrorCase{csCMYK, csIndexed, 8, 8, kMixed},
                                           RoutineErrorCase{csGA, csGA, 8, 8, kMixed},
                                           RoutineErrorCase{csOther, csBGR, 8, 8, kFailed},
                                           RoutineErrorCase{csRGB, csCMYK, 8, 8, kFailed},
                                           RoutineErrorCase{csCMYK, csBGR, 12, 8, kFailed},
                                           RoutineErrorCase{csRGB, csBGR, 8, 5, kFailed},
                                           RoutineErrorCase{csG, csG, 16, 4, kFailed},
                                           RoutineErrorCase{csGA, csG, 4, 8, kFailed},
                                           RoutineErrorCase{csCIELab, csCIELab, 8, 8, kFailed}));

struct CmykCase {
    uint8_t c, m, y, k;
    uint8_t red, green, blue;
};

class CmykTest : public ::testing::TestWithParam<CmykCase> {};

TEST_P(CmykTest, InterleavedPlanarAndOrders) {
    const CmykCase k = GetParam();
    TPixelConverter bgr = makeConverter(csCMYK, csBGR, 8, 8, 4, 3);
    EXPECT_EQ(convert(bgr, {k.c, k.m, k.y, k.k}, 1, 3),
              (std::vector<uint8_t>{k.blue, k.green, k.red}));

    TPixelConverter rgb = makeConverter(csCMYK, csRGB, 8, 8, 4, 3);
    EXPECT_EQ(convert(rgb, {k.c, k.m, k.y, k.k}, 1, 3),
              (std::vector<uint8_t>{k.red, k.green, k.blue}));

    const uint8_t planes[4][1] = {{k.c}, {k.m}, {k.y}, {k.k}};
    const void* p[4] = {planes[0], planes[1], planes[2], planes[3]};
    std::vector<uint8_t> out(3);
    bgr.ConvertRow(p, 4, 1, 0xFF, out.data());
    EXPECT_EQ(out, (std::vector<uint8_t>{k.blue, k.green, k.red}));

    // The same values as 16-bit big-endian samples (v * 257 keeps v after 16 -> 8).
    TPixelConverter wide = makeConverter(csCMYK, csBGR, 16, 8, 4, 3, coNeedByteSwap);
    EXPECT_EQ(convert(wide, {k.c, k.c, k.m, k.m, k.y, k.y, k.k, k.k}, 1, 3),
              (std::vector<uint8_t>{k.blue, k.green, k.red}));
}

INSTANTIATE_TEST_SUITE_P(Corners, CmykTest,
                         ::testing::Values(CmykCase{0, 0, 0, 0, 255, 255, 255},
                                           CmykCase{0, 0, 0, 255, 0, 0, 0},
                                           CmykCase{255, 0, 0, 0, 0, 255, 255},
                                           CmykCase{255, 255, 255, 255, 0, 0, 0},
                                           // 100*50/255 - 50 - 100 + 255 = 124
                                           CmykCase{100, 0, 200, 50, 124, 205, 44}));

TEST(TPixelConverter, CmykEveryCyanAndBlackPair) {
    // Every (C, K) pair through the interleaved, planar and masked routines,
    // against the formula itself.
    const int n = 65536;
    std::vector<uint8_t> interleaved(size_t(n) * 4), planes(size_t(n) * 4);
    for (int i = 0; i < n; ++i) {
        const uint8_t c = uint8_t(i), m = uint8_t(i >> 8), y = uint8_t(255 - c),
                      k = uint8_t(i >> 8);
        const uint8_t v[4] = {c, m, y, k};
        for (int j = 0; j < 4; ++j) {
            interleaved[size_t(4 * i + j)] = v[j];
            planes[size_t(j * n + i)] = v[j];
        }
    }
    auto expect = [](int s, int k) { return std::clamp(s * k / 255 - k - s + 255, 0, 255); };
    TPixelConverter conv = makeConverter(csCMYK, csBGR, 8, 8, 4, 3);
    std::vector<uint8_t> a(size_t(n) * 3), b(size_t(n) * 3), c(size_t(n) * 3);
    const void* one[1] = {interleaved.data()};
    conv.ConvertRow(one, 1, n, 0xFF, a.data());
    const void* four[4] = {planes.data(), planes.data() + n, planes.data() + 2 * n,
                           planes.data() + 3 * n};
    conv.ConvertRow(four, 4, n, 0xFF, b.data());
    for (int i = 0; i < n; ++i) {
        const int k = i >> 8;
        ASSERT_EQ(a[size_t(3 * i + 2)], expect(i & 255, k)) << i;
        ASSERT_EQ(a[size_t(3 * i + 1)], expect(i >> 8, k)) << i;
        ASSERT_EQ(a[size_t(3 * i)], expect(255 - (i & 255), k)) << i;
    }
    EXPECT_EQ(a, b);
    // Mask 0x7F skips every eighth target pixel: compare the written ones.
    conv.ConvertRow(one, 1, 16, 0x7F, c.data());
    for (int i = 0, src = 0; i < 16; ++i) {
        if (i % 8 == 0) continue;
        for (int j = 0; j < 3; ++j)
            EXPECT_EQ(c[size_t(3 * i + j)], a[size_t(3 * src + j)]);
        ++src;
    }
}

TEST(TPixelConverter, CmykToBgraLeavesAlphaAsIs) {
    TPixelConverter c = makeConverter(csCMYK, csBGRA, 8, 8, 4, 4);
    EXPECT_EQ(convert(c, {0, 0, 0, 0, 0, 0, 0, 255}, 2, 8, 0xFF, 0x77),
              (std::vector<uint8_t>{255, 255, 255, 0x77, 0, 0, 0, 0x77}));
}

TEST(TPixelConverter, LabWhiteAndBlack) {
    // L* stored as 0..255, a* and b* with an offset of 128.
    TPixelConverter c =
        makeConverter(csCIELab, csBGR, 8, 8, 3, 3, coLabByteRange | coLabChromaOffset);
    const auto white = convert(c, {255, 128, 128}, 1, 3);
    for (uint8_t v : white)
        EXPECT_GE(v, 254);
    EXPECT_EQ(convert(c, {0, 128, 128}, 1, 3), (std::vector<uint8_t>{0, 0, 0}));

    // L* as 0..100 and signed chroma bytes.
    TPixelConverter s = makeConverter(csCIELab, csRGB, 8, 8, 3, 3, 0);
    const auto white2 = convert(s, {100, 0, 0}, 1, 3);
    for (uint8_t v : white2)
        EXPECT_GE(v, 254);
    EXPECT_EQ(convert(s, {0, 0, 0}, 1, 3), (std::vector<uint8_t>{0, 0, 0}));
    // A strong positive a* (signed 100) turns red up and green down.
    const auto reddish = convert(s, {50, 100, 0}, 1, 3);
    EXPECT_GT(reddish[0], reddish[1]);
}

TEST(TPixelConverter, LabMidGrayMatchesFormula) {
    // L = 50: fy = 66/116, X = Y = Z = fy^3 ~ 0.18419; blue ~ 1.0 * Y, red ~ 0.999 * Y.
    TPixelConverter c = makeConverter(csCIELab, csRGB, 8, 8, 3, 3, coLabChromaOffset);
    const double y = (66.0 / 116) * (66.0 / 116) * (66.0 / 116);
    const auto px = convert(c, {50, 128, 128}, 1, 3);
    EXPECT_EQ(px[0], uint8_t(std::nearbyint((2.998 - 1.458 - 0.541) * y * 255)));
    EXPECT_EQ(px[1], uint8_t(std::nearbyint((-0.952 + 1.893 + 0.059) * y * 255)));
    EXPECT_EQ(px[2], uint8_t(std::nearbyint((0.099 - 0.198 + 1.099) * y * 255)));
    // Below L 7.9996 the linear branch is used: L = 5 gives Y = 5 / 903.3.
    const auto dark = convert(c, {5, 128, 128}, 1, 3);
    EXPECT_EQ(dark[1], uint8_t(std::nearbyint(5 * 0.0011070519207350825 * 255)));
}

TEST(TPixelConverter, RgbOrdersAndAlpha) {
    TPixelConverter same = makeConverter(csRGB, csRGB);
    EXPECT_EQ(convert(same, {1, 2, 3}, 1, 3), (std::vector<uint8_t>{1, 2, 3}));
    TPixelConverter bgrToRgb = makeConverter(csBGR, csRGB);
    EXPECT_EQ(convert(bgrToRgb, {1, 2, 3}, 1, 3), (std::vector<uint8_t>{3, 2, 1}));
    TPixelConverter rgbaToBgra = makeConverter(csRGBA, csBGRA, 8, 8, 4, 4);
    EXPECT_EQ(convert(rgbaToBgra, {1, 2, 3, 4}, 1, 4), (std::vector<uint8_t>{3, 2, 1, 4}));
    // No alpha in the source: the target's alpha stays as it was.
    TPixelConverter rgbToBgra = makeConverter(csRGB, csBGRA, 8, 8, 3, 4);
    EXPECT_EQ(convert(rgbToBgra, {1, 2, 3, 5, 6, 7}, 2, 8, 0xFF, 9),
              (std::vector<uint8_t>{3, 2, 1, 9, 7, 6, 5, 9}));
    // Alpha in the source only is skipped.
    TPixelConverter rgbaToRgb = makeConverter(csRGBA, csRGB, 8, 8, 4, 3);
    EXPECT_EQ(convert(rgbaToRgb, {1, 2, 3, 4, 5, 6, 7, 8}, 2, 6),
              (std::vector<uint8_t>{1, 2, 3, 5, 6, 7}));
}

struct DepthCase {
    int sourceBits, targetBits;
    uint8_t options;
    std::vector<uint8_t> source; // one RGB pixel
    std::vector<uint8_t> target;
};

class DepthTest : public ::testing::TestWithParam<DepthCase> {};

TEST_P(DepthTest, RgbSamples) {
    const DepthCase k = GetParam();
    TPixelConverter c = makeConverter(csRGB, csRGB, k.sourceBits, k.targetBits, 3, 3, k.options);
    EXPECT_EQ(convert(c, k.source, 1, k.target.size()), k.target);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DepthTest,
    ::testing::Values(
        // 65535 -> 255, 32768 -> 127 (v * 255 div 65535), 0x3412 = 13330 -> 51
        DepthCase{16, 8, 0, {0xFF, 0xFF, 0x00, 0x80, 0x12, 0x34}, {255, 127, 51}},
        // big-endian: 0x1234 = 4660 -> 18
        DepthCase{16, 8, coNeedByteSwap, {0xFF, 0xFF, 0x80, 0x00, 0x12, 0x34}, {255, 127, 18}},
        // 8 -> 16 as v * 65535 div 255, stored little-endian
        DepthCase{8, 16, 0, {1, 255, 0}, {0x01, 0x01, 0xFF, 0xFF, 0, 0}},
        DepthCase{16, 16, coNeedByteSwap, {0x12, 0x34, 0, 1, 2, 3}, {0x34, 0x12, 1, 0, 3, 2}},
        DepthCase{16, 16, 0, {0x12, 0x34, 0, 1, 2, 3}, {0x12, 0x34, 0, 1, 2, 3}}));

struct WideCase {
    const char* name;
    TColorScheme from, to;
    int sourceBits, targetBits, sourceSamples, targetSamples;
    uint8_t sourceOptions, targetOptions;
    std::vector<uint8_t> source, target;
};

class WideTest : public ::testing::TestWithParam<WideCase> {};

TEST_P(WideTest, OnePixel) {
    const WideCase k = GetParam();
    TPixelConverter c = makeConverter(k.from, k.to, k.sourceBits, k.targetBits, k.sourceSamples,
                                      k.targetSamples, k.sourceOptions);
    c.SetTargetOptions(k.targetOptions);
    EXPECT_EQ(convert(c, k.source, 1, k.target.size()), k.target) << k.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, WideTest,
                         ::testing::Values(WideCase{"gray+alpha 16 to 16",
                                                    csGA,
                                                    csG,
                                                    16,
                                                    16,
                                                    2,
                                                    2,
                                                    0,
                                                    coAlpha,
                                                    {0x34, 0x12, 0x78, 0x56},
                                                    {0x34, 0x12, 0x78, 0x56}},
                                           WideCase{"RGBA 16 big-endian to BGRA 8",
                                                    csRGBA,
                                                    csBGRA,
                                                    16,
                                                    8,
                                                    4,
                                                    4,
                                                    coNeedByteSwap,
                                                    0,
                                                    {0xFF, 0xFF, 0x80, 0x00, 0, 0, 0x12, 0x34},
                                                    {0, 127, 255, 18}},
                                           WideCase{"CMYK 8 to BGR 16",
                                                    csCMYK,
                                                    csBGR,
                                                    8,
                                                    16,
                                                    4,
                                                    3,
                                                    0,
                                                    0,
                                                    {0, 0, 255, 0},
                                                    {0, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
                                           WideCase{"CMYK 16 to RGB 16",
                                                    csCMYK,
                                                    csRGB,
                                                    16,
                                                    16,
                                                    4,
                                                    3,
                                                    0,
                                                    0,
                                                    {0xFF, 0xFF, 0, 0, 0, 0, 0, 0},
                                                    {0, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
                                           WideCase{"L*a*b* 16 to BGR 8",
                                                    csCIELab,
                                                    csBGR,
                                                    16,
                                                    8,
                                                    3,
                                                    3,
                                                    coLabByteRange | coLabChromaOffset,
                                                    0,
                                                    {0, 0, 0x80, 0x80, 0x80, 0x80},
                                                    {0, 0, 0}},
                                           WideCase{"indexed with alpha 8 to 4",
                                                    csIndexed,
                                                    csIndexed,
                                                    8,
                                                    4,
                                                    2,
                                                    2,
                                                    coAlpha,
                                                    coAlpha,
                                                    {0xFF, 0x11},
                                                    {0xF1}},
                                           WideCase{"indexed without target alpha",
                                                    csIndexed,
                                                    csIndexed,
                                                    8,
                                                    8,
                                                    2,
                                                    1,
                                                    coAlpha,
                                                    0,
                                                    {7, 9},
                                                    {7}},
                                           WideCase{"BGR 8 to RGBA 16 keeps alpha",
                                                    csBGR,
                                                    csRGBA,
                                                    8,
                                                    16,
                                                    3,
                                                    4,
                                                    0,
                                                    0,
                                                    {1, 2, 3},
                                                    {3, 3, 2, 2, 1, 1, 0, 0}}));

TEST(TPixelConverter, MaskAAWritesEverySecondPixel) {
    TPixelConverter c = makeConverter(csRGB, csRGB);
    std::vector<uint8_t> source;
    for (int i = 0; i < 8; ++i)
        source.insert(source.end(), {uint8_t(10 + i), uint8_t(20 + i), uint8_t(30 + i)});
    const auto out = convert(c, source, 8, 24, 0xAA, 0xEE);
    for (int i = 0; i < 8; ++i) {
        if (i % 2 == 0) {
            // Skipped pixels consume no source samples: target 2k gets source k.
            EXPECT_EQ(out[size_t(3 * i)], 10 + i / 2) << i;
            EXPECT_EQ(out[size_t(3 * i + 2)], 30 + i / 2) << i;
        } else {
            EXPECT_EQ(out[size_t(3 * i)], 0xEE) << i;
            EXPECT_EQ(out[size_t(3 * i + 2)], 0xEE) << i;
        }
    }
}

TEST(TPixelConverter, MaskRotatesEveryEightPixels) {
    TPixelConverter c = makeConverter(csG, csG, 8, 8, 1, 1);
    const auto out = convert(c, {1, 2, 3}, 10, 10, 0x80, 0);
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0, 2, 0}));
    const auto none = convert(c, {1, 2, 3}, 3, 3, 0x00, 7);
    EXPECT_EQ(none, (std::vector<uint8_t>{7, 7, 7}));
}

TEST(TPixelConverter, MaskOnPackedTargetLeavesSkippedBits) {
    TPixelConverter c = makeConverter(csIndexed, csIndexed, 8, 1, 1, 1);
    // 255 at 8 bits is 1 at one bit (v * 1 div 255).
    const auto out = convert(c, {255, 255, 255, 255}, 8, 1, 0x55, 0x00);
    EXPECT_EQ(out[0], 0x55);
    const auto out2 = convert(c, {0, 0, 0, 0}, 8, 1, 0x55, 0xFF);
    EXPECT_EQ(out2[0], 0xAA);
}

struct RepackCase {
    TColorScheme scheme;
    int sourceBits, targetBits;
    uint8_t options;
    int count;
    std::vector<uint8_t> source, target;
};

class RepackTest : public ::testing::TestWithParam<RepackCase> {};

TEST_P(RepackTest, Values) {
    const RepackCase k = GetParam();
    TPixelConverter c = makeConverter(k.scheme, k.scheme == csGA ? csG : k.scheme, k.sourceBits,
                                      k.targetBits, 1, 1, k.options);
    EXPECT_EQ(convert(c, k.source, k.count, k.target.size()), k.target);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RepackTest,
    ::testing::Values(RepackCase{csIndexed, 1, 8, 0, 4, {0xB0}, {255, 0, 255, 255}},
                      RepackCase{csIndexed, 4, 8, 0, 3, {0x1F, 0x80}, {17, 255, 136}},
                      RepackCase{csIndexed, 8, 4, 0, 3, {255, 17, 34}, {0xF1, 0x20}},
                      RepackCase{csIndexed, 2, 4, 0, 4, {0x1B}, {0x05, 0xAF}},
                      RepackCase{csIndexed,
                                 16,
                                 16,
                                 coNeedByteSwap,
                                 2,
                                 {0x12, 0x34, 0xAB, 0xCD},
                                 {0x34, 0x12, 0xCD, 0xAB}},
                      RepackCase{csIndexed, 16, 8, 0, 2, {0xFF, 0xFF, 0x00, 0x80}, {255, 127}},
                      RepackCase{csIndexed, 8, 16, 0, 2, {1, 255}, {1, 1, 255, 255}},
                      // 3-bit samples straddle bytes: 7, 0, 5 -> 111 000 10|1 -> 0xE2 0x80
                      RepackCase{csIndexed, 3, 8, 0, 3, {0xE2, 0x80}, {255, 0, 182}},
                      // 182 * 7 div 255 = 4, 183 * 7 div 255 = 5
                      RepackCase{csIndexed, 8, 3, 0, 3, {255, 0, 183}, {0xE2, 0x80}},
                      RepackCase{csIndexed, 8, 3, 0, 1, {182}, {0x80}},
                      RepackCase{csIndexed, 12, 12, 0, 2, {0xAB, 0xCD, 0xEF}, {0xAB, 0xCD, 0xEF}},
                      RepackCase{csG, 1, 1, 0, 8, {0x5A}, {0x5A}},
                      RepackCase{csG, 8, 8, 0, 2, {7, 9}, {7, 9}},
                      // Gray with 16-bit samples goes through the 8/16-bit gray routine.
                      RepackCase{
                          csG, 16, 8, coNeedByteSwap, 2, {0xFF, 0xFF, 0x80, 0x00}, {255, 127}},
                      RepackCase{csG, 8, 16, 0, 1, {2}, {2, 2}}));

TEST(TPixelConverter, GrayAlphaCopiesAlphaOnlyWhenBothHaveIt) {
    TPixelConverter keep = makeConverter(csGA, csG, 8, 8, 2, 2);
    keep.SetTargetOptions(coAlpha);
    EXPECT_EQ(convert(keep, {10, 20, 30, 40}, 2, 4), (std::vector<uint8_t>{10, 20, 30, 40}));
    TPixelConverter drop = makeConverter(csGA, csG, 8, 8, 2, 1);
    EXPECT_EQ(convert(drop, {10, 20, 30, 40}, 2, 2), (std::vector<uint8_t>{10, 30}));
    TPixelConverter wide = makeConverter(csGA, csG, 16, 8, 2, 1);
    EXPECT_EQ(convert(wide, {0xFF, 0xFF, 0, 0, 0, 0, 0, 0}, 2, 2), (std::vector<uint8_t>{255, 0}));
}

TEST(TPixelConverter, PlanarNeedsEnoughPlanes) {
    TPixelConverter c = makeConverter(csCMYK, csBGR, 8, 8, 4, 3);
    uint8_t plane[4] = {};
    const void* p[3] = {plane, plane, plane};
    uint8_t out[12];
    EXPECT_EQ(conversionError([&] { c.ConvertRow(p, 3, 1, 0xFF, out); }),
              "Color conversion failed.");
    const void* nulls[1] = {nullptr};
    EXPECT_EQ(conversionError([&] { c.ConvertRow(nulls, 1, 1, 0xFF, out); }),
              "Color conversion failed.");
    // Zero pixels touch nothing.
    c.ConvertRow(p, 3, 0, 0xFF, out);
}

TEST(TPixelConverter, PlanarRgbFromThreePlanes) {
    TPixelConverter c = makeConverter(csRGB, csBGR);
    const uint8_t r[2] = {1, 4}, g[2] = {2, 5}, b[2] = {3, 6};
    const void* p[3] = {r, g, b};
    uint8_t out[6];
    c.ConvertRow(p, 3, 2, 0xFF, out);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 6), (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
}

TEST(TPixelConverter, RoutineChosenAgainAfterChange) {
    TPixelConverter c = makeConverter(csRGB, csBGR);
    EXPECT_EQ(convert(c, {1, 2, 3}, 1, 3), (std::vector<uint8_t>{3, 2, 1}));
    c.SetTargetScheme(csRGB);
    EXPECT_EQ(convert(c, {1, 2, 3}, 1, 3), (std::vector<uint8_t>{1, 2, 3}));
    c.SetTargetBitsPerSample(16);
    EXPECT_EQ(convert(c, {1, 2, 3}, 1, 6), (std::vector<uint8_t>{1, 1, 2, 2, 3, 3}));
}

struct FormatCase {
    int samples, bits;
    TPixelFormat format;
};

class PixelFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(PixelFormatTest, Target) {
    const FormatCase k = GetParam();
    TPixelConverter c;
    c.SetTargetSamplesPerPixel(k.samples);
    c.SetTargetBitsPerSample(k.bits);
    EXPECT_EQ(c.TargetPixelFormat(), k.format);
    c.SetSourceSamplesPerPixel(k.samples);
    c.SetSourceBitsPerSample(k.bits);
    EXPECT_EQ(c.SourcePixelFormat(), k.format);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PixelFormatTest,
    ::testing::Values(
        FormatCase{1, 1, TPixelFormat::pf1bit}, FormatCase{1, 2, TPixelFormat::pf4bit},
        FormatCase{1, 4, TPixelFormat::pf4bit}, FormatCase{1, 5, TPixelFormat::pfCustom},
        FormatCase{1, 8, TPixelFormat::pf8bit}, FormatCase{1, 16, TPixelFormat::pf8bit},
        FormatCase{2, 8, TPixelFormat::pfCustom}, FormatCase{3, 5, TPixelFormat::pf15bit},
        FormatCase{3, 6, TPixelFormat::pf24bit}, FormatCase{3, 16, TPixelFormat::pf24bit},
        FormatCase{4, 7, TPixelFormat::pfCustom}, FormatCase{4, 8, TPixelFormat::pf32bit}));

TEST(TPixelConverter, GrayPalettes) {
    TPixelConverter c;
    c.SetTargetSamplesPerPixel(1);
    c.SetTargetBitsPerSample(1);
    EXPECT_EQ(c.CreateGrayPalette(false), (Palette{0x000000, 0xFFFFFF}));
    EXPECT_EQ(c.CreateGrayPalette(true), (Palette{0xFFFFFF, 0x000000}));
    c.SetTargetBitsPerSample(4);
    const Palette p16 = c.CreateGrayPalette(false);
    ASSERT_EQ(p16.size(), 16u);
    EXPECT_EQ(p16[1], 0x111111u);
    EXPECT_EQ(p16[15], 0xFFFFFFu);
    c.SetTargetBitsPerSample(3); // 8 steps of 255 div 7 = 36
    EXPECT_EQ(c.CreateGrayPalette(false).back(), MakeColor(252, 252, 252));
    c.SetTargetBitsPerSample(16);
    const Palette p256 = c.CreateGrayPalette(true);
    ASSERT_EQ(p256.size(), 256u);
    EXPECT_EQ(p256[0], 0xFFFFFFu);
    EXPECT_EQ(p256[255], 0u);
    c.SetTargetOptions(coApplyGamma);
    c.GammaTable()[128] = 200;
    EXPECT_EQ(c.CreateGrayPalette(false)[128], MakeColor(200, 200, 200));
}

TEST(TPixelConverter, PlanePalettes) {
    TPixelConverter c;
    const uint8_t planes8[6] = {255, 1, 2, 3, 4, 5}; // red 255,1; green 2,3; blue 4,5
    EXPECT_EQ(c.CreatePlanePalette(planes8, 2),
              (Palette{MakeColor(255, 2, 4), MakeColor(1, 3, 5)}));
    c.SetSourceBitsPerSample(16);
    c.SetSourceOptions(coNeedByteSwap);
    const uint8_t planes16[6] = {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00};
    EXPECT_EQ(c.CreatePlanePalette(planes16, 1), (Palette{MakeColor(255, 127, 0)}));
    EXPECT_TRUE(c.CreatePlanePalette(nullptr, 4).size() == 4u);
}

} // namespace
} // namespace lumara
