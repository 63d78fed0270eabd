// The Truevision TGA handler of the generalised bitmap layer: colour-mapped
// (types 1 and 9, 8 bits with a 24-bit map), true colour (types 2 and 10, 16,
// 24 or 32 bits, read as 24) and gray (types 3 and 11, 8 bits), raw or
// run-length coded; writes raw 8- and 24-bit files.

#include "Gbm.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace lumara::gbm {

namespace {

constexpr size_t kHeaderSize = 18;

bool isRunLength(int type) {
    return type >= 9;
}

void readHeader(GbmSource& source, Gbm& gbm, const std::string&) {
    source.At(0, kHeaderSize);
    const int idLength = source.U8At(0);
    const int mapType = source.U8At(1);
    const int type = source.U8At(2);
    const int mapFirst = source.U16At(3);
    const int mapLength = source.U16At(5);
    const int mapEntrySize = source.U8At(7);
    const int width = source.U16At(12);
    const int height = source.U16At(14);
    const int depth = source.U8At(16);
    const int descriptor = source.U8At(17);
    if (width < 1 || height < 1) throw GbmFailure("bad picture size");
    if (mapType > 1) throw GbmFailure("unknown colour map type");

    int bpp;
    switch (type) {
    case 1:
    case 9:
        if (depth != 8 || mapType != 1 || mapEntrySize != 24)
            throw GbmFailure("unsupported colour-mapped picture");
        if (mapLength < 1 || mapFirst + mapLength > 256) throw GbmFailure("bad colour map");
        bpp = 8;
        break;
    case 2:
    case 10:
        if (depth != 16 && depth != 24 && depth != 32)
            throw GbmFailure("unsupported true-colour depth");
        bpp = 24;
        break;
    case 3:
    case 11:
        if (depth != 8) throw GbmFailure("unsupported gray depth");
        bpp = 8;
        break;
    default:
        throw GbmFailure("unsupported image type");
    }

    const size_t mapOffset = kHeaderSize + size_t(idLength);
    const size_t mapBytes = mapType ? size_t(mapLength) * size_t((mapEntrySize + 7) / 8) : 0;
    const size_t dataOffset = mapOffset + mapBytes;
    source.At(mapOffset, mapBytes);

    const uint64_t bytesPerPixel = uint64_t(depth / 8);
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    const uint64_t available = source.Size() - dataOffset;
    if (isRunLength(type)) {
        // A run packet of 1 + pixel bytes codes at most 128 pixels.
        if (pixels > (available / (1 + bytesPerPixel) + 1) * 128)
            throw GbmFailure("picture too large for its data");
    } else if (pixels * bytesPerPixel > available) {
        throw GbmFailure("pixel data truncated");
    }

    gbm.w = width;
    gbm.h = height;
    gbm.bpp = bpp;
    gbm.tga = GbmTgaPrivate{type,      depth,     (descriptor & 0x20) != 0, mapFirst, mapLength,
                            mapOffset, dataOffset};
}

void readPalette(GbmSource& source, Gbm& gbm, GbmPalette& palette) {
    palette.fill(GbmRgb{});
    const GbmTgaPrivate& tga = gbm.tga;
    if (tga.imageType == 3 || tga.imageType == 11) {
        for (int i = 0; i < 256; ++i)
            palette[size_t(i)] = GbmRgb{uint8_t(i), uint8_t(i), uint8_t(i)};
    } else if (tga.imageType == 1 || tga.imageType == 9) {
        const uint8_t* p = source.At(tga.mapOffset, size_t(tga.mapLength) * 3);
        for (int i = 0; i < tga.mapLength; ++i, p += 3)
            palette[size_t(tga.mapFirst + i)] = GbmRgb{p[2], p[1], p[0]};
    }
}

// One row of file pixels into one row of the picture.
void convertRow(const Gbm& gbm, const uint8_t* src, uint8_t* dst) {
    const GbmTgaPrivate& tga = gbm.tga;
    const int w = gbm.w;
    switch (tga.depth) {
    case 8:
        if (tga.imageType == 1 || tga.imageType == 9) {
            for (int x = 0; x < w; ++x)
                if (src[x] < tga.mapFirst || src[x] >= tga.mapFirst + tga.mapLength)
                    throw GbmFailure("pixel index beyond the colour map");
        }
        std::memcpy(dst, src, size_t(w));
        break;
    case 16:
        for (int x = 0; x < w; ++x, src += 2, dst += 3) {
            const int v = src[0] | (src[1] << 8);
            const int r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
            dst[0] = uint8_t((b << 3) | (b >> 2));
            dst[1] = uint8_t((g << 3) | (g >> 2));
            dst[2] = uint8_t((r << 3) | (r >> 2));
        }
        break;
    case 24:
        std::memcpy(dst, src, size_t(w) * 3);
        break;
    case 32:
        for (int x = 0; x < w; ++x, src += 4, dst += 3) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
        }
        break;
    default:
        throw GbmFailure("unsupported depth");
    }
}

void readData(GbmSource& source, Gbm& gbm, uint8_t* bits, size_t stride) {
    const GbmTgaPrivate& tga = gbm.tga;
    const size_t bytesPerPixel = size_t(tga.depth / 8);
    const size_t lineBytes = size_t(gbm.w) * bytesPerPixel;
    if (size_t(gbm.w) * size_t(gbm.bpp / 8) > stride) throw GbmFailure("row size mismatch");
    auto rowOf = [&](int r) {
        uint8_t* dst = bits + size_t(tga.topFirst ? gbm.h - 1 - r : r) * stride;
        std::memset(dst, 0, stride);
        return dst;
    };

    if (!isRunLength(tga.imageType)) {
        const uint8_t* data = source.At(tga.dataOffset, lineBytes * size_t(gbm.h));
        for (int r = 0; r < gbm.h; ++r)
            convertRow(gbm, data + size_t(r) * lineBytes, rowOf(r));
        source.Seek(tga.dataOffset + lineBytes * size_t(gbm.h));
        return;
    }

    std::vector<uint8_t> line(lineBytes);
    source.Seek(tga.dataOffset);
    const uint8_t* p = source.Data() + tga.dataOffset;
    const uint8_t* const end = source.Data() + source.Size();
    int left = 0; // pixels left in the current packet; packets may span rows
    bool run = false;
    const uint8_t* value = nullptr;
    for (int r = 0; r < gbm.h; ++r) {
        size_t x = 0;
        while (x < size_t(gbm.w)) {
            if (left == 0) {
                if (p >= end) throw GbmFailure("TGA data truncated");
                const uint8_t packet = *p++;
                left = (packet & 127) + 1;
                run = (packet & 128) != 0;
                if (run) {
                    if (size_t(end - p) < bytesPerPixel) throw GbmFailure("TGA data truncated");
                    value = p;
                    p += bytesPerPixel;
                }
            }
            const size_t n = std::min(size_t(left), size_t(gbm.w) - x);
            uint8_t* out = line.data() + x * bytesPerPixel;
            if (run) {
                for (size_t i = 0; i < n; ++i, out += bytesPerPixel)
                    std::memcpy(out, value, bytesPerPixel);
            } else {
                if (size_t(end - p) < n * bytesPerPixel) throw GbmFailure("TGA data truncated");
                std::memcpy(out, p, n * bytesPerPixel);
                p += n * bytesPerPixel;
            }
            x += n;
            left -= int(n);
        }
        convertRow(gbm, line.data(), rowOf(r));
    }
    source.Seek(size_t(p - source.Data()));
}

void put16(uint8_t* p, int v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void write(TStream& stream, const Gbm& gbm, const GbmPalette& palette, const uint8_t* bits,
           size_t stride, const std::string&) {
    if (gbm.bpp != 8 && gbm.bpp != 24) throw GbmFailure("unsupported bit count");
    if (gbm.w < 1 || gbm.h < 1 || gbm.w > 65535 || gbm.h > 65535)
        throw GbmFailure("picture too large for TGA");
    if (stride != GbmStride(gbm.w, gbm.bpp)) throw GbmFailure("row size mismatch");
    const bool mapped = gbm.bpp == 8;
    uint8_t header[kHeaderSize] = {};
    header[1] = mapped ? 1 : 0;
    header[2] = mapped ? 1 : 2;
    put16(header + 5, mapped ? 256 : 0);
    header[7] = mapped ? 24 : 0;
    put16(header + 12, gbm.w);
    put16(header + 14, gbm.h);
    header[16] = uint8_t(gbm.bpp);
    stream.WriteBuffer(header, sizeof header);
    if (mapped) {
        uint8_t map[256 * 3];
        for (size_t i = 0; i < 256; ++i) {
            map[3 * i] = palette[i].b;
            map[3 * i + 1] = palette[i].g;
            map[3 * i + 2] = palette[i].r;
        }
        stream.WriteBuffer(map, sizeof map);
    }
    const size_t lineBytes = size_t(gbm.w) * size_t(gbm.bpp / 8);
    for (int r = 0; r < gbm.h; ++r)
        stream.WriteBuffer(bits + size_t(r) * stride, lineBytes);
}

} // namespace

const GbmFormat kGbmTgaFormat = {"Truevision Targa", "TGA VST AFI ", readHeader,
                                 readPalette,        readData,       write};

} // namespace lumara::gbm
