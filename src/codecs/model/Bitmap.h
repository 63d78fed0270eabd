#pragma once
// The pixels of a display surface (the program's TBitmap): 1, 4, 8 or 24 bits
// per pixel, a palette for the first three, rows top-down and padded to 4 bytes,
// 24-bit pixels stored blue, green, red. Row 0 is the top row of the picture.

#include "Palettes.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace lumara {

enum class HandleType { DIB, DDB };

class Bitmap {
  public:
    Bitmap() = default;
    Bitmap(int width, int height, int depth) { Create(width, height, depth); }
    Bitmap(const Bitmap& other);
    Bitmap& operator=(const Bitmap& other);
    // A moved-from bitmap is empty with no size.
    Bitmap(Bitmap&& other) noexcept;
    Bitmap& operator=(Bitmap&& other) noexcept;

    // Gives the bitmap a new image, zero-filled. depth is 1, 4 or 8; anything
    // else means 24. Palette formats get the default palette of their depth.
    // Raises EOutOfMemory "CreateDibSection failed" when the size overflows or
    // the memory cannot be had; the bitmap is then empty.
    void Create(int width, int height, int depth);
    void Release();
    bool Empty() const { return !bits_; }

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Depth() const { return depth_; }
    int RowBytes() const { return rowBytes_; }
    size_t ImageSize() const { return size_t(rowBytes_) * size_t(height_); }
    uint8_t* Bits() { return bits_.get(); }
    const uint8_t* Bits() const { return bits_.get(); }
    uint8_t* ScanLine(int y) { return bits_.get() + size_t(y) * size_t(rowBytes_); }
    const uint8_t* ScanLine(int y) const { return bits_.get() + size_t(y) * size_t(rowBytes_); }

    // Palette entries as 0x00RRGGBB (2, 16 or 256 entries for palette depths,
    // or whatever count the loader set; empty at 24 bits).
    Palette palette;
    HandleType handleType = HandleType::DIB;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;

    // Colour of a pixel, 0x00RRGGBB, at any depth.
    uint32_t PixelColor(int x, int y) const;
    int PixelIndex(int x, int y) const;
    void SetPixelIndex(int x, int y, int index);
    void Fill(uint32_t color);

    // Changes the pixel format keeping the picture: exact upward, nearest
    // palette entry downward (colour reduction with dithering is elsewhere).
    void SetDepth(int depth);

    // Row bytes for a width at a depth, or -1 when it does not fit 31 bits.
    static int64_t RowBytesFor(int64_t width, int depth);

    // Tests make allocations above this many bytes fail (0 = no limit).
    static void SetAllocationLimitForTesting(size_t bytes);

    bool SamePixels(const Bitmap& other) const;

  private:
    std::unique_ptr<uint8_t[]> bits_;
    int width_ = 0;
    int height_ = 0;
    int depth_ = 24;
    int rowBytes_ = 0;
};

// Allocates size bytes or returns null (honours the test limit above).
std::unique_ptr<uint8_t[]> AllocatePixels(size_t size);

} // namespace lumara
