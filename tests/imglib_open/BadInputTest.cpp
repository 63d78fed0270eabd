#include "OpenTestSupport.h"

#include "codecs/model/Stream.h"

#include <tiffio.h>

#include <cstring>
#include <filesystem>

namespace lumara::test {
namespace {

class BadInputTest : public OpenTest {};

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

TEST_F(BadInputTest, MissingFilesAndFoldersCannotBeOpened) {
    EXPECT_EQ(ImgOpenSolo("/nonexistent/folder/picture.tif", 0), 0u);
    EXPECT_EQ(ImgGetStatus(), "Cannot open file");
    EXPECT_EQ(ImgOpenSolo(::testing::TempDir(), 0), 0u);
    EXPECT_EQ(ImgGetStatus(), "Cannot open file");
}

TEST_F(BadInputTest, UnknownContentIsUnsupported) {
    const Bytes cases[] = {
        {},
        {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'},
        Bytes(300, 0xEE),
        {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'},
    };
    for (const Bytes& data : cases) {
        EXPECT_EQ(OpenBytes(data, "TIF"), 0u);
        EXPECT_EQ(ImgGetStatus(), "Unsupported file format");
    }
    EXPECT_EQ(ImgOpenMem(nullptr, 10, "TIF"), 0u);
    EXPECT_EQ(ImgGetStatus(), "Invalid parameter");
    // The same bytes named as TGA go to the TGA reader, which refuses them.
    EXPECT_EQ(OpenBytes(Bytes(11, 0xEE), "TGA"), 0u);
    EXPECT_TRUE(startsWith(ImgGetStatus(), "Corrupt image data: ")) << ImgGetStatus();
}

// Every cut of a file that loses part of its first picture fails cleanly.
TEST_F(BadInputTest, TruncatedFilesFailWithAStatus) {
    Palette pal(256);
    for (int i = 0; i < 256; ++i)
        pal[size_t(i)] = MakeColor(i, i, 255 - i);
    const PageSpec rgb{31, 13, 24, {}, [](int x, int y) { return Noise(x, y); }, COMPRESSION_LZW};
    const PageSpec indexed{17, 9, 8, pal, [](int x, int y) { return uint32_t(x * y); }, COMPRESSION_NONE};
    GifFrame frame{0, 0, 16, 8, {}, {}, -1, 0, false};
    for (int i = 0; i < 128; ++i)
        frame.indices.push_back(uint8_t((i * 7) & 3));
    struct Case {
        const char* name;
        Bytes data;
    };
    const Case cases[] = {
        {"tiff", MakeTiff({rgb})},
        {"gif", MakeGif(16, 8, {0, 0xFF, 0xFF00, 0xFF0000}, 0, {frame})},
        {"webp", MakeWebpLossless(19, 7, [](int x, int y) { return 0xFF000000u | Noise(x, y); })},
        {"dcx", MakeDcx({indexed})},
        {"pcx", MakePcx(indexed)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const HIMG whole = OpenBytes(c.data);
        ASSERT_NE(whole, 0u) << ImgGetStatus();
        ImgClose(whole);
        for (size_t keep : {size_t(0), size_t(3), size_t(8), c.data.size() / 3, c.data.size() / 2,
                            c.data.size() - 20}) {
            SCOPED_TRACE(keep);
            const Bytes cut(c.data.begin(), c.data.begin() + ptrdiff_t(keep));
            EXPECT_EQ(OpenBytes(cut), 0u);
            const std::string status = ImgGetStatus();
            EXPECT_TRUE(startsWith(status, "Corrupt image data: ") ||
                        status == "Unsupported file format")
                << status;
        }
    }
}

// A GIF cut inside a later frame keeps the frames before it.
TEST_F(BadInputTest, GifCutInALaterFrameKeepsTheEarlierOnes) {
    std::vector<GifFrame> frames;
    for (int f = 0; f < 3; ++f) {
        GifFrame frame{0, 0, 8, 8, {}, {}, -1, 0, false};
        for (int i = 0; i < 64; ++i)
            frame.indices.push_back(uint8_t((i + f) & 3));
        frames.push_back(frame);
    }
    const Bytes whole = MakeGif(8, 8, {0, 0xFF, 0xFF00, 0xFF0000}, 0, frames);
    const Bytes cut(whole.begin(), whole.end() - 12);
    const HIMG image = OpenBytes(cut);
    ASSERT_NE(image, 0u) << ImgGetStatus();
    int count = 0;
    ImgPageCount(image, &count);
    EXPECT_EQ(count, 2);
    EXPECT_TRUE(ImgSetPage(image, 1)) << ImgGetStatus();
    ImgClose(image);
}

TEST_F(BadInputTest, GarbageAfterASignatureIsCorrupt) {
    const char* signatures[] = {"II*\0", "MM\0*", "GIF89a", "RIFF\x10\0\0\0WEBPVP8L", "\xB1\x68\xDE\x3A"};
    const size_t lengths[] = {4, 4, 6, 16, 4};
    for (size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        Bytes data(signatures[i], signatures[i] + lengths[i]);
        for (int k = 0; k < 64; ++k)
            data.push_back(uint8_t(Noise(k, int(i)) | 0x80));
        EXPECT_EQ(OpenBytes(data), 0u);
        EXPECT_TRUE(startsWith(ImgGetStatus(), "Corrupt image data: ")) << ImgGetStatus();
    }
}

// Sizes are refused before any pixel memory is taken.
TEST_F(BadInputTest, HugeDeclaredSizesAreRefused) {
    // A GIF whose screen is 65535 x 65535 (over the 1 gigapixel limit).
    GifFrame frame{0, 0, 2, 2, {}, {0, 1, 1, 0}, -1, 0, false};
    Bytes gif = MakeGif(2, 2, {0, 0xFFFFFF}, 0, {frame});
    gif[6] = gif[7] = gif[8] = gif[9] = 0xFF;
    EXPECT_EQ(OpenBytes(gif), 0u);
    EXPECT_EQ(ImgGetStatus(), "Image too large");

    // A PCX page that claims 65536 x 65536 pixels.
    Bytes pcx = MakePcx({8, 2, 8, Palette(256, 0), [](int, int) { return 0u; }, 0});
    pcx[8] = pcx[9] = pcx[10] = pcx[11] = 0xFF;
    pcx[4] = pcx[5] = pcx[6] = pcx[7] = 0;
    EXPECT_EQ(OpenBytes(pcx), 0u);
    EXPECT_EQ(ImgGetStatus(), "Image too large");

    // Under a lowered limit, ordinary pictures are refused too.
    ImgSetMaxImagePixels(100);
    EXPECT_EQ(OpenBytes(MakeTiff({{11, 10, 24, {}, [](int, int) { return 0u; }, COMPRESSION_NONE}})), 0u);
    EXPECT_EQ(ImgGetStatus(), "Image too large");
    EXPECT_EQ(OpenBytes(MakeWebpLossless(11, 10, [](int, int) { return 0xFF000000u; })), 0u);
    EXPECT_EQ(ImgGetStatus(), "Image too large");
    const HIMG small = OpenBytes(MakeTiff({{10, 10, 24, {}, [](int, int) { return 0u; }, COMPRESSION_NONE}}));
    EXPECT_NE(small, 0u) << ImgGetStatus();
    ImgClose(small);
}

// A page that cannot be decoded fails on its own; the others stay usable.
TEST_F(BadInputTest, ADamagedTiffPageFailsAlone) {
    const PageSpec a{8, 4, 24, {}, [](int x, int y) { return Noise(x, y); }, COMPRESSION_NONE};
    const PageSpec b{9, 5, 24, {}, [](int x, int y) { return Noise(y, x); }, COMPRESSION_LZW};
    Bytes data = MakeTiff({a, b});
    // Page 2's LZW strip follows page 1's IFD; find it through libtiff.
    const std::string path = WriteTempFile("damaged.tif", data);
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    ASSERT_TRUE(TIFFSetDirectory(tif, 1));
    uint64_t* offsets = nullptr;
    ASSERT_TRUE(TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets));
    const uint64_t at = offsets[0];
    TIFFClose(tif);
    std::filesystem::remove(path);
    std::memset(data.data() + at, 0xFF, 6); // not a valid LZW start
    const HIMG image = OpenBytes(data);
    ASSERT_NE(image, 0u) << ImgGetStatus();
    EXPECT_FALSE(ImgSetPage(image, 1));
    EXPECT_TRUE(startsWith(ImgGetStatus(), "Corrupt image data: ")) << ImgGetStatus();
    int page = -1;
    ImgGetPage(image, &page);
    EXPECT_EQ(page, 0);
    ExpectPage(image, 8, 4, 24, [&](int x, int y) { return Noise(x, y); });
    ImgClose(image);
}

} // namespace
} // namespace lumara::test
