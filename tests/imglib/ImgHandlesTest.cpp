#include "ImgTestSupport.h"

#include "codecs/imglib/ImgHandles.h"

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

namespace lumara::test {
namespace {

using ImgHandles = ImgTest;

HIMG smallImage() {
    return ImgFromBitmap(MakeBitmap(4, 3, 24, [](int x, int y) { return NoiseColor(x, y); }));
}

TEST_F(ImgHandles, ZeroIsNoImage) {
    BitmapInfoHeader info;
    EXPECT_FALSE(ImgGetInfoStruct(0, &info));
    EXPECT_EQ(ImgGetStatus(), "Invalid image handle");
    EXPECT_EQ(ImgPixels(0), nullptr);
    EXPECT_EQ(ImgCopy(0, 2, 2, nullptr, kCopyNormal), 0u);
}

TEST_F(ImgHandles, HandlesAreDistinctAndNotReusedAfterClose) {
    const HIMG a = smallImage();
    const HIMG b = smallImage();
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b);
    ImgClose(a);
    const HIMG c = smallImage();
    EXPECT_NE(c, a);
    EXPECT_NE(c, b);
    EXPECT_EQ(OpenImageCount(), 2u);
}

TEST_F(ImgHandles, ClosedHandleFails) {
    const HIMG a = smallImage();
    ASSERT_NE(ImgPixels(a), nullptr);
    ImgClose(a);
    BitmapInfoHeader info;
    EXPECT_FALSE(ImgGetInfoStruct(a, &info));
    EXPECT_EQ(ImgGetStatus(), "Invalid image handle");
    EXPECT_EQ(ImgPixels(a), nullptr);
    Bitmap dest(4, 3, 24);
    EXPECT_FALSE(ImgDrawImage(a, dest, {0, 0, 3, 2}, nullptr));
    EXPECT_EQ(ImgCopy(a, 8, 6, nullptr, kCopyPlainEnlarge), 0u);
    Palette pal;
    EXPECT_FALSE(ImgGetPalette(a, &pal));
    ImgClose(a); // closing twice is harmless
    EXPECT_EQ(ImgGetStatus(), "Invalid image handle");
}

TEST_F(ImgHandles, ShutdownClosesEverything) {
    const HIMG a = smallImage();
    const HIMG b = smallImage();
    ImgShutdown();
    EXPECT_EQ(OpenImageCount(), 0u);
    EXPECT_EQ(ImgPixels(a), nullptr);
    EXPECT_EQ(ImgPixels(b), nullptr);
    // Handles keep counting after a shutdown.
    const HIMG c = smallImage();
    EXPECT_NE(c, a);
    EXPECT_NE(c, b);
}

TEST_F(ImgHandles, FromBitmapTakesACopy) {
    Bitmap b = MakeBitmap(3, 2, 8, [](int x, int y) { return uint32_t(x + 3 * y); });
    const HIMG h = ImgFromBitmap(b);
    b.SetPixelIndex(0, 0, 200);
    const Bitmap* held = ImgPixels(h);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->PixelIndex(0, 0), 0);
    EXPECT_EQ(held->PixelIndex(2, 1), 5);
    EXPECT_EQ(held->palette, b.palette);
}

TEST_F(ImgHandles, FromEmptyBitmapFails) {
    EXPECT_EQ(ImgFromBitmap(Bitmap()), 0u);
    EXPECT_EQ(ImgGetStatus(), "Invalid bitmap");
}

TEST_F(ImgHandles, InfoStructDescribesTheImage) {
    Bitmap b = MakeBitmap(5, 7, 4, [](int x, int) { return uint32_t(x); });
    b.xPelsPerMeter = 3780;
    const HIMG h = ImgFromBitmap(b);
    BitmapInfoHeader info;
    ASSERT_TRUE(ImgGetInfoStruct(h, &info));
    EXPECT_EQ(info.biSize, 40u);
    EXPECT_EQ(info.biWidth, 5);
    EXPECT_EQ(info.biHeight, 7);
    EXPECT_EQ(info.biPlanes, 1);
    EXPECT_EQ(info.biBitCount, 4);
    EXPECT_EQ(info.biCompression, 0u);
    EXPECT_EQ(info.biSizeImage, 4u * 7u);
    EXPECT_EQ(info.biXPelsPerMeter, 3780);
    EXPECT_EQ(info.biClrUsed, 16u);
}

TEST_F(ImgHandles, StatusIsPerThread) {
    EXPECT_EQ(ImgFromBitmap(Bitmap()), 0u);
    std::string other = "unset";
    std::thread([&] { other = ImgGetStatus(); }).join();
    EXPECT_EQ(other, "");
    EXPECT_EQ(ImgGetStatus(), "Invalid bitmap");
}

TEST_F(ImgHandles, ManyThreadsOpenCopyAndClose) {
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    std::mutex seenLock;
    std::set<HIMG> seen;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                const HIMG a = ImgFromBitmap(
                    MakeBitmap(16, 16, 24, [&](int x, int y) { return NoiseColor(x + t, y + i); }));
                const HIMG b = ImgCopy(a, 7, 9, nullptr, kCopyNormal);
                if (a == 0 || b == 0) ++failures;
                {
                    std::lock_guard<std::mutex> g(seenLock);
                    if (!seen.insert(a).second || !seen.insert(b).second) ++failures;
                }
                ImgClose(a);
                ImgClose(b);
            }
        });
    }
    for (auto& w : workers)
        w.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(OpenImageCount(), 0u);
}

} // namespace
} // namespace lumara::test
