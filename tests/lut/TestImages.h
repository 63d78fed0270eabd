#pragma once
// Small 24-bit images built in the tests.

#include "codecs/model/Bitmap.h"
#include "processing/lut/Hls.h"
#include "processing/lut/ParallelRows.h"

#include <cstdint>
#include <functional>

namespace lumara::testing {

inline RgbColor PixelAt(const Bitmap& bitmap, int x, int y) {
    const uint8_t* p = bitmap.ScanLine(y) + 3 * x;
    return RgbColor{p[2], p[1], p[0]};
}

inline void SetPixel(Bitmap& bitmap, int x, int y, RgbColor c) {
    uint8_t* p = bitmap.ScanLine(y) + 3 * x;
    p[0] = static_cast<uint8_t>(c.b);
    p[1] = static_cast<uint8_t>(c.g);
    p[2] = static_cast<uint8_t>(c.r);
}

inline Bitmap MakeImage(int width, int height, const std::function<RgbColor(int, int)>& colour) {
    Bitmap bitmap(width, height, 24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            SetPixel(bitmap, x, y, colour(x, y));
    return bitmap;
}

// One row holding the given colours.
inline Bitmap RowOf(std::initializer_list<RgbColor> colours) {
    Bitmap bitmap(static_cast<int>(colours.size()), 1, 24);
    int x = 0;
    for (const RgbColor& c : colours)
        SetPixel(bitmap, x++, 0, c);
    return bitmap;
}

// Deterministic noise, the same on every run.
inline Bitmap NoiseImage(int width, int height, uint32_t seed) {
    Bitmap bitmap(width, height, 24);
    uint32_t state = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        uint8_t* p = bitmap.ScanLine(y);
        for (int i = 0; i < bitmap.RowBytes(); ++i) {
            state = state * 1664525u + 1013904223u;
            p[i] = static_cast<uint8_t>(state >> 24);
        }
    }
    return bitmap;
}

// Restores the process-wide row threading when a test ends.
class ScopedRowThreading {
  public:
    explicit ScopedRowThreading(RowThreading threading) : saved_(GetRowThreading()) {
        SetRowThreading(threading);
    }
    ~ScopedRowThreading() { SetRowThreading(saved_); }
    ScopedRowThreading(const ScopedRowThreading&) = delete;
    ScopedRowThreading& operator=(const ScopedRowThreading&) = delete;

  private:
    RowThreading saved_;
};

} // namespace lumara::testing
