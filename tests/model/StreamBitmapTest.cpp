#include "codecs/model/Bitmap.h"
#include "codecs/model/DibTypes.h"
#include "codecs/model/Exceptions.h"
#include "codecs/model/Geometry.h"
#include "codecs/model/Palettes.h"
#include "codecs/model/Stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace lumara {
namespace {

namespace fs = std::filesystem;

std::string freshDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const fs::path dir = fs::temp_directory_path() / (std::string("lumara-stream-") + info->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir.string();
}

std::string readText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
}

size_t filesIn(const std::string& dir) {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir))
        (void)e, ++n;
    return n;
}

TEST(TMemoryStream, ReadWriteSeek) {
    TMemoryStream s;
    s.WriteU16LE(0x1234);
    s.WriteU32LE(0xAABBCCDD);
    s.WriteU8(7);
    EXPECT_EQ(s.Size(), 7);
    EXPECT_EQ(s.Position(), 7);
    s.SetPosition(0);
    EXPECT_EQ(s.ReadU16LE(), 0x1234);
    EXPECT_EQ(s.ReadU32LE(), 0xAABBCCDDu);
    s.SetPosition(0);
    EXPECT_EQ(s.ReadU16BE(), 0x3412);
    EXPECT_EQ(s.ReadU32BE(), 0xDDCCBBAAu);
    EXPECT_EQ(s.ReadByte(), 7);
    EXPECT_EQ(s.Remaining(), 0);
    uint8_t b[4];
    EXPECT_EQ(s.Read(b, 4), 0u);
    try {
        s.ReadBuffer(b, 1);
        FAIL();
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
    EXPECT_EQ(s.Seek(-100, SeekOrigin::Current), 0);
    EXPECT_EQ(s.Seek(-2, SeekOrigin::End), 5);
    // Writing beyond the end fills the gap with zeros.
    s.Seek(10, SeekOrigin::Begin);
    s.WriteU8(9);
    EXPECT_EQ(s.Size(), 11);
    EXPECT_EQ(s.Data()[8], 0);
    EXPECT_EQ(s.Data()[10], 9);
}

TEST(TMemoryStream, CopyFrom) {
    TMemoryStream src(std::vector<uint8_t>{1, 2, 3, 4, 5});
    src.SetPosition(1);
    TMemoryStream dst;
    EXPECT_EQ(dst.CopyFrom(src, 2), 2);
    EXPECT_EQ(dst.Data(), (std::vector<uint8_t>{2, 3}));
    EXPECT_EQ(dst.CopyFrom(src, 0), 2); // the rest
    EXPECT_EQ(dst.Data(), (std::vector<uint8_t>{2, 3, 4, 5}));
    src.SetPosition(0);
    EXPECT_THROW(dst.CopyFrom(src, 6), EReadError);
    // A source standing past its end has nothing left to copy.
    src.SetPosition(100);
    EXPECT_EQ(dst.CopyFrom(src, 0), 0);
    EXPECT_EQ(dst.CopyFrom(src, -5), 0);
}

TEST(TFileStream, OpenErrorsNameTheFile) {
    const std::string dir = freshDir();
    try {
        TFileStream f(dir + "/nothing.bmp", TFileStream::Mode::Read);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_NE(std::string(e.what()).find(dir + "/nothing.bmp"), std::string::npos);
    }
    EXPECT_THROW(TFileStream(dir, TFileStream::Mode::Read), EFOpenError);
    EXPECT_THROW(ReadWholeFile(dir), EFOpenError);
    EXPECT_THROW(TFileStream(dir, TFileStream::Mode::AtomicWrite), EFCreateError);
    EXPECT_THROW(TFileStream(dir + "/missing/x.bmp", TFileStream::Mode::AtomicWrite),
                 EFCreateError);
    writeText(dir + "/plain", "x");
    EXPECT_THROW(TFileStream(dir + "/plain/x.bmp", TFileStream::Mode::AtomicWrite), EFCreateError);
    fs::remove_all(dir);
}

TEST(TFileStream, AtomicWriteReplacesOnlyOnCommit) {
    const std::string dir = freshDir();
    const std::string path = dir + "/a.txt";
    writeText(path, "old");
    {
        TFileStream f(path, TFileStream::Mode::AtomicWrite);
        f.WriteBuffer("new text", 8);
        EXPECT_EQ(readText(path), "old");
        // Dropped without Commit: the old file stays, the temporary goes.
    }
    EXPECT_EQ(readText(path), "old");
    EXPECT_EQ(filesIn(dir), 1u);
    {
        TFileStream f(path, TFileStream::Mode::AtomicWrite);
        f.WriteBuffer("new text", 8);
        f.Commit();
        f.Commit(); // a second commit does nothing
    }
    EXPECT_EQ(readText(path), "new text");
    EXPECT_EQ(filesIn(dir), 1u);
    fs::remove_all(dir);
}

TEST(TFileStream, ReplacementKeepsPermissions) {
    const std::string dir = freshDir();
    const std::string path = dir + "/p.txt";
    writeText(path, "old");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    WriteWholeFile(path, "abc", 3);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(ReadWholeFile(path), (std::vector<uint8_t>{'a', 'b', 'c'}));
    fs::remove_all(dir);
}

TEST(TFileStream, ReadingAndWritingInTurn) {
    // Writers that patch headers read back what they wrote.
    const std::string dir = freshDir();
    const std::string path = dir + "/rw.bin";
    TFileStream f(path, TFileStream::Mode::AtomicWrite);
    f.WriteBuffer("abcd", 4);
    f.Seek(1, SeekOrigin::Begin);
    char c = 0;
    EXPECT_EQ(f.Read(&c, 1), 1u);
    EXPECT_EQ(c, 'b');
    f.WriteBuffer("X", 1); // straight after a read
    EXPECT_EQ(f.Position(), 3);
    EXPECT_EQ(f.Read(&c, 1), 1u); // straight after a write
    EXPECT_EQ(c, 'd');
    EXPECT_EQ(f.Read(&c, 1), 0u);
    EXPECT_EQ(f.Size(), 4);
    f.Commit();
    EXPECT_EQ(readText(path), "abXd");

    TFileStream r(path, TFileStream::Mode::Read);
    EXPECT_EQ(r.Size(), 4);
    EXPECT_EQ(r.Write("zz", 2), 0u); // read-only
    EXPECT_EQ(r.ReadU32BE(), 0x61625864u);
    fs::remove_all(dir);
}

TEST(TFileStream, FailedWriteLeavesOldFile) {
    const std::string dir = freshDir();
    const std::string path = dir + "/keep.txt";
    writeText(path, "precious");
    TMemoryStream m(std::vector<uint8_t>{1, 2, 3});
    // The target folder is missing: nothing is created and the error says so.
    EXPECT_THROW(m.SaveToFile(dir + "/no/such/folder/file"), EStreamError);
    // A write that fails part way leaves the old file.
    try {
        TFileStream f(path, TFileStream::Mode::AtomicWrite);
        f.WriteBuffer("partial", 7);
        throw EWriteError("disk full");
    } catch (const EWriteError&) {
    }
    EXPECT_EQ(readText(path), "precious");
    EXPECT_EQ(filesIn(dir), 1u);
    fs::remove_all(dir);
}

TEST(Bitmap, CreateAndRowBytes) {
    struct Case {
        int w, h, depth, rowBytes, paletteSize, actualDepth;
    };
    for (Case c : {Case{3, 2, 1, 4, 2, 1}, Case{33, 1, 1, 8, 2, 1}, Case{9, 2, 4, 8, 16, 4},
                   Case{5, 3, 8, 8, 256, 8}, Case{5, 1, 24, 16, 0, 24}, Case{2, 2, 32, 8, 0, 24}}) {
        Bitmap b(c.w, c.h, c.depth);
        EXPECT_EQ(b.RowBytes(), c.rowBytes) << c.w << "@" << c.depth;
        EXPECT_EQ(b.Depth(), c.actualDepth);
        EXPECT_EQ(b.palette.size(), size_t(c.paletteSize));
        EXPECT_EQ(b.ImageSize(), size_t(c.rowBytes * c.h));
        for (size_t i = 0; i < b.ImageSize(); ++i)
            ASSERT_EQ(b.Bits()[i], 0);
    }
    EXPECT_EQ(Bitmap::RowBytesFor(-1, 24), -1);
    EXPECT_EQ(Bitmap::RowBytesFor(int64_t(1) << 32, 24), -1);
    EXPECT_EQ(Bitmap::RowBytesFor(1, 1), 4);
    Bitmap b(2, 2, 1);
    EXPECT_EQ(b.palette, (Palette{0x000000, 0xFFFFFF}));
}

TEST(Bitmap, CreateFailuresLeaveItEmpty) {
    Bitmap b(4, 4, 24);
    for (auto size : {std::pair{-1, 4}, std::pair{4, -1}, std::pair{0x7fffffff, 0x7fffffff}}) {
        try {
            b.Create(size.first, size.second, 24);
            FAIL();
        } catch (const EOutOfMemory& e) {
            EXPECT_STREQ(e.what(), "CreateDibSection failed");
        }
        EXPECT_TRUE(b.Empty());
    }
    Bitmap::SetAllocationLimitForTesting(100);
    EXPECT_THROW(b.Create(100, 100, 8), EOutOfMemory);
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(AllocatePixels(101), nullptr);
    EXPECT_NE(AllocatePixels(100), nullptr);
    Bitmap::SetAllocationLimitForTesting(0);
    EXPECT_NE(AllocatePixels(101), nullptr);
}

TEST(Bitmap, PixelsAtEveryDepth) {
    Bitmap one(10, 1, 1);
    one.SetPixelIndex(9, 0, 1);
    EXPECT_EQ(one.ScanLine(0)[1], 0x40);
    EXPECT_EQ(one.PixelIndex(9, 0), 1);
    EXPECT_EQ(one.PixelColor(9, 0), 0xFFFFFFu);
    one.SetPixelIndex(9, 0, 0);
    EXPECT_EQ(one.ScanLine(0)[1], 0);

    Bitmap four(3, 1, 4);
    four.SetPixelIndex(0, 0, 0xA);
    four.SetPixelIndex(1, 0, 0x5);
    EXPECT_EQ(four.ScanLine(0)[0], 0xA5);
    EXPECT_EQ(four.PixelColor(1, 0), DefaultPalette16()[5]);

    Bitmap eight(2, 2, 8);
    eight.palette.resize(4); // a short palette: indices beyond it read as black
    eight.SetPixelIndex(1, 1, 200);
    EXPECT_EQ(eight.PixelColor(1, 1), 0u);

    Bitmap rgb(2, 2, 24);
    rgb.Fill(0x102030);
    EXPECT_EQ(rgb.PixelColor(1, 1), 0x102030u);
    EXPECT_EQ(rgb.ScanLine(1)[3], 0x30); // blue first
    Bitmap pal(3, 1, 4);
    pal.Fill(0xFFFF55);
    EXPECT_EQ(pal.PixelIndex(2, 0), 11); // blue 85, green 255, red 255
}

TEST(Bitmap, CopyAndDepthChanges) {
    Bitmap a(4, 3, 24);
    a.SetPixelIndex(0, 0, 1); // no effect at 24 bits
    a.Fill(0xFF0000);
    a.xPelsPerMeter = 3780;
    Bitmap b = a;
    EXPECT_TRUE(b.SamePixels(a));
    EXPECT_EQ(b.xPelsPerMeter, 3780);
    b.SetDepth(8);
    EXPECT_EQ(b.Depth(), 8);
    EXPECT_EQ(b.PixelColor(3, 2), 0xFF0000u); // pure red is in the default palette
    EXPECT_EQ(b.xPelsPerMeter, 3780);
    b.SetDepth(24);
    EXPECT_TRUE(b.SamePixels(a));

    Bitmap m(9, 2, 1);
    m.SetPixelIndex(8, 1, 1);
    m.SetDepth(8); // indices and palette carry over upward
    EXPECT_EQ(m.PixelIndex(8, 1), 1);
    EXPECT_EQ(m.PixelColor(8, 1), 0xFFFFFFu);
    EXPECT_EQ(m.palette.size(), 2u);
    EXPECT_FALSE(m.SamePixels(a));

    Bitmap moved = std::move(b);
    EXPECT_TRUE(moved.SamePixels(a));
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.Height(), 0);
    b = std::move(moved);
    EXPECT_TRUE(b.SamePixels(a));
    EXPECT_TRUE(moved.Empty());
    EXPECT_EQ(moved.RowBytes(), 0);

    Bitmap e;
    e.SetDepth(4);
    EXPECT_TRUE(e.Empty());
    EXPECT_EQ(e.Depth(), 4);
    EXPECT_EQ(e.palette.size(), 16u);
}

TEST(Palettes, GrayAndNearest) {
    EXPECT_EQ(GrayPalette(2), (Palette{0, 0xFFFFFF}));
    const Palette g16 = GrayPalette(16);
    EXPECT_EQ(g16[1], 0x111111u);
    EXPECT_EQ(GrayPalette(256)[255], 0xFFFFFFu);
    EXPECT_TRUE(GrayPalette(0).empty());
    const uint32_t pal[3] = {0x000000, 0x808080, 0x808080};
    EXPECT_EQ(NearestPaletteIndex(pal, 3, 0x808080), 1);
    EXPECT_EQ(NearestPaletteIndex(pal, 3, 0x404040), 0);
    EXPECT_EQ(NearestPaletteIndex(pal, 0, 0x404040), 0);
    EXPECT_EQ(RedOf(MakeColor(1, 2, 3)), 1);
    EXPECT_EQ(GreenOf(MakeColor(1, 2, 3)), 2);
    EXPECT_EQ(BlueOf(MakeColor(1, 2, 3)), 3);
}

TEST(Geometry, MulDivRoundsHalfAwayFromZero) {
    struct Case {
        int a, b, c, result;
    };
    for (Case k : {Case{5, 1, 2, 3}, Case{-5, 1, 2, -3}, Case{5, -1, 2, -3}, Case{7, 3, 2, 11},
                   Case{1, 1, 3, 0}, Case{2, 1, 3, 1}, Case{5, 1, 0, -1},
                   Case{0x40000000, 4, 1, -1}, Case{-0x40000000, 4, 1, -1},
                   Case{0x7fffffff, 0x7fffffff, 0x7fffffff, 0x7fffffff}, Case{-7, -3, 2, 11}})
        EXPECT_EQ(MulDiv(k.a, k.b, k.c), k.result) << k.a << "*" << k.b << "/" << k.c;
    TRect r{1, 2, 11, 7};
    EXPECT_EQ(r.Width(), 10);
    EXPECT_EQ(r.Height(), 5);
    EXPECT_EQ(r, (TRect{1, 2, 11, 7}));
}

TEST(DibTypes, HeaderBytesAndResolution) {
    BitmapInfoHeader h;
    h.biWidth = 0x01020304;
    h.biHeight = -2;
    h.biBitCount = 24;
    h.biXPelsPerMeter = 11811;
    uint8_t bytes[40];
    h.WriteTo(bytes);
    EXPECT_EQ(bytes[0], 40);
    EXPECT_EQ(bytes[4], 0x04);
    EXPECT_EQ(bytes[7], 0x01);
    EXPECT_EQ(bytes[8], 0xFE);
    EXPECT_EQ(bytes[11], 0xFF);
    EXPECT_EQ(bytes[12], 1);
    EXPECT_EQ(bytes[14], 24);
    const BitmapInfoHeader r = BitmapInfoHeader::ReadFrom(bytes);
    EXPECT_EQ(r.biWidth, h.biWidth);
    EXPECT_EQ(r.biHeight, -2);
    EXPECT_EQ(r.biXPelsPerMeter, 11811);

    struct Case {
        int dpi;
        int32_t pels;
    };
    for (Case c : {Case{300, 11811}, Case{96, 3780}, Case{72, 2835}, Case{0, 0}, Case{600, 23622}})
        EXPECT_EQ(DpiToPelsPerMeter(c.dpi), c.pels) << c.dpi;
    EXPECT_EQ(PelsPerMeterToDpi(11811), 300);
    EXPECT_EQ(PelsPerMeterToDpi(3780), 96);
    // Both products are exactly n.5 in double arithmetic: ties go to the even neighbour.
    EXPECT_EQ(PelsPerMeterToDpi(2500), 64);
    EXPECT_EQ(PelsPerMeterToDpi(7500), 190); // 190.5 -> 190 (ties to even)
    EXPECT_EQ(PelsPerMeterToDpi(0), 0);
    EXPECT_EQ(PelsPerMeterToDpi(-3780), -96);
}

} // namespace
} // namespace lumara
