// The probe and the decode of the loading route, on small files written here.
#include "document/ImageWriter.h"
#include "document/Loader.h"

#include "../support/MultiPageFiles.h"
#include "codecs/model/Exceptions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace lumara;
namespace fs = std::filesystem;

namespace {

class LoadingTest : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() /
               ("lumara-loading-" + std::to_string(::getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    static Bitmap sample(int depth)
    {
        Bitmap b(7, 5, 24);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) {
                uint8_t* p = b.ScanLine(y) + 3 * x;
                p[0] = uint8_t(x * 30);
                p[1] = uint8_t(y * 50);
                p[2] = uint8_t(200 - x * 10);
            }
        if (depth != 24) b.SetDepth(depth);
        return b;
    }

    void writeBytes(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }

    // Probe and decode as the Open command does.
    bool open(Document& doc, TLoader& loader, const std::string& file, int* probe = nullptr)
    {
        doc.state.PreviousFile = "/previous.png";
        doc.state.CurrentFile = file;
        const int p = loader.OpenByType(LoadSettings{});
        if (probe) *probe = p;
        if (p < 0 || p == prMedia) return false;
        return loader.Decode(LoadSettings{});
    }

    fs::path dir_;
};

} // namespace

struct ProbeCase {
    const char* name;
    const char* file;
    int expected;
};

class ProbeByExtension : public LoadingTest, public testing::WithParamInterface<ProbeCase> {};

TEST_P(ProbeByExtension, Classifies)
{
    const ProbeCase& c = GetParam();
    writeBytes(c.file, "not really");
    Document doc;
    TLoader loader(doc);
    doc.state.PreviousFile = "/previous.png";
    doc.state.CurrentFile = path(c.file);
    EXPECT_EQ(loader.OpenByType(LoadSettings{}), c.expected);
    if (c.expected == prUnknown) {
        EXPECT_NE(loader.LastError().find(c.file), std::string::npos) << loader.LastError();
        // Only a type the program does not know at all falls back at once.
        const bool unknownType = std::string(c.name) == "unknownType" ||
                                 std::string(c.name) == "noExtension";
        EXPECT_EQ(doc.state.CurrentFile == "/previous.png", unknownType);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProbeByExtension,
    testing::Values(ProbeCase{"text", "notes.TXT", prText}, ProbeCase{"rtf", "letter.rtf", prText},
                    ProbeCase{"metafile", "drawing.wmf", prMetafile},
                    ProbeCase{"emf", "drawing.emf", prMetafile},
                    ProbeCase{"media", "song.mp3", prMedia},
                    ProbeCase{"video", "clip.AVI", prMedia},
                    ProbeCase{"unknownType", "archive.xyz", prUnknown},
                    ProbeCase{"noExtension", "README", prUnknown},
                    ProbeCase{"corruptBmp", "broken.bmp", prUnknown},
                    ProbeCase{"corruptPng", "broken.png", prUnknown},
                    ProbeCase{"pcdOffPhotoCd", "photo.pcd", prUnknown}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExtensionLists, SubstringRule)
{
    EXPECT_TRUE(ExtensionInList(".JPEG", kAllKnownTypes));
    EXPECT_TRUE(ExtensionInList(".JP", kAllKnownTypes));
    EXPECT_TRUE(ExtensionInList(".TIF", kOwnCodecTypes));
    EXPECT_FALSE(ExtensionInList("", kAllKnownTypes));
    EXPECT_FALSE(ExtensionInList(".XYZ", kAllKnownTypes));
}

struct RoundCase {
    const char* name;
    const char* file;
    int depth;
};

class DecodeOwnCodecs : public LoadingTest, public testing::WithParamInterface<RoundCase> {};

TEST_P(DecodeOwnCodecs, ShowsThePicture)
{
    const RoundCase& c = GetParam();
    const Bitmap src = sample(c.depth);
    WriteImageFile(src, path(c.file), SaveTypeForExtension(c.file));
    Document doc;
    TLoader loader(doc);
    int probe = 0;
    ASSERT_TRUE(open(doc, loader, path(c.file), &probe)) << loader.LastError();
    EXPECT_EQ(probe, prImage);
    EXPECT_EQ(doc.state.ImageWidth, 7);
    EXPECT_EQ(doc.state.ImageHeight, 5);
    EXPECT_TRUE(doc.state.ImageLoaded);
    EXPECT_EQ(doc.state.ImgHandle, 0u);
    ASSERT_EQ(doc.surface.Width(), 7);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(doc.surface.PixelColor(x, y), src.PixelColor(x, y)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Cases, DecodeOwnCodecs,
                         testing::Values(RoundCase{"bmp24", "a.bmp", 24}, RoundCase{"bmp8", "b.BMP", 8},
                                         RoundCase{"pcx8", "c.pcx", 8}, RoundCase{"tga24", "d.tga", 24},
                                         RoundCase{"png24", "e.png", 24}, RoundCase{"png4", "f.png", 4},
                                         RoundCase{"tif24", "g.tif", 24}, RoundCase{"tif8", "h.tiff", 8},
                                         RoundCase{"bmp1", "i.bmp", 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LoadingTest, CorruptBmpFailsWithTheFileNamed)
{
    // A valid header claiming more pixels than the file holds.
    WriteImageFile(sample(24), path("good.bmp"), stBmp);
    std::string bytes;
    {
        std::ifstream in(path("good.bmp"), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    bytes.resize(60);
    writeBytes("cut.bmp", bytes);
    Document doc;
    TLoader loader(doc);
    doc.state.ImageBitsPerPixel = 8;
    EXPECT_FALSE(open(doc, loader, path("cut.bmp")));
    EXPECT_FALSE(doc.state.ImageLoaded);
    EXPECT_NE(loader.LastError().find("cut.bmp"), std::string::npos);
}

TEST_F(LoadingTest, ExtensionThatLiesIsRefusedCleanly)
{
    WriteImageFile(sample(24), path("really-a-png.bmp"), stPng);
    Document doc;
    TLoader loader(doc);
    EXPECT_FALSE(open(doc, loader, path("really-a-png.bmp")));
    EXPECT_FALSE(loader.LastError().empty());
}

TEST_F(LoadingTest, EmptyAndMissingFiles)
{
    writeBytes("empty.png", "");
    Document doc;
    TLoader loader(doc);
    EXPECT_FALSE(open(doc, loader, path("empty.png")));
    EXPECT_NE(loader.LastError().find("empty.png"), std::string::npos);
    EXPECT_FALSE(open(doc, loader, path("missing.tga")));
    EXPECT_NE(loader.LastError().find("missing.tga"), std::string::npos);
}

TEST_F(LoadingTest, ThreePageDcxThroughTheLibrary)
{
    std::vector<Bitmap> pages;
    std::vector<uint32_t> colors;
    for (int i = 0; i < 3; ++i) {
        Bitmap b(4 + i, 3, 24);
        b.Fill(MakeColor(40 * i, 100, 200));
        b.SetDepth(8);
        colors.push_back(b.PixelColor(0, 0));
        pages.push_back(b);
    }
    const std::string file = testing_support::MakeDcx(pages);
    writeBytes("three.dcx", file);

    Document doc;
    TLoader loader(doc);
    ASSERT_TRUE(open(doc, loader, path("three.dcx"))) << loader.LastError();
    EXPECT_EQ(doc.state.PageCount, 3);
    EXPECT_EQ(doc.state.CurrentPage, 0);
    EXPECT_NE(doc.state.ImgHandle, 0u); // kept for the other pages
    EXPECT_EQ(doc.surface.Width(), 4);
    ASSERT_TRUE(loader.MultiPageLoad(2, LoadSettings{}));
    EXPECT_EQ(doc.surface.Width(), 6);
    EXPECT_EQ(doc.state.CurrentPage, 2);
    EXPECT_EQ(doc.surface.PixelColor(0, 0), colors[2]);
    ASSERT_TRUE(loader.MultiPageLoad(1, LoadSettings{}));
    EXPECT_EQ(doc.surface.PixelColor(4, 2), colors[1]);
    EXPECT_FALSE(loader.MultiPageLoad(3, LoadSettings{}));
    doc.CloseLibraryImage();
}

TEST_F(LoadingTest, WriterRefusesWhatItCannotWriteAndKeepsTheOldFile)
{
    WriteImageFile(sample(24), path("keep.tif"), stTiffNone);
    const auto before = fs::file_size(path("keep.tif"));
    // Fax compression needs a bilevel picture.
    EXPECT_ANY_THROW(WriteImageFile(sample(24), path("keep.tif"), stTiffFax4));
    EXPECT_EQ(fs::file_size(path("keep.tif")), before);
    EXPECT_ANY_THROW(WriteImageFile(sample(24), path("no/such/folder/x.png"), stPng));
    EXPECT_ANY_THROW(WriteImageFile(Bitmap(), path("empty.png"), stPng));
    EXPECT_ANY_THROW(WriteImageFile(sample(24), path("x.bin"), 99));
}

#include "document/Metafile.h"

namespace {

// A placeable Windows metafile of 100 by 50 units at 96 units per inch that
// fills a rectangle with a solid brush.
std::string makeWmf(uint32_t colorRef)
{
    std::string f;
    auto w16 = [&](int v) {
        f.push_back(char(v & 255));
        f.push_back(char((v >> 8) & 255));
    };
    auto w32 = [&](uint32_t v) {
        w16(int(v & 0xFFFF));
        w16(int(v >> 16));
    };
    // Placeable header with its checksum over the first ten words.
    const int words[10] = {0xCDD7, 0x9AC6, 0, 0, 0, 100, 50, 96, 0, 0};
    int sum = 0;
    for (int v : words) {
        w16(v);
        sum ^= v;
    }
    w16(sum);
    const size_t start = f.size();
    w16(1);      // in memory
    w16(9);      // header words
    w16(0x0300); // version
    w32(0);      // size in words, patched below
    w16(1);      // objects
    w32(7);      // largest record
    w16(0);
    auto record = [&](int func, std::initializer_list<int> params) {
        w32(uint32_t(3 + params.size()));
        w16(func);
        for (int p : params) w16(p);
    };
    record(0x020B, {0, 0});         // window origin
    record(0x020C, {50, 100});      // window extent
    record(0x02FC, {0, int(colorRef & 0xFFFF), int(colorRef >> 16), 0}); // solid brush
    record(0x012D, {0});            // select it
    record(0x041B, {50, 100, 0, 0}); // rectangle bottom, right, top, left
    record(0x0000, {});             // end
    const uint32_t sizeWords = uint32_t((f.size() - start) / 2);
    f[start + 6] = char(sizeWords & 255);
    f[start + 7] = char((sizeWords >> 8) & 255);
    f[start + 8] = char((sizeWords >> 16) & 255);
    f[start + 9] = char((sizeWords >> 24) & 255);
    return f;
}

} // namespace

TEST(Metafile, DrawsAWindowsMetafile)
{
    const std::string wmf = makeWmf(0x000000FF); // COLORREF: red in the low byte
    const Bitmap b = RenderMetafileData(reinterpret_cast<const uint8_t*>(wmf.data()), wmf.size(),
                                        0x0000FF);
    EXPECT_EQ(b.Depth(), 24);
    EXPECT_NEAR(b.Width(), 100, 2);
    EXPECT_NEAR(b.Height(), 50, 2);
    EXPECT_EQ(b.PixelColor(b.Width() / 2, b.Height() / 2), 0xFF0000u);
}

TEST(Metafile, RefusesWhatItCannotPlay)
{
    std::string emf(88, '\0');
    emf[0] = 1;
    emf.replace(40, 4, " EMF");
    try {
        RenderMetafileData(reinterpret_cast<const uint8_t*>(emf.data()), emf.size(), 0);
        FAIL() << "an EMF was accepted";
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Enhanced metafiles (EMF) cannot be shown.");
    }
    const std::string junk = "this is not a metafile at all, just text";
    EXPECT_THROW(RenderMetafileData(reinterpret_cast<const uint8_t*>(junk.data()), junk.size(), 0),
                 EInvalidGraphic);
    EXPECT_THROW(RenderMetafileData(nullptr, 0, 0), EInvalidGraphic);
}

TEST_F(LoadingTest, EightBitScreenReducesTrueColourTo236Colours)
{
    // A picture with far more than 236 colours.
    Bitmap b(64, 64, 24);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            uint8_t* p = b.ScanLine(y) + 3 * x;
            p[0] = uint8_t(x * 4);
            p[1] = uint8_t(y * 4);
            p[2] = uint8_t((x + y) * 2);
        }
    WriteImageFile(b, path("many.bmp"), stBmp);
    WriteImageFile(b, path("many.jpg"), stJpegColor);
    for (const char* name : {"many.bmp", "many.jpg"}) {
        SCOPED_TRACE(name);
        Document doc;
        doc.state.DisplayBitsPerPixel = 8;
        TLoader loader(doc);
        ASSERT_TRUE(open(doc, loader, path(name))) << loader.LastError();
        EXPECT_EQ(doc.surface.Depth(), 8);
        EXPECT_EQ(doc.state.ImageBitsPerPixel, 8);
        std::vector<bool> used(256, false);
        int count = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                const int i = doc.surface.PixelIndex(x, y);
                if (!used[size_t(i)]) {
                    used[size_t(i)] = true;
                    ++count;
                }
            }
        EXPECT_LE(count, 236);
        EXPECT_GT(count, 16);
    }
}

TEST_F(LoadingTest, JpegExtensionsProbeAsJpeg)
{
    for (const char* name : {"a.jpeg", "b.JPG", "c.jpe"}) {
        WriteImageFile(sample(24), path(name), stJpegColor);
        Document doc;
        TLoader loader(doc);
        int probe = 0;
        ASSERT_TRUE(open(doc, loader, path(name), &probe)) << name << ": " << loader.LastError();
        EXPECT_EQ(probe, prImage);
        EXPECT_TRUE(doc.state.JpegPreloaded);
        EXPECT_EQ(doc.state.ImageWidth, 7);
    }
}

TEST_F(LoadingTest, FitModeDecodesLargeJpegsAtReducedScale)
{
    WriteImageFile(Bitmap(800, 600, 24), path("big.jpg"), stJpegColor);
    struct Case {
        int visibleW, visibleH, factor;
    } cases[] = {{400, 300, 1}, {200, 150, 2}, {100, 75, 4}, {10, 10, 8}};
    for (const Case& c : cases) {
        Document doc;
        doc.state.FitToWindow = true;
        TLoader loader(doc);
        doc.state.CurrentFile = doc.state.PreviousFile = path("big.jpg");
        LoadSettings s;
        s.VisibleWidth = c.visibleW;
        s.VisibleHeight = c.visibleH;
        ASSERT_EQ(loader.OpenByType(s), prImage);
        ASSERT_TRUE(loader.Decode(s)) << loader.LastError();
        EXPECT_EQ(doc.state.ReductionFactor, c.factor) << c.visibleW;
        EXPECT_EQ(doc.state.ReducedDecode, c.factor != 1);
        EXPECT_EQ(doc.state.ImageWidth, 800 / c.factor);
        EXPECT_EQ(doc.state.FullWidth, 800);
        if (c.factor == 2) EXPECT_EQ(doc.ImageDescription(), "800x600(24) [1:2] dib");
    }
}

TEST(Metafile, HugeClaimedSizeIsDrawnWithinTheLimits)
{
    // A fuzzer's metafile whose frame claims a vast drawing.
    const std::string path =
        (fs::path(__FILE__).parent_path() / "../crashers/wmf/slow-huge-bbox.wmf").string();
    try {
        const Bitmap b = RenderMetafile(path, 0);
        EXPECT_LE(b.Width(), 4096);
        EXPECT_LE(b.Height(), 4096);
        EXPECT_LE(double(b.Width()) * b.Height(), 8.0 * 1024 * 1024 + 4096);
    } catch (const EInvalidGraphic&) {
        SUCCEED(); // refusing it is as good
    }
}

TEST_F(LoadingTest, UnreadableJpegSaysWhyWhenItIsDecoded)
{
    writeBytes("broken.jpg", "\xFF\xD8\xFF\xE0 this is no JPEG");
    Document doc;
    TLoader loader(doc);
    int probe = 1;
    EXPECT_FALSE(open(doc, loader, path("broken.jpg"), &probe));
    EXPECT_EQ(probe, prJpegUnread); // after start-up the decode is tried, and fails
    EXPECT_NE(loader.LastError().find("broken.jpg: "), std::string::npos);
    EXPECT_EQ(loader.LastError().find("could not be read"), std::string::npos) << loader.LastError();
}
