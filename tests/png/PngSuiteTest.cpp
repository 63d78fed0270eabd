// The public PNG conformance suite: every valid file decodes like libpng's
// own decode composed the same way, survives open-save-open unchanged, and
// every corrupt file is refused with a message.

#include "PngTestUtil.h"
#include "codecs/model/Exceptions.h"
#include "codecs/png/TPngGraphic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace lumara;
namespace fs = std::filesystem;

namespace {

const fs::path kSuite = fs::path(LUMARA_CORPORA_DIR) / "pngsuite" / "png";

std::vector<fs::path> suiteFiles(bool corrupt) {
    std::vector<fs::path> out;
    if (!fs::is_directory(kSuite)) return out;
    for (const auto& e : fs::directory_iterator(kSuite)) {
        const std::string name = e.path().filename().string();
        if (e.path().extension() != ".png") continue;
        if ((name[0] == 'x') == corrupt) out.push_back(e.path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

void decode(TPngGraphic& png, const std::vector<uint8_t>& data) {
    TMemoryStream s(data.data(), data.size());
    png.LoadFromStream(s);
}

// Largest difference of any colour component between the codec's picture
// and the reference.
int maxDifference(const TPngGraphic& png, const pngtest::ReferenceImage& ref) {
    int worst = 0;
    for (int y = 0; y < png.GetHeight(); ++y)
        for (int x = 0; x < png.GetWidth(); ++x) {
            const uint32_t c = png.GetPixel(x, y);
            const uint8_t* r = &ref.rgb[(size_t(y) * ref.width + size_t(x)) * 3];
            worst = std::max({worst, std::abs(RedOf(c) - r[0]), std::abs(GreenOf(c) - r[1]),
                              std::abs(BlueOf(c) - r[2])});
        }
    return worst;
}

// The file with every chunk of the given type left out.
std::vector<uint8_t> withoutChunk(const std::vector<uint8_t>& png, const char* type) {
    std::vector<uint8_t> out(png.begin(), png.begin() + 8);
    size_t pos = 8;
    while (pos + 12 <= png.size()) {
        const uint32_t n = (uint32_t(png[pos]) << 24) | (uint32_t(png[pos + 1]) << 16) |
                           (uint32_t(png[pos + 2]) << 8) | png[pos + 3];
        const size_t end = pos + 12 + n;
        if (end > png.size()) break;
        if (std::memcmp(&png[pos + 4], type, 4) != 0)
            out.insert(out.end(), png.begin() + long(pos), png.begin() + long(end));
        pos = end;
    }
    return out;
}

struct BackgroundCase {
    const char* name;
    uint8_t rgb[3];
    bool useOwn;
};

const BackgroundCase kBackgrounds[] = {
    {"file bKGD else orange", {200, 100, 50}, false},
    {"always light gray", {204, 204, 204}, true},
    {"always black", {0, 0, 0}, true},
};

} // namespace

TEST(PngSuite, ValidFilesMatchLibpngDecode) {
    const auto files = suiteFiles(false);
    if (files.empty()) GTEST_SKIP() << "PNG suite not present at " << kSuite;
    for (const auto& bgCase : kBackgrounds) {
        for (const auto& path : files) {
            SCOPED_TRACE(path.filename().string() + " / " + bgCase.name);
            const auto data = pngtest::ReadFile(path.string());
            TPngGraphic png;
            png.BackgroundColor = uint32_t(bgCase.rgb[0]) | (uint32_t(bgCase.rgb[1]) << 8) |
                                  (uint32_t(bgCase.rgb[2]) << 16);
            png.UseBackground = bgCase.useOwn;
            testing::internal::CaptureStderr();
            ASSERT_NO_THROW(decode(png, data));
            EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
            const auto ref = pngtest::ReferenceDecode(data, bgCase.rgb, bgCase.useOwn);
            ASSERT_EQ(png.GetWidth(), int(ref.width));
            ASSERT_EQ(png.GetHeight(), int(ref.height));
            const auto facts = pngtest::ReadFacts(data);
            // The same pixels, except that gamma applied to 4-bit gray samples
            // lands on the sixteen levels those keep (one level step).
            int allowed = 0;
            if (ref.gammaCorrected && facts.bitDepth < 8 && facts.colorType == 0) allowed = 17;
            EXPECT_LE(maxDifference(png, ref), allowed);
        }
    }
}

// The suite's files with their gAMA chunks taken out: shown as stored, and
// open-save-open keeps every pixel.
TEST(PngSuite, FilesWithoutGammaAreShownAsStored) {
    const auto files = suiteFiles(false);
    if (files.empty()) GTEST_SKIP() << "PNG suite not present at " << kSuite;
    const uint8_t black[3] = {0, 0, 0};
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        const auto data = withoutChunk(pngtest::ReadFile(path.string()), "gAMA");
        ASSERT_FALSE(pngtest::ReadFacts(data).hasGamma);
        const auto ref = pngtest::ReferenceDecode(data, black, true);
        ASSERT_FALSE(ref.gammaCorrected);
        TPngGraphic png;
        png.UseBackground = true;
        decode(png, data);
        EXPECT_EQ(png.FileGamma, 0.0);
        EXPECT_EQ(maxDifference(png, ref), 0);

        TMemoryStream saved;
        png.SaveToStream(saved);
        TPngGraphic again;
        decode(again, saved.Data());
        EXPECT_EQ(maxDifference(again, ref), 0);
    }
}

TEST(PngSuite, OpenSaveOpenIsPixelIdentical) {
    const auto files = suiteFiles(false);
    if (files.empty()) GTEST_SKIP() << "PNG suite not present at " << kSuite;
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        const auto data = pngtest::ReadFile(path.string());
        TPngGraphic first;
        first.BackgroundColor = 0x00336699;
        decode(first, data);
        TMemoryStream saved;
        first.SaveToStream(saved);
        const auto savedFacts = pngtest::ReadFacts(saved.Data());
        EXPECT_TRUE(savedFacts.hasGamma);
        EXPECT_NEAR(savedFacts.gamma, 0.45455, 1e-5);

        TPngGraphic second;
        decode(second, saved.Data());
        ASSERT_EQ(second.GetWidth(), first.GetWidth());
        ASSERT_EQ(second.GetHeight(), first.GetHeight());
        bool same = true;
        for (int y = 0; y < first.GetHeight() && same; ++y)
            for (int x = 0; x < first.GetWidth(); ++x)
                if (first.GetPixel(x, y) != second.GetPixel(x, y)) {
                    same = false;
                    ADD_FAILURE() << "pixel " << x << "," << y << " " << std::hex
                                  << first.GetPixel(x, y) << " -> " << second.GetPixel(x, y);
                    break;
                }
    }
}

TEST(PngSuite, CorruptFilesAreRefusedWithAMessage) {
    const auto files = suiteFiles(true);
    if (files.empty()) GTEST_SKIP() << "PNG suite not present at " << kSuite;
    EXPECT_EQ(files.size(), 14u);
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        const auto data = pngtest::ReadFile(path.string());
        TPngGraphic png;
        testing::internal::CaptureStderr();
        try {
            decode(png, data);
            ADD_FAILURE() << "accepted";
        } catch (const EPNGError& e) {
            EXPECT_FALSE(std::string(e.what()).empty());
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    }
}
