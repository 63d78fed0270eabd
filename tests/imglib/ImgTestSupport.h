#pragma once
// Small images and packed bitmaps built in the tests.

#include "codecs/imglib/ImgLib.h"
#include "codecs/model/Bitmap.h"
#include "codecs/model/DibTypes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace lumara::test {

// Closes every handle after each test, so tests cannot see each other's images.
class ImgTest : public ::testing::Test {
  protected:
    void SetUp() override { ImgInit(); }
    void TearDown() override {
        ImgSetThreadCount(0);
        Bitmap::SetAllocationLimitForTesting(0);
        ImgShutdown();
    }
};

// A packed bitmap of width by |height| at depth bits; value(x, y) gives the
// index (palette depths) or 0x00RRGGBB (16, 24, 32 bits) of the pixel in
// picture row y (0 at the top); negative height stores the rows top-down.
PackedDib MakePackedDib(int width, int height, int bits, const Palette& palette,
                        const std::function<uint32_t(int, int)>& value, uint32_t clrUsed = 0);

// A bitmap filled by value(x, y) (an index or a colour by depth).
Bitmap MakeBitmap(int width, int height, int depth, const std::function<uint32_t(int, int)>& value);

// Deterministic pseudo-random colours.
uint32_t NoiseColor(int x, int y);

void PutLE16(std::vector<uint8_t>& v, size_t at, uint16_t x);
void PutLE32(std::vector<uint8_t>& v, size_t at, uint32_t x);

} // namespace lumara::test
