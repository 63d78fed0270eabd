// The public BMP suite: every good file decodes to its reference rendering,
// every bad one is refused with a message or decoded safely.

#include "codecs/gbm/TBmpGraphic.h"
#include "codecs/model/Exceptions.h"

#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <vector>

namespace lumara {
namespace {

namespace fs = std::filesystem;

const fs::path kSuite = fs::path(LUMARA_CORPORA_DIR) / "bmpsuite";

struct Rgb {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels; // red, green, blue from the top row
};

Rgb readPng(const fs::path& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Rgb out;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
    image.format = PNG_FORMAT_RGB;
    out.pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return Rgb{};
    }
    out.width = int(image.width);
    out.height = int(image.height);
    return out;
}

struct GoodCase {
    const char* file;      // g/ or q/ name
    const char* reference; // in html/
};

class BmpSuiteGood : public ::testing::TestWithParam<GoodCase> {};

TEST_P(BmpSuiteGood, MatchesTheReferenceRendering) {
    if (!fs::exists(kSuite)) GTEST_SKIP() << "no BMP suite at " << kSuite;
    const Rgb reference = readPng(kSuite / "html" / GetParam().reference);
    ASSERT_GT(reference.width, 0) << "cannot read " << GetParam().reference;

    TBmpGraphic image;
    image.LoadFromFile((kSuite / GetParam().file).string());
    ASSERT_EQ(image.GetWidth(), reference.width);
    ASSERT_EQ(image.GetHeight(), reference.height);
    int wrong = 0;
    for (int y = 0; y < reference.height; ++y)
        for (int x = 0; x < reference.width; ++x) {
            const uint8_t* p =
                &reference.pixels[(size_t(y) * size_t(reference.width) + size_t(x)) * 3];
            const uint32_t expected = (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
            if (image.GetPixel(x, y) != expected && wrong++ < 5)
                ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex
                              << image.GetPixel(x, y) << " instead of " << expected;
        }
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, BmpSuiteGood,
    ::testing::Values(
        GoodCase{"g/pal1.bmp", "pal1.png"}, GoodCase{"g/pal1wb.bmp", "pal1.png"},
        GoodCase{"g/pal1bg.bmp", "pal1bg.png"}, GoodCase{"g/pal4.bmp", "pal4.png"},
        GoodCase{"g/pal4gs.bmp", "pal4gs.png"}, GoodCase{"g/pal4rle.bmp", "pal4.png"},
        GoodCase{"g/pal8.bmp", "pal8.png"}, GoodCase{"g/pal8-0.bmp", "pal8.png"},
        GoodCase{"g/pal8gs.bmp", "pal8gs.png"}, GoodCase{"g/pal8rle.bmp", "pal8.png"},
        GoodCase{"g/pal8w126.bmp", "pal8w126.png"}, GoodCase{"g/pal8w125.bmp", "pal8w125.png"},
        GoodCase{"g/pal8w124.bmp", "pal8w124.png"}, GoodCase{"g/pal8topdown.bmp", "pal8.png"},
        GoodCase{"g/pal8nonsquare.bmp", "pal8nonsquare-e.png"},
        GoodCase{"g/pal8os2.bmp", "pal8.png"}, GoodCase{"g/pal8v4.bmp", "pal8.png"},
        GoodCase{"g/pal8v5.bmp", "pal8.png"}, GoodCase{"g/rgb16.bmp", "rgb16.png"},
        GoodCase{"g/rgb16bfdef.bmp", "rgb16.png"}, GoodCase{"g/rgb16-565.bmp", "rgb16-565.png"},
        GoodCase{"g/rgb16-565pal.bmp", "rgb16-565.png"}, GoodCase{"g/rgb24.bmp", "rgb24.png"},
        GoodCase{"g/rgb24pal.bmp", "rgb24.png"}, GoodCase{"g/rgb32.bmp", "rgb24.png"},
        GoodCase{"g/rgb32bfdef.bmp", "rgb24.png"}, GoodCase{"g/rgb32bf.bmp", "rgb24.png"}),
    [](const auto& info) {
        std::string name = info.param.file;
        name = name.substr(0, name.rfind('.'));
        for (char& ch : name)
            if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

// Questionable files that we read as the suite shows them (undefined pixels
// of run-length files as index 0).
INSTANTIATE_TEST_SUITE_P(
    Questionable, BmpSuiteGood,
    ::testing::Values(
        GoodCase{"q/pal1p1.bmp", "pal1p1.png"}, GoodCase{"q/pal2.bmp", "pal2.png"},
        GoodCase{"q/pal2color.bmp", "pal2color.png"},
        GoodCase{"q/pal4rletrns.bmp", "pal4rletrns-0.png"},
        GoodCase{"q/pal4rlecut.bmp", "pal4rlecut-0.png"},
        GoodCase{"q/pal8rletrns.bmp", "pal8rletrns-0.png"},
        GoodCase{"q/pal8rlecut.bmp", "pal8rlecut-0.png"}, GoodCase{"q/pal8offs.bmp", "pal8.png"},
        GoodCase{"q/pal8oversizepal.bmp", "pal8.png"}, GoodCase{"q/pal8os2-sz.bmp", "pal8.png"},
        GoodCase{"q/pal8os2-hs.bmp", "pal8.png"}, GoodCase{"q/pal8os2sp.bmp", "pal8.png"},
        GoodCase{"q/pal8os2v2.bmp", "pal8.png"}, GoodCase{"q/pal8os2v2-16.bmp", "pal8.png"},
        GoodCase{"q/pal8os2v2-sz.bmp", "pal8.png"}, GoodCase{"q/pal8os2v2-40sz.bmp", "pal8.png"},
        GoodCase{"q/rgb16faketrns.bmp", "rgb16.png"}, GoodCase{"q/rgb16-231.bmp", "rgb16-231.png"},
        GoodCase{"q/rgb16-3103.bmp", "rgb16-3103.png"},
        GoodCase{"q/rgb24largepal.bmp", "rgb24.png"}, GoodCase{"q/rgb24prof.bmp", "rgb24.png"},
        GoodCase{"q/rgb32h52.bmp", "rgb24.png"}, GoodCase{"q/rgb32-xbgr.bmp", "rgb24.png"},
        GoodCase{"q/rgb32fakealpha.bmp", "rgb24.png"}),
    [](const auto& info) {
        std::string name = info.param.file;
        name = name.substr(0, name.rfind('.'));
        for (char& ch : name)
            if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

TEST(BmpSuite, EveryGoodFileHasACase) {
    if (!fs::exists(kSuite)) GTEST_SKIP() << "no BMP suite at " << kSuite;
    int count = 0;
    for (const auto& entry : fs::directory_iterator(kSuite / "g"))
        if (entry.path().extension() == ".bmp") ++count;
    EXPECT_EQ(count, 27);
}

// Bad and questionable files: a refusal with a message, or a picture of the
// size the header gives; never a crash (the sanitizer build checks that).
TEST(BmpSuite, BadAndQuestionableFilesAreHandledSafely) {
    if (!fs::exists(kSuite)) GTEST_SKIP() << "no BMP suite at " << kSuite;
    int refused = 0, decoded = 0;
    for (const char* folder : {"b", "q", "x"})
        for (const auto& entry : fs::directory_iterator(kSuite / folder)) {
            SCOPED_TRACE(entry.path().string());
            TBmpGraphic image;
            try {
                image.LoadFromFile(entry.path().string());
                EXPECT_FALSE(image.GetEmpty());
                EXPECT_GT(image.GetWidth(), 0);
                EXPECT_GT(image.GetHeight(), 0);
                ++decoded;
            } catch (const Exception& e) {
                EXPECT_GT(std::string(e.what()).size(), 10u);
                EXPECT_TRUE(image.GetEmpty());
                ++refused;
            }
        }
    EXPECT_EQ(refused + decoded, 20 + 43 + 1);
    std::printf("BMP suite b/q/x: %d decoded, %d refused\n", decoded, refused);
}

// The bad files that describe impossible pictures are refused (others, like a
// wrong image size field, are decoded: the field is not needed).
TEST(BmpSuite, ImpossibleFilesAreRefused) {
    if (!fs::exists(kSuite)) GTEST_SKIP() << "no BMP suite at " << kSuite;
    for (const char* name :
         {"badbitcount.bmp", "badheadersize.bmp", "badplanes.bmp", "badrle.bmp", "badrle4.bmp",
          "badwidth.bmp", "pal8badindex.bmp", "reallybig.bmp", "rletopdown.bmp", "shortfile.bmp"}) {
        SCOPED_TRACE(name);
        TBmpGraphic image;
        EXPECT_THROW(image.LoadFromFile((kSuite / "b" / name).string()), EInvalidGraphic);
        EXPECT_TRUE(image.GetEmpty());
    }
}

} // namespace
} // namespace lumara
