#pragma once
// Small builders shared by the codec tests: byte buffers written field by
// field, images filled with a repeatable pattern, pixel comparison.

#include "codecs/model/Stream.h"
#include "codecs/model/TDibGraphic.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace lumara::test {

class Bytes {
  public:
    Bytes& u8(int v) {
        data.push_back(uint8_t(v));
        return *this;
    }
    Bytes& u16(int v) { return u8(v & 255).u8((v >> 8) & 255); }
    Bytes& u32(uint32_t v) { return u16(int(v & 0xFFFF)).u16(int(v >> 16)); }
    Bytes& fill(size_t count, int v) {
        data.insert(data.end(), count, uint8_t(v));
        return *this;
    }
    Bytes& raw(const std::vector<uint8_t>& v) {
        data.insert(data.end(), v.begin(), v.end());
        return *this;
    }
    size_t size() const { return data.size(); }
    std::vector<uint8_t> data;
};

inline uint16_t get16(const std::vector<uint8_t>& d, size_t at) {
    return uint16_t(d.at(at) | (d.at(at + 1) << 8));
}
inline uint32_t get32(const std::vector<uint8_t>& d, size_t at) {
    return uint32_t(get16(d, at)) | (uint32_t(get16(d, at + 2)) << 16);
}

// A repeatable picture: palette formats get their default palette and
// indices spread over it, true colour a mix of gradients and noise.
inline void FillPattern(TDibGraphic& image, int width, int height, TImageFormat format,
                        uint32_t seed = 1) {
    image.NewImage(width, height, format, nullptr, 96, 96);
    uint32_t state = seed * 2654435761u + 12345;
    auto next = [&state]() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    const int colors = format == ifTrueColor ? 0 : image.PaletteRecord().count;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (format == ifTrueColor) {
                const uint32_t noise = next();
                const uint32_t c = (uint32_t((x * 7 + (noise & 3)) & 255) << 16) |
                                   (uint32_t((y * 5) & 255) << 8) | ((noise >> 4) & 255);
                image.SetPixel(x, y, (x + y) % 5 == 0 ? 0x00C0C0C0u : c);
            } else {
                image.SetPaletteIndex(x, y, (x / 3 + y + int(next() % 2)) % colors);
            }
        }
}

// Same size and the same colour at every pixel.
inline ::testing::AssertionResult SameColors(const TDibGraphic& a, const TDibGraphic& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return ::testing::AssertionFailure() << "size " << a.GetWidth() << "x" << a.GetHeight()
                                             << " vs " << b.GetWidth() << "x" << b.GetHeight();
    for (int y = 0; y < a.GetHeight(); ++y)
        for (int x = 0; x < a.GetWidth(); ++x)
            if (a.GetPixel(x, y) != b.GetPixel(x, y))
                return ::testing::AssertionFailure()
                       << "pixel (" << x << "," << y << "): " << std::hex << a.GetPixel(x, y)
                       << " vs " << b.GetPixel(x, y);
    return ::testing::AssertionSuccess();
}

inline std::vector<uint8_t> SaveToBytes(TDibGraphic& image) {
    TMemoryStream stream;
    image.SaveToStream(stream);
    return stream.Data();
}

// Runs a load and returns the exception message, or "" when it succeeded.
template <class Exception, class Graphic>
std::string LoadError(Graphic& image, const std::vector<uint8_t>& data) {
    TMemoryStream stream(data);
    try {
        image.LoadFromStream(stream);
    } catch (const Exception& e) {
        return e.what();
    }
    return "";
}

} // namespace lumara::test

namespace lumara::test {

// A Windows 3.x bitmap file with a 40-byte info header; masks (for bit
// fields) and palette follow the header, then the pixel bytes as given.
inline std::vector<uint8_t> MakeBmp(int width, int height, int bpp, uint32_t compression,
                                    const std::vector<uint32_t>& palette,
                                    const std::vector<uint8_t>& pixels, int32_t pelsPerMeter = 2835,
                                    const std::vector<uint32_t>& masks = {}) {
    const uint32_t offset = uint32_t(14 + 40 + 4 * masks.size() + 4 * palette.size());
    Bytes b;
    b.u8('B').u8('M').u32(offset + uint32_t(pixels.size())).u32(0).u32(offset);
    b.u32(40).u32(uint32_t(width)).u32(uint32_t(height)).u16(1).u16(bpp).u32(compression);
    b.u32(uint32_t(pixels.size())).u32(uint32_t(pelsPerMeter)).u32(uint32_t(pelsPerMeter));
    b.u32(uint32_t(palette.size())).u32(0);
    for (uint32_t m : masks)
        b.u32(m);
    for (uint32_t p : palette)
        b.u32(p);
    b.raw(pixels);
    return b.data;
}

} // namespace lumara::test
