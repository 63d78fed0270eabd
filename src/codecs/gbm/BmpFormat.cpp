#include "BmpFormat.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

namespace lumara::gbm {

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitFields = 3;
constexpr uint32_t kBiAlphaBitFields = 6;

// Run-length data can describe far more pixels than it has bytes (a run of
// 255 pixels costs 2 bytes, deltas and an early end cost nothing), so a cap
// keeps a tiny file from asking for a huge picture: a generous multiple of
// the best run ratio, with room for small pictures that are mostly skipped.
constexpr uint64_t kRlePixelsPerByte = 256;
constexpr uint64_t kRleSmallPicture = 65536;

bool isOs2Version2(uint32_t headerSize) {
    return headerSize >= 16 && headerSize <= 64 && headerSize != 40 && headerSize != 52 &&
           headerSize != 56;
}

bool indexBeyond(const uint8_t* row, int width, int bpp, int count) {
    switch (bpp) {
    case 8:
        for (int x = 0; x < width; ++x)
            if (row[x] >= count) return true;
        return false;
    case 4:
        for (int x = 0; x < width; ++x)
            if (((x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4)) >= count) return true;
        return false;
    case 2:
        for (int x = 0; x < width; ++x)
            if (((row[x >> 2] >> (6 - 2 * (x & 3))) & 3) >= count) return true;
        return false;
    case 1:
        for (int x = 0; x < width; ++x)
            if (((row[x >> 3] >> (7 - (x & 7))) & 1) >= count) return true;
        return false;
    default:
        return false;
    }
}

void decodeUncompressed(const GbmSource& source, const Gbm& gbm, uint8_t* bits, size_t stride) {
    const size_t fileStride = GbmStride(gbm.w, gbm.bpp);
    if (fileStride == 0 || fileStride > stride) throw GbmFailure("row size mismatch");
    const uint8_t* data = source.At(gbm.bmp.dataOffset, fileStride * size_t(gbm.h));
    const bool checkIndices = gbm.bpp <= 8 && gbm.bmp.paletteCount < (1 << gbm.bpp);
    for (int i = 0; i < gbm.h; ++i) {
        const uint8_t* src = data + size_t(i) * fileStride;
        if (checkIndices && indexBeyond(src, gbm.w, gbm.bpp, gbm.bmp.paletteCount))
            throw GbmFailure("pixel index beyond the colour table");
        const int row = gbm.bmp.topDown ? gbm.h - 1 - i : i;
        std::memcpy(bits + size_t(row) * stride, src, fileStride);
    }
}

void decodeRle(const GbmSource& source, const Gbm& gbm, uint8_t* bits, size_t stride) {
    const bool rle4 = gbm.bmp.compression == kBiRle4;
    const int limit = gbm.bmp.paletteCount;
    const int w = gbm.w, h = gbm.h;
    const uint8_t* p = source.At(gbm.bmp.dataOffset, 0);
    const uint8_t* const end = source.Data() + source.Size();
    std::memset(bits, 0, stride * size_t(h));

    auto putNibble = [&](uint8_t* row, int x, int v) {
        row[x >> 1] |= uint8_t((x & 1) ? v : v << 4);
    };
    int x = 0, y = 0;
    for (;;) {
        if (end - p < 2) {
            // A missing end-of-bitmap marker is forgiven once every row is done.
            if (y >= h || (y == h - 1 && x == w)) return;
            throw GbmFailure("run-length data truncated");
        }
        const int n = p[0], c = p[1];
        p += 2;
        if (n != 0) {
            if (y >= h) throw GbmFailure("run-length data past the end of the picture");
            if (n > w - x) throw GbmFailure("run past the end of a row");
            uint8_t* row = bits + size_t(y) * stride;
            if (rle4) {
                const int hi = c >> 4, lo = c & 15;
                if (hi >= limit || (n > 1 && lo >= limit))
                    throw GbmFailure("pixel index beyond the colour table");
                for (int i = 0; i < n; ++i)
                    putNibble(row, x + i, (i & 1) ? lo : hi);
            } else {
                if (c >= limit) throw GbmFailure("pixel index beyond the colour table");
                std::memset(row + x, c, size_t(n));
            }
            x += n;
            continue;
        }
        switch (c) {
        case 0: // end of line
            x = 0;
            if (y < h) ++y;
            break;
        case 1: // end of bitmap
            return;
        case 2: { // delta
            if (end - p < 2) throw GbmFailure("run-length data truncated");
            x += p[0];
            y += p[1];
            p += 2;
            if (x > w || y > h) throw GbmFailure("delta moves outside the picture");
            break;
        }
        default: { // absolute run of c pixels, padded to a 16-bit boundary
            const size_t bytes = rle4 ? size_t(c + 1) / 2 : size_t(c);
            const size_t padded = bytes + (bytes & 1);
            if (size_t(end - p) < padded) throw GbmFailure("run-length data truncated");
            if (y >= h) throw GbmFailure("run-length data past the end of the picture");
            if (c > w - x) throw GbmFailure("run past the end of a row");
            uint8_t* row = bits + size_t(y) * stride;
            if (rle4) {
                for (int i = 0; i < c; ++i) {
                    const int v = (i & 1) ? (p[i >> 1] & 15) : (p[i >> 1] >> 4);
                    if (v >= limit) throw GbmFailure("pixel index beyond the colour table");
                    putNibble(row, x + i, v);
                }
            } else {
                for (int i = 0; i < c; ++i)
                    if (p[i] >= limit) throw GbmFailure("pixel index beyond the colour table");
                std::memcpy(row + x, p, size_t(c));
            }
            x += c;
            p += padded;
            break;
        }
        }
    }
}

struct MaskChannel {
    uint32_t mask = 0;
    int shift = 0;
    uint64_t max = 0; // largest value of the field
};

MaskChannel channelOf(uint32_t mask) {
    MaskChannel ch;
    if (mask == 0) return ch;
    ch.mask = mask;
    ch.shift = std::countr_zero(mask);
    ch.max = uint64_t(mask >> ch.shift);
    return ch;
}

} // namespace

void ParseBmpHeader(const GbmSource& source, Gbm& gbm) {
    const size_t fileSize = source.Size();
    if (source.U8At(0) != 'B' || source.U8At(1) != 'M') throw GbmFailure("not a bitmap file");
    const uint32_t offBits = source.U32At(10);
    const uint32_t headerSize = source.U32At(14);
    GbmBmpPrivate& bmp = gbm.bmp;
    bmp = GbmBmpPrivate{};
    bmp.headerSize = headerSize;

    const bool os2v1 = headerSize == 12;
    const bool os2v2 = isOs2Version2(headerSize);
    if (!os2v1 && !os2v2 && headerSize != 40 && headerSize != 52 && headerSize != 56 &&
        headerSize != 108 && headerSize != 124)
        throw GbmFailure("unknown info header size");
    source.At(14, headerSize);

    int64_t width, height;
    int planes, bpp;
    uint32_t compression = kBiRgb, colorsUsed = 0;
    if (os2v1) {
        width = source.U16At(18);
        height = source.U16At(20);
        planes = source.U16At(22);
        bpp = source.U16At(24);
    } else {
        width = int32_t(source.U32At(18));
        height = int32_t(source.U32At(22));
        planes = source.U16At(26);
        bpp = source.U16At(28);
        if (headerSize >= 20) compression = source.U32At(30);
        if (headerSize >= 36) colorsUsed = source.U32At(46);
    }
    if (width <= 0) throw GbmFailure("bad width");
    if (height == 0 || height == INT32_MIN) throw GbmFailure("bad height");
    if (planes != 1) throw GbmFailure("planes must be 1");
    if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        throw GbmFailure("unsupported bit count");
    bmp.topDown = height < 0;
    if (height < 0) height = -height;

    // Colour masks follow a 40-byte header; the later headers hold them.
    size_t maskBytes = 0;
    switch (compression) {
    case kBiRgb:
        break;
    case kBiRle8:
    case kBiRle4:
        if (bpp != (compression == kBiRle8 ? 8 : 4))
            throw GbmFailure("run-length coding does not fit the bit count");
        if (bmp.topDown) throw GbmFailure("run-length data cannot be top-down");
        break;
    case kBiBitFields:
    case kBiAlphaBitFields:
        if (os2v1 || os2v2) throw GbmFailure("unsupported compression");
        if (bpp != 16 && bpp != 32) throw GbmFailure("bit fields need 16 or 32 bits");
        {
            const size_t count = compression == kBiBitFields ? 3 : 4;
            if (headerSize < 40 + 4 * count) maskBytes = 40 + 4 * count - headerSize;
            for (size_t i = 0; i < count; ++i)
                bmp.masks[i] = source.U32At(14 + 40 + 4 * i);
        }
        break;
    default:
        throw GbmFailure("unsupported compression");
    }
    bmp.compression = compression;
    if (compression == kBiRgb && bpp == 16) {
        bmp.masks[0] = 0x7C00;
        bmp.masks[1] = 0x03E0;
        bmp.masks[2] = 0x001F;
    } else if (compression == kBiRgb && bpp == 32) {
        bmp.masks[0] = 0xFF0000;
        bmp.masks[1] = 0x00FF00;
        bmp.masks[2] = 0x0000FF;
    }

    const size_t paletteOffset = 14 + size_t(headerSize) + maskBytes;
    bmp.paletteOffset = uint32_t(paletteOffset);
    bmp.paletteEntrySize = os2v1 ? 3 : 4;
    if (offBits != 0 && (offBits < paletteOffset || offBits > fileSize))
        throw GbmFailure("bad offset of the pixel data");
    if (bpp <= 8) {
        int count = 1 << bpp;
        if (colorsUsed != 0 && colorsUsed < uint32_t(count)) count = int(colorsUsed);
        // A colour table that overlaps the pixels is shorter than it says.
        if (offBits != 0) {
            const size_t room = (offBits - paletteOffset) / size_t(bmp.paletteEntrySize);
            if (room < size_t(count)) count = int(room);
        }
        if (count < 1) throw GbmFailure("missing colour table");
        source.At(paletteOffset, size_t(count) * size_t(bmp.paletteEntrySize));
        bmp.paletteCount = count;
    }
    const size_t paletteEnd = paletteOffset + size_t(bmp.paletteCount) * bmp.paletteEntrySize;
    bmp.dataOffset = offBits != 0 ? offBits : uint32_t(paletteEnd);
    if (bmp.dataOffset > fileSize) throw GbmFailure("bad offset of the pixel data");

    const uint64_t fileStride = (uint64_t(width) * uint64_t(bpp) + 31) / 32 * 4;
    if (fileStride > INT32_MAX || width > INT32_MAX / 32) throw GbmFailure("picture too wide");
    const uint64_t available = fileSize - bmp.dataOffset;
    if (compression == kBiRle8 || compression == kBiRle4) {
        if (uint64_t(width) * uint64_t(height) > available * kRlePixelsPerByte + kRleSmallPicture)
            throw GbmFailure("picture too large for its run-length data");
    } else if (fileStride * uint64_t(height) > available) {
        throw GbmFailure("pixel data truncated");
    }
    gbm.w = int(width);
    gbm.h = int(height);
    gbm.bpp = bpp;
}

void ReadBmpColorTable(const GbmSource& source, const Gbm& gbm, uint32_t (&entries)[256]) {
    std::fill(std::begin(entries), std::end(entries), 0u);
    const int count = std::min(gbm.bmp.paletteCount, 256);
    const size_t size = size_t(gbm.bmp.paletteEntrySize);
    const uint8_t* p = source.At(gbm.bmp.paletteOffset, size_t(count) * size);
    for (int i = 0; i < count; ++i, p += size)
        entries[i] = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
}

void DecodeBmpPixels(const GbmSource& source, const Gbm& gbm, uint8_t* bits, size_t stride) {
    if (gbm.bpp > 8 && gbm.bpp != 24) throw GbmFailure("unsupported bit count");
    if (gbm.bmp.compression == kBiRle8 || gbm.bmp.compression == kBiRle4)
        decodeRle(source, gbm, bits, stride);
    else if (gbm.bmp.compression == kBiRgb)
        decodeUncompressed(source, gbm, bits, stride);
    else
        throw GbmFailure("unsupported compression");
}

void DecodeBmpMaskedPixels(const GbmSource& source, const Gbm& gbm, uint8_t* bits, size_t stride) {
    if (gbm.bpp != 16 && gbm.bpp != 32) throw GbmFailure("unsupported bit count");
    const size_t fileStride = GbmStride(gbm.w, gbm.bpp);
    if (size_t(gbm.w) * 3 > stride) throw GbmFailure("row size mismatch");
    const uint8_t* data = source.At(gbm.bmp.dataOffset, fileStride * size_t(gbm.h));
    const MaskChannel red = channelOf(gbm.bmp.masks[0]);
    const MaskChannel green = channelOf(gbm.bmp.masks[1]);
    const MaskChannel blue = channelOf(gbm.bmp.masks[2]);
    auto scale = [](const MaskChannel& ch, uint32_t px) -> uint8_t {
        if (ch.max == 0) return 0;
        const uint64_t v = (px & ch.mask) >> ch.shift;
        return uint8_t((v * 255 + ch.max / 2) / ch.max);
    };
    const bool plain32 =
        gbm.bpp == 32 && red.mask == 0xFF0000 && green.mask == 0xFF00 && blue.mask == 0xFF;
    for (int i = 0; i < gbm.h; ++i) {
        const uint8_t* src = data + size_t(i) * fileStride;
        const int row = gbm.bmp.topDown ? gbm.h - 1 - i : i;
        uint8_t* dst = bits + size_t(row) * stride;
        if (plain32) {
            for (int x = 0; x < gbm.w; ++x, src += 4, dst += 3) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
            }
            continue;
        }
        const int step = gbm.bpp / 8;
        for (int x = 0; x < gbm.w; ++x, src += step, dst += 3) {
            const uint32_t px = step == 2 ? uint32_t(src[0] | (src[1] << 8))
                                          : uint32_t(src[0]) | (uint32_t(src[1]) << 8) |
                                                (uint32_t(src[2]) << 16) | (uint32_t(src[3]) << 24);
            dst[0] = scale(blue, px);
            dst[1] = scale(green, px);
            dst[2] = scale(red, px);
        }
    }
}

void WriteBmpFile(TStream& stream, const uint8_t (&infoHeader)[40], const uint32_t* colors,
                  int colorCount, const uint8_t* bits, size_t imageSize) {
    const uint64_t offset = 14 + 40 + 4 * uint64_t(colorCount);
    const uint64_t fileSize = offset + imageSize;
    if (fileSize > UINT32_MAX) throw GbmFailure("picture too large for a bitmap file");
    uint8_t fileHeader[14] = {'B', 'M'};
    auto put32 = [](uint8_t* p, uint32_t v) {
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
        p[2] = uint8_t(v >> 16);
        p[3] = uint8_t(v >> 24);
    };
    put32(fileHeader + 2, uint32_t(fileSize));
    put32(fileHeader + 10, uint32_t(offset));
    stream.WriteBuffer(fileHeader, sizeof fileHeader);
    stream.WriteBuffer(infoHeader, 40);
    if (colorCount > 0) {
        uint8_t table[256 * 4];
        for (int i = 0; i < colorCount; ++i)
            put32(table + 4 * i, colors[i] & 0xFFFFFF);
        stream.WriteBuffer(table, size_t(colorCount) * 4);
    }
    stream.WriteBuffer(bits, imageSize);
}

} // namespace lumara::gbm
