#include "Bitmap.h"

#include "Exceptions.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

namespace lumara {

namespace {
std::atomic<size_t> gAllocationLimit{0};

int normalDepth(int depth) {
    return depth == 1 || depth == 4 || depth == 8 ? depth : 24;
}

Palette defaultPaletteFor(int depth) {
    switch (depth) {
    case 1:
        return {0x000000, 0xFFFFFF};
    case 4:
        return Palette(DefaultPalette16().begin(), DefaultPalette16().end());
    case 8:
        return Palette(DefaultPalette256().begin(), DefaultPalette256().end());
    default:
        return {};
    }
}
} // namespace

void Bitmap::SetAllocationLimitForTesting(size_t bytes) {
    gAllocationLimit = bytes;
}

std::unique_ptr<uint8_t[]> AllocatePixels(size_t size) {
    const size_t limit = gAllocationLimit;
    if (limit != 0 && size > limit) return nullptr;
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size ? size : 1]);
}

int64_t Bitmap::RowBytesFor(int64_t width, int depth) {
    if (width < 0) return -1;
    const int64_t bytes = (width * normalDepth(depth) + 31) / 32 * 4;
    return bytes > 0x7fffffff ? -1 : bytes;
}

Bitmap::Bitmap(const Bitmap& other)
    : palette(other.palette), handleType(other.handleType), xPelsPerMeter(other.xPelsPerMeter),
      yPelsPerMeter(other.yPelsPerMeter), width_(other.width_), height_(other.height_),
      depth_(other.depth_), rowBytes_(other.rowBytes_) {
    if (other.bits_) {
        bits_ = AllocatePixels(other.ImageSize());
        if (!bits_) throw EOutOfMemory("Out of memory");
        std::memcpy(bits_.get(), other.bits_.get(), other.ImageSize());
    }
}

Bitmap& Bitmap::operator=(const Bitmap& other) {
    if (this != &other) {
        Bitmap copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Bitmap::Bitmap(Bitmap&& other) noexcept
    : palette(std::move(other.palette)), handleType(other.handleType),
      xPelsPerMeter(other.xPelsPerMeter), yPelsPerMeter(other.yPelsPerMeter),
      bits_(std::move(other.bits_)), width_(other.width_), height_(other.height_),
      depth_(other.depth_), rowBytes_(other.rowBytes_) {
    other.Release();
}

Bitmap& Bitmap::operator=(Bitmap&& other) noexcept {
    if (this != &other) {
        palette = std::move(other.palette);
        handleType = other.handleType;
        xPelsPerMeter = other.xPelsPerMeter;
        yPelsPerMeter = other.yPelsPerMeter;
        bits_ = std::move(other.bits_);
        width_ = other.width_;
        height_ = other.height_;
        depth_ = other.depth_;
        rowBytes_ = other.rowBytes_;
        other.Release();
    }
    return *this;
}

void Bitmap::Create(int width, int height, int depth) {
    Release();
    depth = normalDepth(depth);
    const int64_t row = RowBytesFor(width, depth);
    if (width < 0 || height < 0 || row < 0 || (height > 0 && row > INT64_MAX / height))
        throw EOutOfMemory("CreateDibSection failed");
    const uint64_t size = uint64_t(row) * uint64_t(height);
    if (size > (uint64_t(1) << 40)) throw EOutOfMemory("CreateDibSection failed");
    auto bits = AllocatePixels(size_t(size));
    if (!bits) throw EOutOfMemory("CreateDibSection failed");
    std::memset(bits.get(), 0, size_t(size));
    bits_ = std::move(bits);
    width_ = width;
    height_ = height;
    depth_ = depth;
    rowBytes_ = int(row);
    palette = defaultPaletteFor(depth);
}

void Bitmap::Release() {
    bits_.reset();
    width_ = height_ = rowBytes_ = 0;
    palette.clear();
}

int Bitmap::PixelIndex(int x, int y) const {
    const uint8_t* row = ScanLine(y);
    switch (depth_) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4);
    case 8:
        return row[x];
    default:
        return 0;
    }
}

void Bitmap::SetPixelIndex(int x, int y, int index) {
    uint8_t* row = ScanLine(y);
    switch (depth_) {
    case 1: {
        const uint8_t bit = uint8_t(0x80 >> (x & 7));
        row[x >> 3] = (index & 1) ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit);
        break;
    }
    case 4:
        row[x >> 1] = (x & 1) ? uint8_t((row[x >> 1] & 0xF0) | (index & 15))
                              : uint8_t((row[x >> 1] & 0x0F) | ((index & 15) << 4));
        break;
    case 8:
        row[x] = uint8_t(index);
        break;
    default:
        break;
    }
}

uint32_t Bitmap::PixelColor(int x, int y) const {
    if (depth_ == 24) {
        const uint8_t* p = ScanLine(y) + 3 * x;
        return MakeColor(p[2], p[1], p[0]);
    }
    const int i = PixelIndex(x, y);
    return size_t(i) < palette.size() ? palette[size_t(i)] : 0;
}

void Bitmap::Fill(uint32_t color) {
    if (Empty()) return;
    if (depth_ != 24) {
        const int index = NearestPaletteIndex(palette.data(), int(palette.size()), color);
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                SetPixelIndex(x, y, index);
        return;
    }
    for (int y = 0; y < height_; ++y) {
        uint8_t* p = ScanLine(y);
        for (int x = 0; x < width_; ++x, p += 3) {
            p[0] = uint8_t(BlueOf(color));
            p[1] = uint8_t(GreenOf(color));
            p[2] = uint8_t(RedOf(color));
        }
    }
}

void Bitmap::SetDepth(int depth) {
    depth = normalDepth(depth);
    if (depth == depth_) return;
    if (Empty()) {
        depth_ = depth;
        palette = defaultPaletteFor(depth);
        return;
    }
    Bitmap out;
    out.Create(width_, height_, depth);
    out.handleType = handleType;
    out.xPelsPerMeter = xPelsPerMeter;
    out.yPelsPerMeter = yPelsPerMeter;
    if (depth == 24) {
        for (int y = 0; y < height_; ++y) {
            uint8_t* d = out.ScanLine(y);
            for (int x = 0; x < width_; ++x, d += 3) {
                const uint32_t c = PixelColor(x, y);
                d[0] = uint8_t(BlueOf(c));
                d[1] = uint8_t(GreenOf(c));
                d[2] = uint8_t(RedOf(c));
            }
        }
    } else if (depth > depth_ && depth_ != 24) {
        // Up from a smaller palette: the indices and the palette carry over.
        out.palette = palette;
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                out.SetPixelIndex(x, y, PixelIndex(x, y));
    } else {
        const Palette& pal = out.palette;
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                out.SetPixelIndex(
                    x, y, NearestPaletteIndex(pal.data(), int(pal.size()), PixelColor(x, y)));
    }
    *this = std::move(out);
}

bool Bitmap::SamePixels(const Bitmap& other) const {
    if (width_ != other.width_ || height_ != other.height_ || depth_ != other.depth_) return false;
    if (depth_ != 24 && palette != other.palette) return false;
    const int usedBytes = (width_ * depth_ + 7) / 8;
    for (int y = 0; y < height_; ++y) {
        if (depth_ >= 8) {
            if (std::memcmp(ScanLine(y), other.ScanLine(y), size_t(usedBytes)) != 0) return false;
        } else {
            for (int x = 0; x < width_; ++x)
                if (PixelIndex(x, y) != other.PixelIndex(x, y)) return false;
        }
    }
    return true;
}

} // namespace lumara
