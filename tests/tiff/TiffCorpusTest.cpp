// libtiff's own test pictures: each one is read and matches libtiff's RGBA
// decode, or is refused with a message; none crashes, loops or prints.

#include "TiffTestUtil.h"
#include "codecs/model/Exceptions.h"
#include "codecs/model/Palettes.h"
#include "codecs/tiff/TTiffGraphic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

using namespace lumara;
namespace fs = std::filesystem;

namespace {

const fs::path kImages = fs::path(LUMARA_CORPORA_DIR) / "libtiff-test-images" / "images";

bool isTiff(const fs::path& p) {
    const auto ext = p.extension().string();
    return ext == ".tif" || ext == ".tiff";
}

// What each picture must give: "" = read, anything else = that message.
const std::map<std::string, std::string> kExpected = {
    {"minisblack-1c-8b.tiff", ""},
    {"miniswhite-1c-1b.tiff", ""},
    {"palette-1c-1b.tiff", ""},
    {"palette-1c-4b.tiff", ""},
    {"palette-1c-8b.tiff", ""},
    {"rgb-3c-8b.tiff", ""},
    {"rgb-3c-16b.tiff", ""},
    {"testfax4.tiff", ""},
    {"quad-tile.jpg.tiff", ""},
    {"deflate-last-strip-extra-data.tiff", ""},
    {"minisblack-1c-16b.tiff", ""},
    {"minisblack-2c-8b-alpha.tiff", ""},
    {"logluv-3c-16b.tiff", "Unsupported compression tag, 34676"},
    {"webp_lossless_rgba_alpha_fully_opaque.tif", "Unsupported compression tag, 50001"},
    {"ojpeg_chewey_subsamp21_multi_strip.tiff", "Unsupported compression tag, 6"},
    // libtiff 4.5's fax decoder itself fails on these two
    {"testfax3_bug54_1dnoEOL.tif", "ETiffError TIFFReadScanline"},
    {"testfax3_bug_513.tiff",
     "ETiffError TIFFReadScanline: Fax3Decode1D: Buffer overflow at line 0 of strip 0"},
    {"quad-lzw-compat.tiff", "LZW not supported"},
    {"lzw-single-strip.tiff", "LZW not supported"},
};

} // namespace

TEST(TiffCorpus, EveryPictureIsReadOrRefusedWithAMessage) {
    if (!fs::is_directory(kImages)) GTEST_SKIP() << "libtiff pictures not present at " << kImages;
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(kImages))
        if (isTiff(e.path())) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    ASSERT_GE(files.size(), 30u);
    int read = 0;
    for (const auto& path : files) {
        const std::string name = path.filename().string();
        SCOPED_TRACE(name);
        const auto data = tifftest::readFile(path.string());
        testing::internal::CaptureStderr();

        TTiffGraphic probe;
        try {
            probe.ReadFileHeader(path.string(), -1);
        } catch (const lumara::Exception& e) {
            EXPECT_STRNE(e.what(), "");
        }
        try {
            TMemoryStream s(data.data(), data.size());
            EXPECT_GE(probe.GetImageCount(s), 1);
        } catch (const lumara::Exception& e) {
            EXPECT_STRNE(e.what(), "");
        }

        TTiffGraphic tiff;
        std::string message;
        try {
            TMemoryStream s(data.data(), data.size());
            tiff.ReadImage(s, 1);
        } catch (const lumara::Exception& e) {
            message = e.what();
            EXPECT_NE(message, "");
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        const auto expected = kExpected.find(name);
        if (expected != kExpected.end()) EXPECT_EQ(message, expected->second);
        if (!message.empty()) {
            std::printf("  %-45s refused: %s\n", name.c_str(), message.c_str());
            continue;
        }
        ++read;
        std::printf("  %-45s read: %dx%d %s\n", name.c_str(), tiff.GetWidth(), tiff.GetHeight(),
                    ImageFormatText(tiff.ImageFormat()));

        // Whatever is read must be what libtiff's RGBA reader sees (up to
        // the rounding of 16-bit colour maps).
        uint32_t w = 0, h = 0;
        const auto ref = tifftest::libtiffRgba(data, w, h);
        if (ref.empty()) continue;
        ASSERT_EQ(tiff.GetWidth(), int(w));
        ASSERT_EQ(tiff.GetHeight(), int(h));
        int worst = 0;
        for (int y = 0; y < int(h); ++y)
            for (int x = 0; x < int(w); ++x) {
                const uint32_t a = tiff.GetPixel(x, y), b = ref[size_t(y) * w + size_t(x)];
                worst =
                    std::max({worst, std::abs(RedOf(a) - RedOf(b)),
                              std::abs(GreenOf(a) - GreenOf(b)), std::abs(BlueOf(a) - BlueOf(b))});
            }
        EXPECT_LE(worst, 1);
    }
    EXPECT_GE(read, 10);
}

TEST(TiffCorpus, FaxPicturesMatchLibtiffsReencodedCopies) {
    const fs::path refs = kImages.parent_path() / "refs";
    if (!fs::is_directory(refs)) GTEST_SKIP() << "libtiff references not present";
    for (const char* name : {"testfax4.tiff", "deflate-last-strip-extra-data.tiff"}) {
        SCOPED_TRACE(name);
        const auto ref = tifftest::readFile((refs / (std::string("o-") + name)).string());
        uint32_t w = 0, h = 0;
        const auto expected = tifftest::libtiffRgba(ref, w, h);
        ASSERT_FALSE(expected.empty());
        const auto data = tifftest::readFile((kImages / name).string());
        TTiffGraphic tiff;
        TMemoryStream s(data.data(), data.size());
        try {
            tiff.ReadImage(s, 1);
        } catch (const lumara::Exception& e) {
            ADD_FAILURE() << e.what();
            continue;
        }
        ASSERT_EQ(tiff.GetWidth(), int(w));
        ASSERT_EQ(tiff.GetHeight(), int(h));
        int differing = 0;
        for (int y = 0; y < int(h); ++y)
            for (int x = 0; x < int(w); ++x)
                if (tiff.GetPixel(x, y) != expected[size_t(y) * w + size_t(x)]) ++differing;
        EXPECT_EQ(differing, 0);
    }
}

TEST(TiffCorpus, DirectoryLoopsEnd) {
    if (!fs::is_directory(kImages)) GTEST_SKIP();
    for (const char* name : {"test_ifd_loop_to_self.tif", "test_ifd_loop_to_first.tif",
                             "test_ifd_loop_subifd.tif", "test_two_ifds.tif"}) {
        SCOPED_TRACE(name);
        const auto data = tifftest::readFile((kImages / name).string());
        TTiffGraphic tiff;
        TMemoryStream s(data.data(), data.size());
        int count = 0;
        try {
            count = tiff.GetImageCount(s);
        } catch (const lumara::Exception&) {
        }
        EXPECT_GE(count, 1);
        for (int page = 1; page <= 3; ++page) {
            try {
                TMemoryStream p(data.data(), data.size());
                tiff.ReadImage(p, page);
            } catch (const lumara::Exception& e) {
                EXPECT_STRNE(e.what(), "");
            }
        }
    }
}
