// TJPEGImage: encoding parameters, decoding (scales, gray, CMYK, quantized
// colours), progress and abort, comments, probing and bad input.

#include "codecs/jpeg/ColorQuantizer.h"
#include "codecs/jpeg/TJPEGImage.h"
#include "codecs/jpeg/TJpegSettings.h"
#include "codecs/model/Exceptions.h"
#include "codecs/model/Stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <jpeglib.h>

using namespace lumara;

namespace {

// Smooth colours, so a high-quality encode comes back within a few levels.
Bitmap gradient(int w, int h) {
    Bitmap b(w, h, 24);
    for (int y = 0; y < h; ++y) {
        uint8_t* p = b.ScanLine(y);
        for (int x = 0; x < w; ++x, p += 3) {
            p[0] = uint8_t(x * 255 / std::max(1, w - 1));
            p[1] = uint8_t(y * 255 / std::max(1, h - 1));
            p[2] = uint8_t((x + y) * 255 / std::max(1, w + h - 2));
        }
    }
    return b;
}

Bitmap noise(int w, int h, unsigned seed) {
    Bitmap b(w, h, 24);
    for (int y = 0; y < h; ++y) {
        uint8_t* p = b.ScanLine(y);
        for (int x = 0; x < w * 3; ++x) {
            seed = seed * 1103515245u + 12345u;
            p[x] = uint8_t(seed >> 16);
        }
    }
    return b;
}

std::vector<uint8_t> encode(const Bitmap& b, int scale = 2, bool gray = false,
                            bool progressive = false, bool subsample = false) {
    TJPEGImage jpg;
    jpg.Grayscale = gray;
    jpg.ProgressiveEncoding = progressive;
    jpg.CompressJpeg(b, subsample, true, true, scale, 0);
    return jpg.Data();
}

Bitmap decode(const std::vector<uint8_t>& data, JpegScale scale = JpegScale::FullSize) {
    TJPEGImage jpg;
    jpg.LoadFromMemory(data.data(), data.size());
    jpg.Scale = scale;
    Bitmap out;
    jpg.DecodeToBitmap(out);
    return out;
}

int maxDiff(const Bitmap& a, const Bitmap& b) {
    EXPECT_EQ(a.Width(), b.Width());
    EXPECT_EQ(a.Height(), b.Height());
    int worst = 0;
    for (int y = 0; y < std::min(a.Height(), b.Height()); ++y)
        for (int x = 0; x < std::min(a.Width(), b.Width()); ++x) {
            const uint32_t p = a.PixelColor(x, y), q = b.PixelColor(x, y);
            worst = std::max({worst, std::abs(RedOf(p) - RedOf(q)),
                              std::abs(GreenOf(p) - GreenOf(q)), std::abs(BlueOf(p) - BlueOf(q))});
        }
    return worst;
}

std::string decodeError(const std::vector<uint8_t>& data) {
    try {
        TJPEGImage jpg;
        jpg.LoadFromMemory(data.data(), data.size());
        Bitmap out;
        jpg.DecodeToBitmap(out);
    } catch (const EJpegError& e) {
        return e.what();
    }
    return "";
}

// Byte offset of the first frame header (SOF0/SOF2) marker.
size_t frameOffset(const std::vector<uint8_t>& d) {
    for (size_t i = 2; i + 1 < d.size(); ++i)
        if (d[i] == 0xFF && (d[i + 1] == 0xC0 || d[i + 1] == 0xC2)) return i;
    ADD_FAILURE() << "no frame header";
    return 0;
}

void setFrameSize(std::vector<uint8_t>& d, int w, int h) {
    const size_t f = frameOffset(d);
    d[f + 5] = uint8_t(h >> 8);
    d[f + 6] = uint8_t(h);
    d[f + 7] = uint8_t(w >> 8);
    d[f + 8] = uint8_t(w);
}

// A CMYK file written by libjpeg itself: ink values as given, stored
// inverted under an Adobe marker (as Photoshop does) or plain without one,
// or as YCCK.
enum class CmykKind { Plain, Adobe, Ycck };
std::vector<uint8_t> cmykJpeg(int w, int h, const uint8_t ink[4], CmykKind kind) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buf, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = 4;
    c.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_set_colorspace(&c, kind == CmykKind::Ycck ? JCS_YCCK : JCS_CMYK);
    const bool inverted = kind != CmykKind::Plain;
    c.write_Adobe_marker = inverted ? TRUE : FALSE;
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(size_t(w) * 4);
    for (int x = 0; x < w; ++x)
        for (int k = 0; k < 4; ++k)
            row[size_t(x) * 4 + k] = inverted ? 255 - ink[k] : ink[k];
    JSAMPROW r = row.data();
    for (int y = 0; y < h; ++y)
        jpeg_write_scanlines(&c, &r, 1);
    jpeg_finish_compress(&c);
    std::vector<uint8_t> out(buf, buf + size);
    jpeg_destroy_compress(&c);
    std::free(buf);
    return out;
}

// A gray progressive file of one scan per coefficient band: the DC scan,
// then bands 1, 2, ... up to scans - 1, the last one running to 63.
std::vector<uint8_t> manyScanJpeg(int w, int h, int scans) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buf, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = 1;
    c.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    std::vector<jpeg_scan_info> script(static_cast<size_t>(scans));
    for (int i = 0; i < scans; ++i) {
        jpeg_scan_info& si = script[size_t(i)];
        si.comps_in_scan = 1;
        si.component_index[0] = 0;
        si.Ss = i;
        si.Se = i == 0 ? 0 : (i == scans - 1 ? 63 : i);
        si.Ah = si.Al = 0;
    }
    c.scan_info = script.data();
    c.num_scans = scans;
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(w));
    JSAMPROW r = row.data();
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            row[size_t(x)] = uint8_t((x * 7 + y * 3) ^ (x * y));
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> out(buf, buf + size);
    jpeg_destroy_compress(&c);
    std::free(buf);
    return out;
}

// libjpeg's own decode (RGB, its defaults) as the reference.
Bitmap referenceDecode(const std::vector<uint8_t>& data) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d);
    Bitmap b(int(d.output_width), int(d.output_height), 24);
    std::vector<uint8_t> row(size_t(d.output_width) * 3);
    JSAMPROW r = row.data();
    while (d.output_scanline < d.output_height) {
        const int y = int(d.output_scanline);
        jpeg_read_scanlines(&d, &r, 1);
        uint8_t* dst = b.ScanLine(y);
        for (size_t x = 0; x < d.output_width; ++x) {
            dst[3 * x] = row[3 * x + 2];
            dst[3 * x + 1] = row[3 * x + 1];
            dst[3 * x + 2] = row[3 * x];
        }
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return b;
}

class JpegLimits : public ::testing::Test {
  protected:
    void TearDown() override {
        TJPEGImage::SetMaxImagePixels(uint64_t(1) << 30);
        TJPEGImage::SetMaxMemory(uint64_t(2) << 30);
        TJPEGImage::SetMaxScans(1000);
    }
};

} // namespace

// ---- Round trips through the encoder's parameter combinations.

struct RoundTripCase {
    const char* name;
    bool subsample, optimize, highAccuracy, progressive;
    int scale;
    int tolerance;
};

class JpegRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(JpegRoundTrip, DecodesCloseToTheSource) {
    const RoundTripCase& c = GetParam();
    const Bitmap src = gradient(67, 45);
    TJPEGImage jpg;
    jpg.ProgressiveEncoding = c.progressive;
    jpg.CompressJpeg(src, c.subsample, c.optimize, c.highAccuracy, c.scale, 0);
    ASSERT_FALSE(jpg.Empty());
    EXPECT_EQ(jpg.Width(), 67);
    EXPECT_EQ(jpg.Height(), 45);
    EXPECT_EQ(jpg.Components(), 3);
    EXPECT_EQ(jpg.IsProgressive(), c.progressive);
    EXPECT_EQ(jpg.BitsPerPixel(), 24);
    Bitmap out;
    jpg.DecodeToBitmap(out);
    EXPECT_EQ(out.Depth(), 24);
    EXPECT_LE(maxDiff(src, out), c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(
    Parameters, JpegRoundTrip,
    ::testing::Values(RoundTripCase{"Scale2", false, true, true, false, 2, 6},
                      RoundTripCase{"Scale1Integer", false, false, false, false, 1, 6},
                      RoundTripCase{"Subsampled", true, true, true, false, 2, 16},
                      RoundTripCase{"Progressive", false, true, true, true, 2, 6},
                      RoundTripCase{"Scale48", false, true, true, false, 48, 24}),
    [](const auto& info) { return std::string(info.param.name); });

// libjpeg driven by hand with the documented sequence of settings, from RGB rows.
std::vector<uint8_t> referenceEncode(const Bitmap& b, bool gray, bool progressive, bool subsample,
                                     bool optimize, bool highAccuracy, int scale, int smoothing) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buf, &size);
    c.image_width = JDIMENSION(b.Width());
    c.image_height = JDIMENSION(b.Height());
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    c.optimize_coding = optimize;
    jpeg_set_linear_quality(&c, scale, TRUE);
    if (highAccuracy) c.dct_method = JDCT_FLOAT;
    if (!subsample) {
        c.comp_info[0].h_samp_factor = 1;
        c.comp_info[0].v_samp_factor = 1;
    }
    c.smoothing_factor = smoothing;
    if (gray) jpeg_set_colorspace(&c, JCS_GRAYSCALE);
    if (progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(size_t(b.Width()) * 3);
    JSAMPROW r = row.data();
    for (int y = 0; y < b.Height(); ++y) {
        for (int x = 0; x < b.Width(); ++x) {
            const uint32_t px = b.PixelColor(x, y);
            row[size_t(x) * 3] = uint8_t(RedOf(px));
            row[size_t(x) * 3 + 1] = uint8_t(GreenOf(px));
            row[size_t(x) * 3 + 2] = uint8_t(BlueOf(px));
        }
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> out(buf, buf + size);
    jpeg_destroy_compress(&c);
    std::free(buf);
    return out;
}

TEST(JpegEncode, SameBytesAsLibjpegWithTheCallersSettings) {
    const TJpegSettings wizard; // the record's defaults
    struct Case {
        const char* name;
        bool gray, progressive, subsample, optimize, highAccuracy;
        int scale, smoothing;
    };
    const Case cases[] = {
        {"SaveAsColour", false, false, false, true, true, SaveAsJpegScale(75), 0},
        {"SaveAsGrayProgressive", true, true, false, true, true, SaveAsJpegScale(25), 0},
        {"WizardDefaults", false, wizard.Progressive, wizard.Subsample, wizard.OptimizeCoding,
         wizard.HighAccuracy, wizard.Scale, wizard.LibjpegSmoothing()},
        {"SubsampledSmoothedIntegerDct", false, true, true, false, false, 200, 60},
    };
    const Bitmap src = noise(45, 37, 21);
    for (const Case& c : cases) {
        TJPEGImage jpg;
        jpg.Grayscale = c.gray;
        jpg.ProgressiveEncoding = c.progressive;
        jpg.CompressJpeg(src, c.subsample, c.optimize, c.highAccuracy, c.scale, c.smoothing);
        EXPECT_EQ(jpg.Data(), referenceEncode(src, c.gray, c.progressive, c.subsample, c.optimize,
                                              c.highAccuracy, c.scale, c.smoothing))
            << c.name;
    }
}

TEST(JpegEncode, WizardDefaultsAreBaselineFullResolutionScale48) {
    const TJpegSettings s;
    TJPEGImage jpg;
    jpg.ProgressiveEncoding = s.Progressive;
    jpg.CompressJpeg(gradient(32, 32), s.Subsample, s.OptimizeCoding, s.HighAccuracy, s.Scale,
                     s.LibjpegSmoothing());
    const auto& data = jpg.Data();
    EXPECT_EQ(data[frameOffset(data) + 1], 0xC0);
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&d, TRUE);
    EXPECT_EQ(d.comp_info[0].h_samp_factor, 1);
    EXPECT_EQ(d.comp_info[0].v_samp_factor, 1);
    // 48 percent of the standard luminance table's first entries 16 and 11.
    EXPECT_EQ(d.quant_tbl_ptrs[0]->quantval[0], (16 * 48 + 50) / 100);
    EXPECT_EQ(d.quant_tbl_ptrs[0]->quantval[1], (11 * 48 + 50) / 100);
    jpeg_destroy_decompress(&d);
}

TEST(JpegEncode, SamplingFactorsFollowSubsample) {
    const Bitmap src = gradient(32, 32);
    for (bool subsample : {false, true}) {
        const auto data = encode(src, 50, false, false, subsample);
        jpeg_decompress_struct d;
        jpeg_error_mgr err;
        d.err = jpeg_std_error(&err);
        jpeg_create_decompress(&d);
        jpeg_mem_src(&d, data.data(), static_cast<unsigned long>(data.size()));
        jpeg_read_header(&d, TRUE);
        EXPECT_EQ(d.comp_info[0].h_samp_factor, subsample ? 2 : 1);
        EXPECT_EQ(d.comp_info[0].v_samp_factor, subsample ? 2 : 1);
        // Linear scaling: percent of the standard table, clamped to 1..255.
        const int expectedFirst = std::clamp((16 * 50 + 50) / 100, 1, 255);
        EXPECT_EQ(d.quant_tbl_ptrs[0]->quantval[0], expectedFirst);
        jpeg_destroy_decompress(&d);
    }
}

TEST(JpegEncode, LargeScaleStaysBaseline) {
    const auto data = encode(gradient(16, 16), 512);
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&d, TRUE);
    for (int i = 0; i < DCTSIZE2; ++i) {
        EXPECT_GE(d.quant_tbl_ptrs[0]->quantval[i], 1);
        EXPECT_LE(d.quant_tbl_ptrs[0]->quantval[i], 255);
    }
    jpeg_destroy_decompress(&d);
    EXPECT_EQ(data[frameOffset(data) + 1], 0xC0); // baseline frame
}

TEST(JpegEncode, PaletteBitmapsAreEncodedThroughTheirColours) {
    for (int depth : {1, 4, 8}) {
        Bitmap src(40, 24, depth);
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 40; ++x)
                src.SetPixelIndex(x, y, x < 20 ? 0 : int(src.palette.size()) - 1);
        Bitmap expected = src;
        expected.SetDepth(24);
        // Sharp edges ring a little even at the finest scale.
        EXPECT_LE(maxDiff(expected, decode(encode(src, 1))), 40) << depth;
        const Bitmap back = decode(encode(src, 1));
        EXPECT_LE(maxDiff(expected, back), 40) << depth;
        EXPECT_EQ(back.PixelColor(2, 2), expected.PixelColor(2, 2)) << depth;
    }
}

TEST(JpegEncode, SmoothingAboveLibjpegRangeDoesNotWrap) {
    const Bitmap src(32, 32, 24);
    Bitmap white = src;
    white.Fill(0xFFFFFF);
    TJPEGImage jpg;
    jpg.CompressJpeg(white, true, true, true, 1, 255);
    Bitmap out;
    jpg.DecodeToBitmap(out);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_GE(RedOf(out.PixelColor(x, y)), 240);
}

TEST(JpegEncode, EmptyBitmapGivesEmptyDataWithoutError) {
    TJPEGImage jpg;
    jpg.CompressJpeg(gradient(8, 8), false, true, true, 48, 0);
    ASSERT_FALSE(jpg.Empty());
    const Bitmap empty;
    jpg.CompressJpeg(empty, false, true, true, 48, 0);
    EXPECT_TRUE(jpg.Empty());
    TMemoryStream out;
    jpg.SaveToStream(out);
    EXPECT_EQ(out.Size(), 0);
    Bitmap zeroWidth(0, 10, 24);
    jpg.CompressJpeg(zeroWidth, false, true, true, 48, 0);
    EXPECT_TRUE(jpg.Empty());
}

TEST(JpegEncode, ProgressAtStartAndEnd) {
    std::vector<int> seen;
    TJPEGImage jpg;
    jpg.OnProgress = [&](int p) { seen.push_back(p); };
    jpg.CompressJpeg(gradient(64, 64), false, true, true, 48, 0);
    EXPECT_EQ(seen, (std::vector<int>{0, 100}));
}

TEST(JpegEncode, AbortDropsTheCompressedData) {
    TJPEGImage jpg;
    jpg.AbortRequested = [] { return true; };
    jpg.CompressJpeg(gradient(64, 64), false, true, true, 48, 0);
    EXPECT_TRUE(jpg.Empty());
}

TEST(JpegEncode, SaveToFileWritesTheData) {
    const auto path = std::filesystem::temp_directory_path() / "lumara_jpeg_save_test.jpg";
    TJPEGImage jpg;
    jpg.CompressJpeg(gradient(20, 10), false, true, true, 48, 0);
    jpg.SaveToFile(path.string());
    TJPEGImage back;
    back.LoadFromFile(path.string());
    EXPECT_EQ(back.Data(), jpg.Data());
    EXPECT_EQ(back.Width(), 20);
    std::filesystem::remove(path);
}

// ---- Gray.

TEST(JpegGray, GrayFlagEncodesOneChannelAndGrayJpegsDecodeGray) {
    const Bitmap src = gradient(40, 30);
    TJPEGImage jpg;
    jpg.Grayscale = true;
    jpg.CompressJpeg(src, false, true, true, 2, 0);
    EXPECT_EQ(jpg.Components(), 1);
    EXPECT_TRUE(jpg.IsGray());
    EXPECT_EQ(jpg.BitsPerPixel(), 8);

    TJPEGImage reader;
    reader.LoadFromMemory(jpg.Data().data(), jpg.Data().size());
    Bitmap out;
    reader.DecodeToBitmap(out); // no gray flag: the file decides
    ASSERT_EQ(out.Depth(), 8);
    ASSERT_EQ(out.palette.size(), 256u);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(out.palette[size_t(i)], MakeColor(i, i, i));
    // Luminance of the source within a few levels.
    for (int y = 0; y < 30; y += 7)
        for (int x = 0; x < 40; x += 9) {
            const uint32_t c = src.PixelColor(x, y);
            const int lum = (RedOf(c) * 299 + GreenOf(c) * 587 + BlueOf(c) * 114) / 1000;
            EXPECT_NEAR(out.PixelIndex(x, y), lum, 4);
        }
}

TEST(JpegGray, GrayFlagTurnsColourIntoGray) {
    const auto data = encode(gradient(40, 30));
    for (auto format : {JpegPixelFormat::Bits24, JpegPixelFormat::Bits8}) {
        TJPEGImage jpg;
        jpg.LoadFromMemory(data.data(), data.size());
        jpg.Grayscale = true;
        jpg.PixelFormat = format;
        Bitmap out;
        jpg.DecodeToBitmap(out);
        EXPECT_EQ(out.Depth(), 8);
        EXPECT_EQ(out.palette, GrayPalette(256));
    }
}

// ---- Scales.

TEST(JpegScaleDecode, SizesRoundUp) {
    const auto data = encode(gradient(101, 75));
    struct Case {
        JpegScale scale;
        int w, h;
    };
    const Case cases[] = {{JpegScale::FullSize, 101, 75},
                          {JpegScale::Half, 51, 38},
                          {JpegScale::Quarter, 26, 19},
                          {JpegScale::Eighth, 13, 10}};
    TJPEGImage jpg;
    jpg.LoadFromMemory(data.data(), data.size());
    for (const Case& c : cases) {
        const Bitmap out = decode(data, c.scale);
        EXPECT_EQ(out.Width(), c.w);
        EXPECT_EQ(out.Height(), c.h);
        EXPECT_EQ(jpg.ScaledWidth(c.scale), c.w);
        EXPECT_EQ(jpg.ScaledHeight(c.scale), c.h);
    }
}

TEST(JpegScaleDecode, ReducedPictureMatchesTheSourceColours) {
    Bitmap src(64, 64, 24);
    src.Fill(MakeColor(200, 100, 50));
    const Bitmap out = decode(encode(src, 1), JpegScale::Eighth);
    ASSERT_EQ(out.Width(), 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const uint32_t c = out.PixelColor(x, y);
            EXPECT_NEAR(RedOf(c), 200, 2);
            EXPECT_NEAR(GreenOf(c), 100, 2);
            EXPECT_NEAR(BlueOf(c), 50, 2);
        }
}

// ---- CMYK.

TEST(JpegCmyk, PlainAdobeInvertedAndYcckShowTheSameColour) {
    struct Case {
        uint8_t ink[4];
        uint32_t rgb;
    };
    const Case colours[] = {
        {{0, 255, 255, 0}, MakeColor(255, 0, 0)},
        {{0, 0, 0, 0}, MakeColor(255, 255, 255)},
        {{0, 0, 0, 255}, MakeColor(0, 0, 0)},
        // 255 * (255 - ink) * (255 - K) / 255^2 per channel
        {{0, 128, 255, 64}, MakeColor(191, 96, 0)},
    };
    for (CmykKind kind : {CmykKind::Plain, CmykKind::Adobe, CmykKind::Ycck}) {
        for (const Case& c : colours) {
            const auto data = cmykJpeg(24, 16, c.ink, kind);
            TJPEGImage jpg;
            jpg.LoadFromMemory(data.data(), data.size());
            EXPECT_EQ(jpg.Components(), 4);
            EXPECT_EQ(jpg.ColorSpace(),
                      kind == CmykKind::Ycck ? JpegColorSpace::YCCK : JpegColorSpace::CMYK);
            EXPECT_EQ(jpg.IsAdobeInverted(), kind != CmykKind::Plain);
            Bitmap out;
            jpg.DecodeToBitmap(out);
            ASSERT_EQ(out.Depth(), 24);
            const uint32_t got = out.PixelColor(12, 8);
            EXPECT_NEAR(RedOf(got), RedOf(c.rgb), 3) << int(kind);
            EXPECT_NEAR(GreenOf(got), GreenOf(c.rgb), 3) << int(kind);
            EXPECT_NEAR(BlueOf(got), BlueOf(c.rgb), 3) << int(kind);
        }
    }
}

TEST(JpegCmyk, GrayFlagAndScaleWork) {
    const uint8_t red[4] = {0, 255, 255, 0};
    const auto data = cmykJpeg(32, 16, red, CmykKind::Adobe);
    TJPEGImage jpg;
    jpg.LoadFromMemory(data.data(), data.size());
    jpg.Grayscale = true;
    jpg.Scale = JpegScale::Half;
    Bitmap out;
    jpg.DecodeToBitmap(out);
    EXPECT_EQ(out.Width(), 16);
    EXPECT_EQ(out.Depth(), 8);
    EXPECT_NEAR(out.PixelIndex(4, 4), 77, 3); // luminance of pure red
}

TEST(JpegCmyk, EightBitFormatReducesToAtMost236Colours) {
    const uint8_t red[4] = {0, 255, 255, 0};
    for (int dither : {0, 1, 2, kDefaultDither}) {
        const auto data = cmykJpeg(40, 24, red, CmykKind::Adobe);
        TJPEGImage jpg;
        jpg.LoadFromMemory(data.data(), data.size());
        jpg.PixelFormat = JpegPixelFormat::Bits8;
        Bitmap out;
        jpg.DecodeToBitmap(out, dither);
        ASSERT_EQ(out.Depth(), 8);
        ASSERT_GE(out.palette.size(), 1u);
        ASSERT_LE(out.palette.size(), 236u);
        const uint32_t c = out.PixelColor(20, 12);
        EXPECT_NEAR(RedOf(c), 255, 12) << dither;
        EXPECT_NEAR(GreenOf(c), 0, 12) << dither;
        EXPECT_NEAR(BlueOf(c), 0, 12) << dither;
    }
    const auto data = cmykJpeg(40, 24, red, CmykKind::Plain);
    TJPEGImage jpg;
    jpg.LoadFromMemory(data.data(), data.size());
    jpg.PixelFormat = JpegPixelFormat::Bits8;
    jpg.ColorMap = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    Bitmap out;
    jpg.DecodeToBitmap(out, 2);
    EXPECT_EQ(out.palette, jpg.ColorMap);
    EXPECT_EQ(out.PixelIndex(3, 3), 1);
}

// ---- The quantizer used for CMYK.

TEST(ColorQuantizer, MedianCutKeepsFewColoursExactly) {
    Bitmap b(30, 10, 24);
    const uint32_t colours[3] = {0xFF0000, 0x00FF00, 0x202020};
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 30; ++x) {
            uint8_t* p = b.ScanLine(y) + 3 * x;
            const uint32_t c = colours[x / 10];
            p[0] = uint8_t(BlueOf(c));
            p[1] = uint8_t(GreenOf(c));
            p[2] = uint8_t(RedOf(c));
        }
    const Palette pal = MedianCutPalette(b, 236);
    ASSERT_EQ(pal.size(), 3u);
    for (int dither : {0, 1, 2}) {
        Bitmap out;
        MapToPalette(b, out, pal, dither);
        // Colours of 5-bit bins come back within half a bin.
        EXPECT_LE(maxDiff(b, out), 4) << dither;
    }
    EXPECT_TRUE(MedianCutPalette(Bitmap(), 236).empty());
}

TEST(ColorQuantizer, GradientWithinAFewLevelsOnAverage) {
    const Bitmap src = gradient(120, 80);
    const Palette pal = MedianCutPalette(src, 236);
    EXPECT_LE(pal.size(), 236u);
    EXPECT_GT(pal.size(), 200u);
    for (int dither : {0, 1, 2}) {
        Bitmap out;
        MapToPalette(src, out, pal, dither);
        long long sum = 0;
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 120; ++x) {
                const uint32_t a = src.PixelColor(x, y), b = out.PixelColor(x, y);
                sum += std::abs(RedOf(a) - RedOf(b)) + std::abs(GreenOf(a) - GreenOf(b)) +
                       std::abs(BlueOf(a) - BlueOf(b));
            }
        EXPECT_LT(double(sum) / (3.0 * 120 * 80), 8.0) << dither;
    }
}

// ---- 236 colours.

struct QuantCase {
    const char* name;
    int dither;
    bool speed;
};

class JpegQuantize : public ::testing::TestWithParam<QuantCase> {};

TEST_P(JpegQuantize, AtMost236ColoursCloseToTheSource) {
    const Bitmap src = gradient(96, 64);
    const auto data = encode(src, 2);
    TJPEGImage jpg;
    jpg.LoadFromMemory(data.data(), data.size());
    jpg.PixelFormat = JpegPixelFormat::Bits8;
    jpg.Speed = GetParam().speed;
    Bitmap out;
    jpg.DecodeToBitmap(out, GetParam().dither);
    ASSERT_EQ(out.Depth(), 8);
    ASSERT_LE(out.palette.size(), 236u);
    ASSERT_GT(out.palette.size(), 16u);
    std::set<int> used;
    long long sum = 0;
    for (int y = 0; y < out.Height(); ++y)
        for (int x = 0; x < out.Width(); ++x) {
            const int i = out.PixelIndex(x, y);
            ASSERT_LT(size_t(i), out.palette.size());
            used.insert(i);
            const uint32_t a = src.PixelColor(x, y), b = out.PixelColor(x, y);
            sum += std::abs(RedOf(a) - RedOf(b)) + std::abs(GreenOf(a) - GreenOf(b)) +
                   std::abs(BlueOf(a) - BlueOf(b));
        }
    EXPECT_LE(used.size(), 236u);
    // Mean error per channel stays small with any dither.
    EXPECT_LT(double(sum) / (3.0 * out.Width() * out.Height()), 20.0);
}

INSTANTIATE_TEST_SUITE_P(Dither, JpegQuantize,
                         ::testing::Values(QuantCase{"Ordered", 0, false},
                                           QuantCase{"FloydSteinberg", 1, false},
                                           QuantCase{"FloydSteinberg3", 3, false},
                                           QuantCase{"None", 2, false},
                                           QuantCase{"SpeedDefault", kDefaultDither, true},
                                           QuantCase{"QualityDefault", kDefaultDither, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JpegQuantizeMap, GivenPaletteIsTheColourMap) {
    Palette map;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                map.push_back(MakeColor(r * 51, g * 51, b * 51));
    const auto data = encode(gradient(50, 40));
    for (int dither : {0, 1, 2}) {
        TJPEGImage jpg;
        jpg.LoadFromMemory(data.data(), data.size());
        jpg.PixelFormat = JpegPixelFormat::Bits8;
        jpg.ColorMap = map;
        Bitmap out;
        jpg.DecodeToBitmap(out, dither);
        ASSERT_EQ(out.palette, map);
        for (int y = 0; y < out.Height(); ++y)
            for (int x = 0; x < out.Width(); ++x)
                ASSERT_LT(out.PixelIndex(x, y), 216);
    }
}

// ---- Progress and abort.

TEST(JpegProgress, PercentAfterEachBatchOfRows) {
    const auto data = encode(gradient(30, 100));
    TJPEGImage jpg;
    jpg.LoadFromMemory(data.data(), data.size());
    std::vector<int> seen;
    jpg.OnProgress = [&](int p) { seen.push_back(p); };
    Bitmap out;
    jpg.DecodeToBitmap(out);
    // 100 rows in batches of 16: 16, 32, 48, 64, 80, 96, 100 rows done.
    EXPECT_EQ(seen, (std::vector<int>{16, 32, 48, 64, 80, 96, 100}));
    EXPECT_FALSE(jpg.LastDecodeAborted());
}

TEST(JpegProgress, AbortKeepsWhatWasDecoded) {
    Bitmap src(40, 64, 24);
    src.Fill(0xFFFFFF);
    const auto data = encode(src, 1);
    TJPEGImage jpg;
    jpg.LoadFromMemory(data.data(), data.size());
    int calls = 0;
    jpg.OnProgress = [&](int) { ++calls; };
    jpg.AbortRequested = [&] { return calls >= 2; };
    Bitmap out;
    EXPECT_NO_THROW(jpg.DecodeToBitmap(out));
    EXPECT_TRUE(jpg.LastDecodeAborted());
    EXPECT_EQ(calls, 2);
    ASSERT_EQ(out.Height(), 64);
    EXPECT_GE(RedOf(out.PixelColor(5, 31)), 250); // decoded
    EXPECT_EQ(out.PixelColor(5, 32), 0u);         // never reached
}

TEST(JpegProgress, AbortWhileAProgressiveFileIsRead) {
    const auto data = encode(gradient(64, 64), 10, false, true);
    TJPEGImage jpg;
    jpg.LoadFromMemory(data.data(), data.size());
    int progress = 0;
    jpg.OnProgress = [&](int) { ++progress; };
    jpg.AbortRequested = [] { return true; };
    Bitmap out;
    EXPECT_NO_THROW(jpg.DecodeToBitmap(out));
    EXPECT_TRUE(jpg.LastDecodeAborted());
    EXPECT_EQ(progress, 0);
    EXPECT_EQ(out.Width(), 64);
}

TEST(JpegProgressiveDisplay, EveryScanIsShownAndTheLastIsTheWholePicture) {
    const auto data = encode(noise(40, 40, 9), 10, false, true); // 10 scans
    TJPEGImage jpg;
    jpg.LoadFromMemory(data.data(), data.size());
    jpg.ProgressiveDisplay = true;
    int passes = 0;
    Bitmap first;
    jpg.OnPass = [&](const Bitmap& b) {
        if (++passes == 1) first = b;
    };
    Bitmap out;
    jpg.DecodeToBitmap(out);
    EXPECT_EQ(passes, 10);
    EXPECT_EQ(maxDiff(out, decode(data)), 0);
    EXPECT_GT(maxDiff(first, out), 0); // the first pass is only the DC scan

    // Files with no more than one scan decode once.
    const auto baseline = encode(noise(40, 40, 9), 10);
    jpg.LoadFromMemory(baseline.data(), baseline.size());
    passes = 0;
    jpg.DecodeToBitmap(out);
    EXPECT_EQ(passes, 0);
}

TEST(JpegProgressiveDisplay, ManyScansAreShownAFewTimesOnly) {
    const auto data = manyScanJpeg(48, 32, 64);
    TJPEGImage jpg;
    jpg.LoadFromMemory(data.data(), data.size());
    EXPECT_TRUE(jpg.IsProgressive());
    jpg.ProgressiveDisplay = true;
    int passes = 0;
    jpg.OnPass = [&](const Bitmap&) { ++passes; };
    Bitmap out;
    jpg.DecodeToBitmap(out);
    EXPECT_EQ(passes, 12);
    EXPECT_EQ(maxDiff(out, decode(data)), 0);
}

TEST(JpegProgressiveDisplay, AbortBetweenPasses) {
    const auto data = encode(noise(40, 40, 9), 10, false, true);
    TJPEGImage jpg;
    jpg.LoadFromMemory(data.data(), data.size());
    jpg.ProgressiveDisplay = true;
    int passes = 0;
    jpg.OnPass = [&](const Bitmap&) { ++passes; };
    jpg.AbortRequested = [&] { return passes >= 3; };
    Bitmap out;
    EXPECT_NO_THROW(jpg.DecodeToBitmap(out));
    EXPECT_TRUE(jpg.LastDecodeAborted());
    EXPECT_EQ(passes, 3);
}

// ---- Comments.

TEST(JpegComment, InsertedRightAfterTheFirstSegment) {
    const auto data = encode(gradient(16, 16));
    ASSERT_EQ(data[2], 0xFF);
    ASSERT_EQ(data[3], 0xE0); // JFIF APP0
    const size_t app0 = size_t(data[4] << 8 | data[5]);
    const std::string text = "Encoded with Lumara 5.7 - a test";
    TMemoryStream src(data.data(), data.size());
    src.SetPosition(7); // the copy starts from the beginning whatever the position
    TMemoryStream dst;
    InsertJpegComment(src, dst, text);
    const auto& out = dst.Data();
    ASSERT_EQ(out.size(), data.size() + 4 + text.size());
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + long(app0 + 4), out.begin()));
    const size_t c = app0 + 4;
    EXPECT_EQ(out[c], 0xFF);
    EXPECT_EQ(out[c + 1], 0xFE);
    EXPECT_EQ(size_t(out[c + 2] << 8 | out[c + 3]), text.size() + 2);
    EXPECT_EQ(std::string(out.begin() + long(c + 4), out.begin() + long(c + 4 + text.size())),
              text);
    EXPECT_TRUE(std::equal(data.begin() + long(app0 + 4), data.end(),
                           out.begin() + long(c + 4 + text.size())));

    // libjpeg reads it back as the comment, and the picture is unchanged.
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_save_markers(&d, JPEG_COM, 0xFFFF);
    jpeg_mem_src(&d, out.data(), static_cast<unsigned long>(out.size()));
    jpeg_read_header(&d, TRUE);
    ASSERT_NE(d.marker_list, nullptr);
    EXPECT_EQ(
        std::string(reinterpret_cast<const char*>(d.marker_list->data), d.marker_list->data_length),
        text);
    jpeg_destroy_decompress(&d);
    EXPECT_EQ(maxDiff(decode(data), decode(out)), 0);
}

TEST(JpegComment, EmptyTextGivesLengthTwo) {
    const auto data = encode(gradient(8, 8));
    TMemoryStream src(data.data(), data.size());
    TMemoryStream dst;
    InsertJpegComment(src, dst, "");
    const size_t c = size_t(data[4] << 8 | data[5]) + 4;
    EXPECT_EQ(dst.Data()[c + 2], 0);
    EXPECT_EQ(dst.Data()[c + 3], 2);
}

TEST(JpegComment, SourcesThatAreNotJpegAreRefused) {
    const std::vector<std::vector<uint8_t>> bad = {
        {},
        {0xFF, 0xD8},
        {0x89, 'P', 'N', 'G', 0, 16, 0, 0},
        {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0, 0}, // segment longer than the data
        {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02, 0, 0}, // image data follows at once
        {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01, 0, 0}, // impossible length
    };
    for (const auto& b : bad) {
        TMemoryStream src(b.data(), b.size());
        TMemoryStream dst;
        try {
            InsertJpegComment(src, dst, "x");
            ADD_FAILURE() << "accepted " << b.size() << " bytes";
        } catch (const EJpegError& e) {
            EXPECT_STREQ(e.what(), "Not a JPEG stream");
        }
    }
    const auto data = encode(gradient(8, 8));
    TMemoryStream src(data.data(), data.size());
    TMemoryStream dst;
    EXPECT_THROW(InsertJpegComment(src, dst, std::string(65534, 'a')), EJpegError);
}

// ---- Probing.

TEST(JpegProbe, ReadsTheFrameHeaderWithoutDecoding) {
    const auto baseline = encode(gradient(123, 45));
    const auto progressive = encode(gradient(7, 300), 2, true, true);
    auto p = ProbeJpeg(baseline.data(), baseline.size());
    ASSERT_TRUE(p.has_value());
    EXPECT_TRUE(p->HasFrame);
    EXPECT_EQ(p->Width, 123);
    EXPECT_EQ(p->Height, 45);
    EXPECT_EQ(p->Components, 3);
    EXPECT_EQ(p->Precision, 8);
    EXPECT_FALSE(p->Progressive);

    p = ProbeJpeg(progressive.data(), progressive.size());
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->Width, 7);
    EXPECT_EQ(p->Height, 300);
    EXPECT_EQ(p->Components, 1);
    EXPECT_TRUE(p->Progressive);

    const auto path = std::filesystem::temp_directory_path() / "lumara_jpeg_probe_test.jpg";
    WriteWholeFile(path.string(), baseline.data(), baseline.size());
    p = ProbeJpegFile(path.string());
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->Width, 123);
    EXPECT_EQ(p->Height, 45);
    std::filesystem::remove(path);
    EXPECT_THROW(ProbeJpegFile(path.string()), EFOpenError);
}

TEST(JpegProbe, FileWithLargeSegmentsBeforeTheFrame) {
    const auto data = encode(gradient(33, 22));
    TMemoryStream src(data.data(), data.size());
    TMemoryStream withComment;
    InsertJpegComment(src, withComment, std::string(60000, 'c'));
    const auto path = std::filesystem::temp_directory_path() / "lumara_jpeg_probe_big.jpg";
    WriteWholeFile(path.string(), withComment.Data().data(), withComment.Data().size());
    const auto p = ProbeJpegFile(path.string());
    std::filesystem::remove(path);
    ASSERT_TRUE(p.has_value());
    EXPECT_TRUE(p->HasFrame);
    EXPECT_EQ(p->Width, 33);
    EXPECT_EQ(p->Height, 22);
}

TEST(JpegLoad, StreamIsReadFromItsPosition) {
    auto data = encode(gradient(9, 5));
    std::vector<uint8_t> prefixed = {1, 2, 3};
    prefixed.insert(prefixed.end(), data.begin(), data.end());
    TMemoryStream s(prefixed.data(), prefixed.size());
    s.SetPosition(3);
    TJPEGImage jpg;
    jpg.LoadFromStream(s);
    EXPECT_EQ(jpg.Data(), data);
    EXPECT_EQ(jpg.Width(), 9);
    EXPECT_EQ(s.Position(), int64_t(prefixed.size()));
}

TEST(JpegProbe, NotJpegOrNoFrame) {
    const uint8_t png[] = {0x89, 'P', 'N', 'G', 13, 10, 26, 10};
    EXPECT_FALSE(ProbeJpeg(png, sizeof png).has_value());
    EXPECT_FALSE(ProbeJpeg(nullptr, 0).has_value());
    const uint8_t soiOnly[] = {0xFF, 0xD8};
    auto p = ProbeJpeg(soiOnly, sizeof soiOnly);
    ASSERT_TRUE(p.has_value());
    EXPECT_FALSE(p->HasFrame);
    const uint8_t cut[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F'};
    p = ProbeJpeg(cut, sizeof cut);
    ASSERT_TRUE(p.has_value());
    EXPECT_FALSE(p->HasFrame);
}

// ---- Bad input.

TEST(JpegBadInput, TruncatedFileDecodesWhatIsThere) {
    const Bitmap src = noise(64, 64, 7);
    const auto full = encode(src, 2);
    const std::vector<uint8_t> cut(full.begin(), full.begin() + long(full.size() / 2));
    TJPEGImage jpg;
    jpg.LoadFromMemory(cut.data(), cut.size());
    Bitmap out;
    ASSERT_NO_THROW(jpg.DecodeToBitmap(out));
    EXPECT_EQ(out.Width(), 64);
    EXPECT_EQ(out.Height(), 64);
    EXPECT_GE(jpg.WarningCount(), 1);
    EXPECT_EQ(jpg.FirstWarning(), "Premature end of JPEG file");
    // The first rows are there.
    const Bitmap whole = decode(full);
    for (int x = 0; x < 64; ++x)
        ASSERT_EQ(out.PixelColor(x, 0), whole.PixelColor(x, 0));
}

TEST(JpegBadInput, EveryTruncationIsSafe) {
    const auto full = encode(noise(24, 24, 3), 10, false, true);
    for (size_t n = 0; n < full.size(); n += 7) {
        const std::vector<uint8_t> cut(full.begin(), full.begin() + long(n));
        TJPEGImage jpg;
        try {
            jpg.LoadFromMemory(cut.data(), cut.size());
            Bitmap out;
            jpg.DecodeToBitmap(out);
        } catch (const EJpegError&) {
        }
    }
}

TEST(JpegBadInput, MessagesOfLibjpeg) {
    EXPECT_EQ(decodeError({0x89, 'P', 'N', 'G', 13, 10, 26, 10}),
              "Not a JPEG file: starts with 0x89 0x50");
    EXPECT_EQ(decodeError({}), "Empty input file");
    auto data = encode(gradient(16, 16));
    data[frameOffset(data) + 9] = 7; // components
    EXPECT_FALSE(decodeError(data).empty());
    auto zero = encode(gradient(16, 16));
    setFrameSize(zero, 0, 16);
    EXPECT_EQ(decodeError(zero), "Empty JPEG image (DNL not supported)");
}

TEST(JpegBadInput, LoadFailureLeavesTheObjectEmpty) {
    TJPEGImage jpg;
    const auto good = encode(gradient(8, 8));
    jpg.LoadFromMemory(good.data(), good.size());
    const uint8_t bad[] = {1, 2, 3};
    EXPECT_THROW(jpg.LoadFromMemory(bad, sizeof bad), EJpegError);
    EXPECT_TRUE(jpg.Empty());
    EXPECT_EQ(jpg.Width(), 0);
    Bitmap out;
    try {
        jpg.DecodeToBitmap(out);
        ADD_FAILURE();
    } catch (const EJpegError& e) {
        EXPECT_STREQ(e.what(), "No JPEG data to decode");
    }
    EXPECT_THROW(jpg.LoadFromFile("/nonexistent/lumara.jpg"), EFOpenError);

    const auto path = std::filesystem::temp_directory_path() / "lumara_jpeg_not_jpeg.jpg";
    const struct {
        std::vector<uint8_t> bytes;
        const char* message;
    } files[] = {{{'B', 'M', 0, 0}, "Not a JPEG file: starts with 0x42 0x4d"},
                 {{}, "Empty input file"},
                 {{0xFF}, "Not a JPEG file: starts with 0xff 0xff"},
                 {{0xFF, 0xD8}, "JPEG datastream contains no image"}};
    for (const auto& f : files) {
        WriteWholeFile(path.string(), f.bytes.data(), f.bytes.size());
        try {
            jpg.LoadFromFile(path.string());
            ADD_FAILURE() << f.message;
        } catch (const EJpegError& e) {
            EXPECT_STREQ(e.what(), f.message);
        }
        EXPECT_TRUE(jpg.Empty());
    }
    std::filesystem::remove(path);
}

TEST(JpegBadInput, CorruptEntropyDataNeverCrashes) {
    const auto good = encode(noise(48, 48, 11), 5, false, true);
    const size_t start = frameOffset(good);
    unsigned seed = 1;
    for (int round = 0; round < 300; ++round) {
        auto data = good;
        for (int k = 0; k < 4; ++k) {
            seed = seed * 1103515245u + 12345u;
            const size_t at = start + (seed >> 8) % (data.size() - start);
            data[at] = uint8_t(seed >> 3);
        }
        TJPEGImage jpg;
        try {
            jpg.LoadFromMemory(data.data(), data.size());
            Bitmap out;
            jpg.DecodeToBitmap(out);
            EXPECT_EQ(out.Width(), jpg.Width());
        } catch (const EJpegError& e) {
            EXPECT_GT(std::string(e.what()).size(), 0u);
        }
    }
}

TEST_F(JpegLimits, HugeHeaderWithTinyDataIsRefused) {
    auto data = encode(gradient(16, 16));
    setFrameSize(data, 65500, 65500);
    TJPEGImage jpg;
    jpg.LoadFromMemory(data.data(), data.size());
    EXPECT_EQ(jpg.Width(), 65500);
    Bitmap out;
    try {
        jpg.DecodeToBitmap(out);
        ADD_FAILURE();
    } catch (const EJpegError& e) {
        EXPECT_STREQ(e.what(), "JPEG image too large (65500x65500)");
    }
    EXPECT_TRUE(out.Empty());

    // Within the pixel limit but far beyond what the data could describe,
    // whatever the decoding scale.
    setFrameSize(data, 20000, 20000);
    jpg.LoadFromMemory(data.data(), data.size());
    jpg.Scale = JpegScale::Eighth;
    try {
        jpg.DecodeToBitmap(out);
        ADD_FAILURE();
    } catch (const EJpegError& e) {
        EXPECT_EQ(std::string(e.what()), "JPEG image of 20000x20000 has too little data (" +
                                             std::to_string(data.size()) + " bytes)");
    }
}

TEST_F(JpegLimits, PixelLimitAppliesToTheScaledSize) {
    const auto data = encode(gradient(64, 64));
    TJPEGImage::SetMaxImagePixels(32 * 32);
    TJPEGImage jpg;
    jpg.LoadFromMemory(data.data(), data.size());
    Bitmap out;
    EXPECT_THROW(jpg.DecodeToBitmap(out), EJpegError);
    jpg.Scale = JpegScale::Half;
    EXPECT_NO_THROW(jpg.DecodeToBitmap(out));
    EXPECT_EQ(out.Width(), 32);
}

TEST_F(JpegLimits, TooManyScansAreRefused) {
    const auto data = encode(gradient(64, 64), 10, false, true); // 10 scans
    TJPEGImage::SetMaxScans(5);
    EXPECT_EQ(decodeError(data), "Progressive JPEG image has more than 5 scans");
    TJPEGImage::SetMaxScans(10);
    EXPECT_EQ(decodeError(data), "");
}

TEST_F(JpegLimits, ScanLimitAlsoInProgressiveDisplay) {
    const auto data = manyScanJpeg(16, 16, 64);
    TJPEGImage::SetMaxScans(20);
    EXPECT_EQ(decodeError(data), "Progressive JPEG image has more than 20 scans");
    TJPEGImage jpg;
    jpg.LoadFromMemory(data.data(), data.size());
    jpg.ProgressiveDisplay = true;
    Bitmap out;
    try {
        jpg.DecodeToBitmap(out);
        ADD_FAILURE();
    } catch (const EJpegError& e) {
        EXPECT_STREQ(e.what(), "Progressive JPEG image has more than 20 scans");
    }
}

TEST_F(JpegLimits, LibjpegMemoryIsBounded) {
    const auto data = encode(gradient(512, 512), 10, false, true);
    TJPEGImage::SetMaxMemory(256 * 1024); // less than the coefficient buffer
    EXPECT_FALSE(decodeError(data).empty());
    TJPEGImage::SetMaxMemory(uint64_t(2) << 30);
    EXPECT_EQ(decodeError(data), "");
}

// ---- Against libjpeg's own decode.

TEST(JpegReference, SameAsLibjpegForOwnFiles) {
    const auto baseline = encode(noise(77, 33, 5), 30, false, false, true);
    const auto progressive = encode(noise(77, 33, 6), 30, false, true, true);
    EXPECT_EQ(maxDiff(decode(baseline), referenceDecode(baseline)), 0);
    EXPECT_EQ(maxDiff(decode(progressive), referenceDecode(progressive)), 0);
}

TEST(JpegReference, CorpusJpegsDecodeAsLibjpegDoes) {
    namespace fs = std::filesystem;
    const fs::path root = LUMARA_CORPORA_DIR;
    if (!fs::exists(root)) GTEST_SKIP() << "no corpora";
    int count = 0;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        std::string ext = e.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (!e.is_regular_file() || (ext != ".jpg" && ext != ".jpeg")) continue;
        const auto data = ReadWholeFile(e.path().string());
        TJPEGImage jpg;
        jpg.LoadFromFile(e.path().string());
        Bitmap out;
        jpg.DecodeToBitmap(out);
        if (jpg.ColorSpace() == JpegColorSpace::YCbCr || jpg.ColorSpace() == JpegColorSpace::RGB) {
            EXPECT_EQ(maxDiff(out, referenceDecode(data)), 0) << e.path();
        }
        ++count;
    }
    if (count == 0) GTEST_SKIP() << "no JPEG files in the corpora";
}
