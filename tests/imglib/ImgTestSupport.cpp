#include "ImgTestSupport.h"

namespace lumara::test {

void PutLE16(std::vector<uint8_t>& v, size_t at, uint16_t x) {
    v[at] = uint8_t(x);
    v[at + 1] = uint8_t(x >> 8);
}

void PutLE32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v[at + size_t(i)] = uint8_t(x >> (8 * i));
}

PackedDib MakePackedDib(int width, int height, int bits, const Palette& palette,
                        const std::function<uint32_t(int, int)>& value, uint32_t clrUsed) {
    const int rows = height < 0 ? -height : height;
    const size_t rowBytes = size_t((width * bits + 31) / 32 * 4);
    const size_t tableEntries = bits <= 8 ? (clrUsed ? clrUsed : (1u << bits)) : clrUsed;
    PackedDib dib(40 + tableEntries * 4 + rowBytes * size_t(rows), 0);
    PutLE32(dib, 0, 40);
    PutLE32(dib, 4, uint32_t(width));
    PutLE32(dib, 8, uint32_t(height));
    PutLE16(dib, 12, 1);
    PutLE16(dib, 14, uint16_t(bits));
    PutLE32(dib, 20, uint32_t(rowBytes * size_t(rows)));
    PutLE32(dib, 24, 3780);
    PutLE32(dib, 28, 2835);
    PutLE32(dib, 32, clrUsed);
    for (size_t i = 0; i < tableEntries; ++i) {
        const uint32_t c = i < palette.size() ? palette[i] : 0;
        dib[40 + 4 * i] = uint8_t(BlueOf(c));
        dib[40 + 4 * i + 1] = uint8_t(GreenOf(c));
        dib[40 + 4 * i + 2] = uint8_t(RedOf(c));
    }
    const size_t pixels = 40 + tableEntries * 4;
    for (int y = 0; y < rows; ++y) {
        const int stored = height > 0 ? rows - 1 - y : y;
        uint8_t* r = dib.data() + pixels + size_t(stored) * rowBytes;
        for (int x = 0; x < width; ++x) {
            const uint32_t v = value(x, y);
            switch (bits) {
            case 1:
                r[x >> 3] = uint8_t(r[x >> 3] | ((v & 1) << (7 - (x & 7))));
                break;
            case 4:
                r[x >> 1] = uint8_t(r[x >> 1] | ((v & 15) << ((x & 1) ? 0 : 4)));
                break;
            case 8:
                r[x] = uint8_t(v);
                break;
            case 16: {
                const uint16_t p =
                    uint16_t(((RedOf(v) >> 3) << 10) | ((GreenOf(v) >> 3) << 5) | (BlueOf(v) >> 3));
                r[2 * x] = uint8_t(p);
                r[2 * x + 1] = uint8_t(p >> 8);
                break;
            }
            case 24:
                r[3 * x] = uint8_t(BlueOf(v));
                r[3 * x + 1] = uint8_t(GreenOf(v));
                r[3 * x + 2] = uint8_t(RedOf(v));
                break;
            default:
                r[4 * x] = uint8_t(BlueOf(v));
                r[4 * x + 1] = uint8_t(GreenOf(v));
                r[4 * x + 2] = uint8_t(RedOf(v));
                r[4 * x + 3] = 0x5A;
                break;
            }
        }
    }
    return dib;
}

Bitmap MakeBitmap(int width, int height, int depth,
                  const std::function<uint32_t(int, int)>& value) {
    Bitmap b(width, height, depth);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t v = value(x, y);
            if (depth == 24) {
                uint8_t* p = b.ScanLine(y) + 3 * x;
                p[0] = uint8_t(BlueOf(v));
                p[1] = uint8_t(GreenOf(v));
                p[2] = uint8_t(RedOf(v));
            } else {
                b.SetPixelIndex(x, y, int(v));
            }
        }
    }
    return b;
}

uint32_t NoiseColor(int x, int y) {
    uint32_t h = uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return h & 0xFFFFFF;
}

} // namespace lumara::test
