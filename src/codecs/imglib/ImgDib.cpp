// Images in and out of the table as packed bitmaps and surface bitmaps, and
// the questions about an open image (size, depth, palette).

#include "ImgHandles.h"
#include "ImgLib.h"

#include "codecs/model/Exceptions.h"

#include <cstring>
#include <limits>
#include <new>
#include <shared_mutex>

namespace lumara {

namespace {

uint16_t readU16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
uint32_t readU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
int32_t readI32(const uint8_t* p) {
    return int32_t(readU32(p));
}

struct DibFailure {
    const char* text;
};

// Clears the bits right of the last pixel in the final byte of a packed
// 1- or 4-bit row, so that padding never carries stray data.
void maskTail(uint8_t* row, int width, int depth) {
    const int64_t bits = int64_t(width) * depth;
    const int rem = int(bits & 7);
    if (rem != 0) row[bits >> 3] &= uint8_t(0xFF00 >> rem);
}

// 16-bit rows (5-5-5, blue in the low bits) and 32-bit rows (blue, green,
// red, unused) become 24-bit rows.
void expandRow16(const uint8_t* src, uint8_t* dst, int width) {
    for (int x = 0; x < width; ++x, src += 2, dst += 3) {
        const unsigned v = readU16(src);
        const unsigned b = v & 31, g = (v >> 5) & 31, r = (v >> 10) & 31;
        dst[0] = uint8_t((b << 3) | (b >> 2));
        dst[1] = uint8_t((g << 3) | (g >> 2));
        dst[2] = uint8_t((r << 3) | (r >> 2));
    }
}

void expandRow32(const uint8_t* src, uint8_t* dst, int width) {
    for (int x = 0; x < width; ++x, src += 4, dst += 3) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
    }
}

Bitmap parsePackedDib(const uint8_t* data, size_t size) {
    if (!data || size < BitmapInfoHeader::kSize)
        throw DibFailure{"Invalid bitmap: header too short"};
    const uint32_t headerSize = readU32(data);
    const int32_t width = readI32(data + 4);
    const int32_t height = readI32(data + 8);
    const uint16_t bitCount = readU16(data + 14);
    const uint32_t compression = readU32(data + 16);
    const int32_t xPels = readI32(data + 24);
    const int32_t yPels = readI32(data + 28);
    const uint32_t clrUsed = readU32(data + 32);

    // Later header versions extend the 40-byte one; their extra fields only
    // matter for compressed or bit-field images, which are refused below.
    if (headerSize < BitmapInfoHeader::kSize || headerSize > size)
        throw DibFailure{"Invalid bitmap: bad header size"};
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32)
        throw DibFailure{"Invalid bitmap: unsupported bits per pixel"};
    if (compression != 0) throw DibFailure{"Invalid bitmap: compressed bitmaps are not supported"};
    if (width <= 0 || height == 0 || height == std::numeric_limits<int32_t>::min())
        throw DibFailure{"Invalid bitmap: bad width or height"};

    const bool bottomUp = height > 0;
    const int rows = bottomUp ? height : -height;
    const bool paletted = bitCount <= 8;
    const uint32_t fullTable = paletted ? (1u << bitCount) : 0;
    const uint64_t tableEntries = clrUsed != 0 ? clrUsed : fullTable;
    const int64_t srcRowBytes = (int64_t(width) * bitCount + 31) / 32 * 4;
    if (srcRowBytes > std::numeric_limits<int32_t>::max())
        throw DibFailure{"Invalid bitmap: bad width or height"};

    // Everything the header promises must lie inside the buffer before any
    // pixel memory is taken.
    const uint64_t tableBytes = tableEntries * 4;
    const uint64_t pixelOffset = uint64_t(headerSize) + tableBytes;
    if (tableEntries > size || pixelOffset > size)
        throw DibFailure{"Invalid bitmap: data truncated"};
    const uint64_t available = size - pixelOffset;
    if (uint64_t(srcRowBytes) > available || uint64_t(rows) > available / uint64_t(srcRowBytes))
        throw DibFailure{"Invalid bitmap: data truncated"};

    const int depth = paletted ? bitCount : 24;
    Bitmap bitmap;
    bitmap.Create(width, rows, depth);
    bitmap.xPelsPerMeter = xPels;
    bitmap.yPelsPerMeter = yPels;
    if (paletted) {
        const size_t kept = size_t(tableEntries < fullTable ? tableEntries : fullTable);
        bitmap.palette.assign(kept, 0);
        const uint8_t* table = data + headerSize;
        for (size_t i = 0; i < kept; ++i)
            bitmap.palette[i] = MakeColor(table[4 * i + 2], table[4 * i + 1], table[4 * i]);
    }

    const uint8_t* pixels = data + pixelOffset;
    const size_t usedBytes = size_t((int64_t(width) * depth + 7) / 8);
    for (int y = 0; y < rows; ++y) {
        const uint8_t* src = pixels + size_t(bottomUp ? rows - 1 - y : y) * size_t(srcRowBytes);
        uint8_t* dst = bitmap.ScanLine(y);
        if (bitCount == 16) {
            expandRow16(src, dst, width);
        } else if (bitCount == 32) {
            expandRow32(src, dst, width);
        } else {
            std::memcpy(dst, src, usedBytes);
            if (depth < 8) maskTail(dst, width, depth);
        }
    }
    return bitmap;
}

} // namespace

HIMG ImgFromDIB(const uint8_t* packed, size_t size) {
    try {
        return RegisterImage(parsePackedDib(packed, size));
    } catch (const DibFailure& f) {
        SetImgStatus(f.text);
    } catch (const EOutOfMemory&) {
        SetImgStatus("Out of memory");
    } catch (const std::bad_alloc&) {
        SetImgStatus("Out of memory");
    }
    return 0;
}

HIMG ImgFromBitmap(const Bitmap& bitmap) {
    if (bitmap.Empty() || bitmap.Width() <= 0 || bitmap.Height() <= 0) {
        SetImgStatus("Invalid bitmap");
        return 0;
    }
    try {
        Bitmap copy(bitmap);
        copy.handleType = HandleType::DIB;
        return RegisterImage(std::move(copy));
    } catch (const EOutOfMemory&) {
        SetImgStatus("Out of memory");
    } catch (const std::bad_alloc&) {
        SetImgStatus("Out of memory");
    }
    return 0;
}

bool ImgGetInfoStruct(HIMG image, BitmapInfoHeader* info) {
    auto entry = LookupImage(image);
    if (!entry) return false;
    if (!info) {
        SetImgStatus("Invalid parameter");
        return false;
    }
    std::shared_lock<std::shared_mutex> guard(entry->lock);
    const Bitmap& b = entry->Current();
    BitmapInfoHeader h;
    h.biWidth = b.Width();
    h.biHeight = b.Height();
    h.biPlanes = 1;
    h.biBitCount = uint16_t(b.Depth());
    h.biCompression = 0;
    const size_t imageSize = b.ImageSize();
    h.biSizeImage = imageSize > 0xFFFFFFFFu ? 0 : uint32_t(imageSize);
    h.biXPelsPerMeter = b.xPelsPerMeter;
    h.biYPelsPerMeter = b.yPelsPerMeter;
    h.biClrUsed = b.Depth() == 24 ? 0 : uint32_t(b.palette.size());
    *info = h;
    return true;
}

bool ImgGetPalette(HIMG image, Palette* palette) {
    auto entry = LookupImage(image);
    if (!entry) return false;
    std::shared_lock<std::shared_mutex> guard(entry->lock);
    const Bitmap& b = entry->Current();
    if (b.Depth() == 24) {
        SetImgStatus("Image has no palette");
        return false;
    }
    if (!palette) {
        SetImgStatus("Invalid parameter");
        return false;
    }
    try {
        *palette = b.palette;
    } catch (const std::bad_alloc&) {
        SetImgStatus("Out of memory");
        return false;
    }
    return true;
}

} // namespace lumara
