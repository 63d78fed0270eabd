#include "TDibGraphic.h"

#include "Exceptions.h"
#include "Palettes.h"

#include <QImage>
#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <new>

namespace lumara {

namespace {

int gScreenDpiX = 96;
int gScreenDpiY = 96;

constexpr const char* kFormatText[] = {"B/W",        "4bpp gray",  "8bpp gray",
                                       "4bpp color", "8bpp color", "24bpp color"};
constexpr int kFormatBits[] = {1, 4, 8, 4, 8, 24};

bool validFormat(int format) {
    return format >= ifBlackWhite && format <= ifTrueColor;
}

TPaletteRecord makeRecord(const uint32_t* colors, int count) {
    TPaletteRecord r;
    r.version = 0x300;
    r.count = uint16_t(count);
    std::copy(colors, colors + count, r.entries.begin());
    return r;
}

struct DefaultPalettes {
    TPaletteRecord blackWhite, gray16, gray256, color16, color256;
    DefaultPalettes() {
        const uint32_t bw[2] = {0x000000, 0xFFFFFF};
        blackWhite = makeRecord(bw, 2);
        gray16.count = 16;
        for (int i = 0; i < 16; ++i)
            gray16.entries[size_t(i)] = MakeColor(17 * i, 17 * i, 17 * i);
        gray256.count = 256;
        for (int i = 0; i < 256; ++i)
            gray256.entries[size_t(i)] = MakeColor(i, i, i);
        color16 = makeRecord(DefaultPalette16().data(), 16);
        color256 = makeRecord(DefaultPalette256().data(), 256);
    }
};

const DefaultPalettes& defaults() {
    static const DefaultPalettes p;
    return p;
}

int paletteCount(const TPaletteRecord& p) {
    return std::min<int>(p.count, 256);
}

// ---- Pixel access, one set of functions per packing; chosen once per image.

uint32_t entryOf(const TDibGraphic& g, int index) {
    return g.PaletteRecord().entries[size_t(index)];
}

int readIndex1(const uint8_t* row, int x) {
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}
int readIndex4(const uint8_t* row, int x) {
    return (x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4);
}
int readIndex8(const uint8_t* row, int x) {
    return row[x];
}
int readIndex24(const uint8_t*, int) {
    return 0;
}

void writeIndex1(uint8_t* row, int x, int index) {
    const uint8_t bit = uint8_t(0x80 >> (x & 7));
    row[x >> 3] = (index & 1) ? uint8_t(row[x >> 3] | bit) : uint8_t(row[x >> 3] & ~bit);
}
void writeIndex4(uint8_t* row, int x, int index) {
    uint8_t& b = row[x >> 1];
    b = (x & 1) ? uint8_t((b & 0xF0) | (index & 15)) : uint8_t((b & 0x0F) | ((index & 15) << 4));
}
void writeIndex8(uint8_t* row, int x, int index) {
    row[x] = uint8_t(index);
}
void writeIndex24(uint8_t*, int, int) {}

template <int (*ReadIndex)(const uint8_t*, int)>
uint32_t readPalette(const TDibGraphic& g, int x, int y) {
    return entryOf(g, ReadIndex(g.ScanLine(y), x));
}

uint32_t readTrue(const TDibGraphic& g, int x, int y) {
    const uint8_t* p = g.ScanLine(y) + 3 * size_t(x);
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
}

template <void (*WriteIndex)(uint8_t*, int, int)>
void writePalette(TDibGraphic& g, int x, int y, uint32_t color) {
    WriteIndex(g.ScanLine(y), x, g.Converter()->NearestIndex(color));
}

void writeTrue(TDibGraphic& g, int x, int y, uint32_t color) {
    uint8_t* p = g.ScanLine(y) + 3 * size_t(x);
    p[0] = uint8_t(color);
    p[1] = uint8_t(color >> 8);
    p[2] = uint8_t(color >> 16);
}

struct PixelAccess {
    uint32_t (*read)(const TDibGraphic&, int, int);
    void (*write)(TDibGraphic&, int, int, uint32_t);
    int (*readIndex)(const uint8_t*, int);
    void (*writeIndex)(uint8_t*, int, int);
};

// Indexed by TImageFormat; the gray and colour codes of one depth share functions.
constexpr PixelAccess kAccess[] = {
    {readPalette<readIndex1>, writePalette<writeIndex1>, readIndex1, writeIndex1},
    {readPalette<readIndex4>, writePalette<writeIndex4>, readIndex4, writeIndex4},
    {readPalette<readIndex8>, writePalette<writeIndex8>, readIndex8, writeIndex8},
    {readPalette<readIndex4>, writePalette<writeIndex4>, readIndex4, writeIndex4},
    {readPalette<readIndex8>, writePalette<writeIndex8>, readIndex8, writeIndex8},
    {readTrue, writeTrue, readIndex24, writeIndex24},
};

// Dots per inch from a stored resolution; out of the 16-bit range means "unknown".
uint16_t dpiFromPels(int32_t pels) {
    if (pels <= 0) return 0;
    const int dpi = PelsPerMeterToDpi(pels);
    return dpi < 0 || dpi > 65535 ? 0 : uint16_t(dpi);
}

} // namespace

const char* ImageFormatText(TImageFormat format) {
    return validFormat(format) ? kFormatText[format] : "";
}

int BitsPerPixelOf(TImageFormat format) {
    return validFormat(format) ? kFormatBits[format] : 0;
}

TImageFormat FormatForBitCount(int bitCount) {
    switch (bitCount) {
    case 1:
        return ifBlackWhite;
    case 4:
        return ifColor16;
    case 8:
        return ifColor256;
    case 24:
        return ifTrueColor;
    default:
        throw EZeradudaError("Unsupported bit count");
    }
}

const TPaletteRecord* DefaultPaletteOf(TImageFormat format) {
    const DefaultPalettes& d = defaults();
    switch (format) {
    case ifBlackWhite:
        return &d.blackWhite;
    case ifGray16:
        return &d.gray16;
    case ifGray256:
        return &d.gray256;
    case ifColor16:
        return &d.color16;
    case ifColor256:
        return &d.color256;
    default:
        return nullptr;
    }
}

void SetScreenDotsPerInch(int x, int y) {
    gScreenDpiX = x;
    gScreenDpiY = y;
}
int ScreenDotsPerInchX() {
    return gScreenDpiX;
}
int ScreenDotsPerInchY() {
    return gScreenDpiY;
}

// ---- TRgbToPaletteConverter

TRgbToPaletteConverter::TRgbToPaletteConverter(const TPaletteRecord& palette) : palette_(palette) {}

int16_t TRgbToPaletteConverter::NearestIndex(uint32_t color) {
    Slot& slot = cache_[color % kCacheSlots];
    if (slot.index >= 0 && slot.key == color) {
        ++hits_;
        return slot.index;
    }
    ++misses_;
    const int r = RedOf(color), g = GreenOf(color), b = BlueOf(color);
    const int count = paletteCount(palette_);
    int best = 0;
    int bestDistance = 0x7fffffff;
    for (int i = 0; i < count; ++i) {
        const uint32_t e = palette_.entries[size_t(i)];
        const int dr = RedOf(e) - r, dg = GreenOf(e) - g, db = BlueOf(e) - b;
        const int d = db * db + dg * dg + dr * dr;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
            if (d == 0) break;
        }
    }
    slot.key = color;
    slot.index = int16_t(best);
    return slot.index;
}

// ---- TDibGraphic

TDibGraphic::TDibGraphic() {
    FreeImage();
}

TDibGraphic::~TDibGraphic() = default;

void TDibGraphic::FreeImage() {
    converter_.reset();
    bits_.reset();
    reader_ = nullptr;
    writer_ = nullptr;
    rowBytes_ = 0;
    header_ = BitmapInfoHeader{};
    header_.biSize = 0;
    header_.biPlanes = 0;
    palette_ = TPaletteRecord{};
    palette_.version = 0;
}

void TDibGraphic::NewImage(int width, int height, TImageFormat format,
                           const TPaletteRecord* palette, uint16_t xDpi, uint16_t yDpi) {
    FreeImage();
    try {
        if (!validFormat(format)) throw EZeradudaError("Invalid image format");
        const bool hasPalette = format != ifTrueColor;
        if (hasPalette && !palette) palette = DefaultPaletteOf(format);
        const int bits = kFormatBits[format];

        // What the system would refuse: no pixels, or a size beyond 32 bits.
        if (width <= 0 || height <= 0) throw EZeradudaError("CreateDibSection failed");
        const uint64_t rowBytes = (uint64_t(width) * uint64_t(bits) + 31) / 32 * 4;
        const uint64_t imageSize = rowBytes * uint64_t(height);
        if (rowBytes > 0x7fffffff || imageSize > 0xffffffffu)
            throw EZeradudaError("CreateDibSection failed");

        format_ = format;
        header_.biSize = BitmapInfoHeader::kSize;
        header_.biWidth = width;
        header_.biHeight = height;
        header_.biPlanes = 1;
        header_.biBitCount = uint16_t(bits);
        header_.biCompression = 0;
        header_.biSizeImage = uint32_t(imageSize);
        header_.biClrImportant = 0;
        header_.biClrUsed = hasPalette ? uint32_t(paletteCount(*palette)) : 0;
        header_.biXPelsPerMeter = DpiToPelsPerMeter(xDpi ? xDpi : ScreenDotsPerInchX());
        header_.biYPelsPerMeter = DpiToPelsPerMeter(yDpi ? yDpi : ScreenDotsPerInchY());
        rowBytes_ = int(rowBytes);

        auto pixels = AllocatePixels(size_t(imageSize));
        if (!pixels) throw EZeradudaError("CreateDibSection failed");
        std::memset(pixels.get(), 0, size_t(imageSize));
        bits_ = std::move(pixels);

        reader_ = kAccess[format].read;
        writer_ = kAccess[format].write;

        palette_ = TPaletteRecord{};
        if (hasPalette) {
            const int count = paletteCount(*palette);
            palette_.version = 0x300;
            palette_.count = uint16_t(count);
            std::copy(palette->entries.begin(), palette->entries.begin() + count,
                      palette_.entries.begin());
            converter_ = std::make_unique<TRgbToPaletteConverter>(palette_);
        }
    } catch (const std::bad_alloc&) {
        FreeImage();
        throw EZeradudaError("CreateDibSection failed");
    } catch (...) {
        FreeImage();
        throw;
    }
}

void TDibGraphic::SetWidth(int) {
    throw EZeradudaError("Dimensions must be changed with NewImage");
}
void TDibGraphic::SetHeight(int) {
    throw EZeradudaError("Dimensions must be changed with NewImage");
}

uint32_t TDibGraphic::GetPixel(int x, int y) const {
    if (unsigned(x) >= unsigned(GetWidth()) || unsigned(y) >= unsigned(GetHeight())) return 0;
    return reader_(*this, x, y);
}

void TDibGraphic::SetPixel(int x, int y, uint32_t color) {
    if (unsigned(x) >= unsigned(GetWidth()) || unsigned(y) >= unsigned(GetHeight())) return;
    writer_(*this, x, y, color & 0xFFFFFF);
}

int TDibGraphic::GetPaletteIndex(int x, int y) const {
    if (format_ == ifTrueColor || GetEmpty())
        throw EZeradudaError("The image does not have a palette");
    if (unsigned(x) >= unsigned(GetWidth()) || unsigned(y) >= unsigned(GetHeight())) return 0;
    return kAccess[format_].readIndex(ScanLine(y), x);
}

void TDibGraphic::SetPaletteIndex(int x, int y, int index) {
    if (format_ == ifTrueColor || GetEmpty())
        throw EZeradudaError("The image does not have a palette");
    if (unsigned(x) >= unsigned(GetWidth()) || unsigned(y) >= unsigned(GetHeight())) return;
    kAccess[format_].writeIndex(ScanLine(y), x, index);
}

int TDibGraphic::XDotsPerInch() const {
    return PelsPerMeterToDpi(header_.biXPelsPerMeter);
}
int TDibGraphic::YDotsPerInch() const {
    return PelsPerMeterToDpi(header_.biYPelsPerMeter);
}
void TDibGraphic::SetXDotsPerInch(int dpi) {
    header_.biXPelsPerMeter = DpiToPelsPerMeter(dpi);
}
void TDibGraphic::SetYDotsPerInch(int dpi) {
    header_.biYPelsPerMeter = DpiToPelsPerMeter(dpi);
}

void TDibGraphic::Assign(const TDibGraphic& source) {
    if (&source == this) return;
    FreeImage();
    if (source.GetEmpty() || source.GetWidth() <= 0 || source.GetHeight() <= 0) return;
    const TImageFormat format = source.ImageFormat();
    NewImage(source.GetWidth(), source.GetHeight(), format,
             format == ifTrueColor ? nullptr : &source.PaletteRecord(),
             dpiFromPels(source.header_.biXPelsPerMeter),
             dpiFromPels(source.header_.biYPelsPerMeter));
    // Keep the exact stored resolution rather than its rounded dots per inch.
    header_.biXPelsPerMeter = source.header_.biXPelsPerMeter;
    header_.biYPelsPerMeter = source.header_.biYPelsPerMeter;
    std::memcpy(bits_.get(), source.Bits(), size_t(header_.biSizeImage));
}

void TDibGraphic::Assign(const Bitmap& source) {
    FreeImage();
    if (source.Empty() || source.Width() <= 0 || source.Height() <= 0) return;
    const TImageFormat format = FormatForBitCount(source.Depth());
    TPaletteRecord palette;
    const TPaletteRecord* pal = nullptr;
    if (format != ifTrueColor && !source.palette.empty()) {
        palette =
            makeRecord(source.palette.data(), int(std::min<size_t>(source.palette.size(), 256)));
        pal = &palette;
    }
    NewImage(source.Width(), source.Height(), format, pal, dpiFromPels(source.xPelsPerMeter),
             dpiFromPels(source.yPelsPerMeter));
    const size_t bytes = size_t(std::min(rowBytes_, source.RowBytes()));
    for (int y = 0; y < GetHeight(); ++y)
        std::memcpy(ScanLine(y), source.ScanLine(y), bytes);
}

void TDibGraphic::AssignTo(Bitmap& dest) const {
    if (GetEmpty()) {
        dest.Release();
        return;
    }
    dest.Create(GetWidth(), GetHeight(), BitsPerPixelOf(format_));
    dest.handleType = HandleType::DIB;
    dest.xPelsPerMeter = header_.biXPelsPerMeter;
    dest.yPelsPerMeter = header_.biYPelsPerMeter;
    if (format_ != ifTrueColor)
        dest.palette.assign(palette_.entries.begin(),
                            palette_.entries.begin() + paletteCount(palette_));
    const size_t bytes = size_t(std::min(rowBytes_, dest.RowBytes()));
    for (int y = 0; y < GetHeight(); ++y)
        std::memcpy(dest.ScanLine(y), ScanLine(y), bytes);
}

void TDibGraphic::Assign(const QImage& source) {
    FreeImage();
    if (source.isNull() || source.width() <= 0 || source.height() <= 0) return;
    // Premultiplied colour is exactly the colour drawn over black.
    const QImage argb = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (argb.isNull()) throw EZeradudaError("CreateDibSection failed");
    NewImage(argb.width(), argb.height(), ifTrueColor, nullptr, dpiFromPels(source.dotsPerMeterX()),
             dpiFromPels(source.dotsPerMeterY()));
    for (int y = 0; y < GetHeight(); ++y) {
        const auto* s = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        uint8_t* d = ScanLine(y);
        for (int x = 0; x < GetWidth(); ++x, d += 3) {
            d[0] = uint8_t(qBlue(s[x]));
            d[1] = uint8_t(qGreen(s[x]));
            d[2] = uint8_t(qRed(s[x]));
        }
    }
}

void TDibGraphic::LoadFromClipboardFormat(unsigned format, const QImage& data) {
    if (format != kClipboardBitmap || data.isNull()) {
        char text[64];
        std::snprintf(text, sizeof text, "Unknown clipboard format, %u", format);
        throw EInvalidGraphic(text);
    }
    Assign(data);
}

void TDibGraphic::SaveToClipboardFormat(unsigned& format, QImage& data) const {
    format = kClipboardBitmap;
    const int w = GetWidth(), h = GetHeight();
    QImage out(w, h, format_ == ifBlackWhite ? QImage::Format_Mono : QImage::Format_RGB32);
    if (GetEmpty() || out.isNull()) throw EZeradudaError("CopyBitmap: CreateBitmap failed");
    if (format_ == ifBlackWhite) {
        out.setColorTable({0xFF000000u | palette_.entries[0], 0xFF000000u | palette_.entries[1]});
        const size_t bytes = size_t(std::min<qsizetype>(out.bytesPerLine(), rowBytes_));
        for (int y = 0; y < h; ++y)
            std::memcpy(out.scanLine(y), ScanLine(y), bytes);
    } else {
        for (int y = 0; y < h; ++y) {
            auto* d = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < w; ++x)
                d[x] = 0xFF000000u | reader_(*this, x, y);
        }
    }
    out.setDotsPerMeterX(header_.biXPelsPerMeter);
    out.setDotsPerMeterY(header_.biYPelsPerMeter);
    data = std::move(out);
}

void TDibGraphic::Draw(QPainter& painter, const TRect& rect) const {
    if (GetEmpty() || rect.Width() == 0 || rect.Height() == 0) return;
    const int w = GetWidth(), h = GetHeight();
    QImage view;
    if (format_ == ifTrueColor) {
        view = QImage(bits_.get(), w, h, rowBytes_, QImage::Format_BGR888);
    } else {
        QList<QRgb> table(format_ == ifBlackWhite ? 2 : 256, qRgb(0, 0, 0));
        for (int i = 0; i < std::min<int>(paletteCount(palette_), int(table.size())); ++i)
            table[i] = 0xFF000000u | palette_.entries[size_t(i)];
        if (format_ == ifBlackWhite) {
            view = QImage(bits_.get(), w, h, rowBytes_, QImage::Format_Mono);
        } else if (BitsPerPixelOf(format_) == 8) {
            view = QImage(bits_.get(), w, h, rowBytes_, QImage::Format_Indexed8);
        } else {
            // No 4-bit image kind to wrap: spread the nibbles into bytes.
            view = QImage(w, h, QImage::Format_Indexed8);
            if (view.isNull()) return;
            for (int y = 0; y < h; ++y) {
                const uint8_t* src = bits_.get() + size_t(y) * size_t(rowBytes_);
                uint8_t* dst = view.scanLine(y);
                for (int x = 0; x < w; ++x)
                    dst[x] = uint8_t(readIndex4(src, x));
            }
        }
        view.setColorTable(table);
    }
    painter.save();
    // Palette pictures are smoothed when stretched; at their own size they are copied.
    const bool stretched = rect.Width() != w || rect.Height() != h;
    painter.setRenderHint(QPainter::SmoothPixmapTransform, format_ != ifTrueColor && stretched);
    // The view holds the rows as stored, bottom row first: draw it flipped.
    painter.translate(rect.Left, rect.Bottom);
    painter.scale(1, -1);
    painter.drawImage(QRectF(0, 0, rect.Width(), rect.Height()), view);
    painter.restore();
}

void TDibGraphic::SaveToStream(TStream&) {}

void TDibGraphic::LoadFromFile(const std::string& path) {
    TFileStream stream(path, TFileStream::Mode::Read);
    LoadFromStream(stream);
}

void TDibGraphic::SaveToFile(const std::string& path) {
    TFileStream stream(path, TFileStream::Mode::AtomicWrite);
    SaveToStream(stream);
    stream.Commit();
}

int TDibGraphic::GetImageCount(TStream&) {
    return 1;
}

void TDibGraphic::ReadImage(TStream&, int) {}

void TDibGraphic::AppendToStream(TStream&) {
    char text[256];
    std::snprintf(text, sizeof text, "The %s format does not support multiple images", ClassName());
    throw EZeradudaError(text);
}

// ---- Packed bitmaps

PackedDib TDibGraphic::CreatePackedDib() const {
    if (GetEmpty()) return {};
    try {
        BitmapInfoHeader h = header_;
        h.biSize = BitmapInfoHeader::kSize;
        h.biCompression = 0;
        h.biSizeImage = uint32_t(size_t(rowBytes_) * size_t(GetHeight()));
        int tableEntries = 0;
        if (format_ != ifTrueColor) {
            // A table longer than the depth can index would confuse readers.
            tableEntries = std::min(paletteCount(palette_), 1 << h.biBitCount);
            if (tableEntries == 0) tableEntries = 1 << h.biBitCount;
        }
        h.biClrUsed = uint32_t(tableEntries);
        const size_t tableBytes = size_t(tableEntries) * 4;
        PackedDib out(BitmapInfoHeader::kSize + tableBytes + h.biSizeImage);
        h.WriteTo(out.data());
        uint8_t* table = out.data() + BitmapInfoHeader::kSize;
        for (int i = 0; i < tableEntries; ++i) {
            const uint32_t c = i < paletteCount(palette_) ? palette_.entries[size_t(i)] : 0;
            table[4 * i + 0] = uint8_t(BlueOf(c));
            table[4 * i + 1] = uint8_t(GreenOf(c));
            table[4 * i + 2] = uint8_t(RedOf(c));
            table[4 * i + 3] = 0;
        }
        std::memcpy(table + tableBytes, bits_.get(), h.biSizeImage);
        return out;
    } catch (...) {
        return {};
    }
}

namespace {

// One colour channel of a 16- or 32-bit pixel given by a bit mask.
struct ChannelMask {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0; // largest value of the field
    explicit ChannelMask(uint32_t m) : mask(m) {
        if (!m) return;
        shift = std::countr_zero(m);
        const int width = std::min(std::countr_one(m >> shift), 31);
        max = (uint32_t(1) << width) - 1;
    }
    uint8_t operator()(uint32_t pixel) const {
        if (!max) return 0;
        const uint64_t v = ((pixel & mask) >> shift) & max;
        return uint8_t((v * 255 + max / 2) / max);
    }
};

} // namespace

void TDibGraphic::AssignFromPackedDib(const uint8_t* data, size_t size) {
    if (!data || size < BitmapInfoHeader::kSize) throw EInvalidGraphic("Invalid bitmap");
    const BitmapInfoHeader h = BitmapInfoHeader::ReadFrom(data);
    if (h.biSize < BitmapInfoHeader::kSize || h.biSize > size || h.biWidth <= 0 ||
        h.biHeight == 0 || h.biHeight == INT32_MIN || h.biPlanes != 1)
        throw EInvalidGraphic("Invalid bitmap");
    const int bits = h.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        throw EZeradudaError("Unsupported bit count");
    constexpr uint32_t kBitFields = 3;
    const bool masked = bits == 16 || bits == 32;
    if (h.biCompression != 0 && !(h.biCompression == kBitFields && masked))
        throw EZeradudaError("Unsupported compression");

    // Channel masks: the usual ones, or three words after a 40-byte header
    // (inside the larger headers).
    uint32_t masks[3] = {bits == 16 ? 0x7C00u : 0xFF0000u, bits == 16 ? 0x03E0u : 0x00FF00u,
                         bits == 16 ? 0x001Fu : 0x0000FFu};
    uint64_t tableOffset = h.biSize;
    if (h.biCompression == kBitFields) {
        if (h.biSize == BitmapInfoHeader::kSize) tableOffset += 12;
        if (size < BitmapInfoHeader::kSize + 12) throw EInvalidGraphic("Invalid bitmap");
        for (int i = 0; i < 3; ++i) {
            const uint8_t* m = data + BitmapInfoHeader::kSize + 4 * i;
            masks[i] =
                uint32_t(m[0]) | uint32_t(m[1]) << 8 | uint32_t(m[2]) << 16 | uint32_t(m[3]) << 24;
        }
    }

    const int64_t width = h.biWidth;
    const int64_t height = h.biHeight < 0 ? -int64_t(h.biHeight) : h.biHeight;
    const bool topDown = h.biHeight < 0;
    uint64_t tableEntries = 0;
    if (bits <= 8) {
        tableEntries = h.biClrUsed ? h.biClrUsed : (1u << bits);
        if (tableEntries > 256) throw EInvalidGraphic("Invalid bitmap");
    } else if (h.biClrUsed > 256) {
        throw EInvalidGraphic("Invalid bitmap");
    } else {
        tableEntries = h.biClrUsed; // an optional table that true colour ignores
    }
    const uint64_t srcRowBytes = (uint64_t(width) * uint64_t(bits) + 31) / 32 * 4;
    const uint64_t pixelOffset = tableOffset + tableEntries * 4;
    if (pixelOffset > size || srcRowBytes == 0 ||
        (size - pixelOffset) / srcRowBytes < uint64_t(height))
        throw EInvalidGraphic("Invalid bitmap");

    TPaletteRecord palette;
    const TPaletteRecord* pal = nullptr;
    if (bits <= 8) {
        const uint8_t* table = data + tableOffset;
        palette.count = uint16_t(tableEntries);
        for (uint64_t i = 0; i < tableEntries; ++i)
            palette.entries[i] = MakeColor(table[4 * i + 2], table[4 * i + 1], table[4 * i]);
        pal = &palette;
    }
    const TImageFormat format = FormatForBitCount(masked ? 24 : bits);
    NewImage(int(width), int(height), format, pal, dpiFromPels(h.biXPelsPerMeter),
             dpiFromPels(h.biYPelsPerMeter));

    const ChannelMask red(masks[0]), green(masks[1]), blue(masks[2]);
    const uint8_t* pixels = data + pixelOffset;
    for (int y = 0; y < GetHeight(); ++y) {
        // Stored row of picture row y.
        const int64_t stored = topDown ? y : height - 1 - y;
        const uint8_t* src = pixels + uint64_t(stored) * srcRowBytes;
        uint8_t* dst = ScanLine(y);
        if (bits == 16) {
            for (int x = 0; x < GetWidth(); ++x, dst += 3, src += 2) {
                const uint32_t v = uint32_t(src[0] | src[1] << 8);
                dst[0] = blue(v);
                dst[1] = green(v);
                dst[2] = red(v);
            }
        } else if (bits == 32) {
            for (int x = 0; x < GetWidth(); ++x, dst += 3, src += 4) {
                const uint32_t v = uint32_t(src[0]) | uint32_t(src[1]) << 8 |
                                   uint32_t(src[2]) << 16 | uint32_t(src[3]) << 24;
                dst[0] = blue(v);
                dst[1] = green(v);
                dst[2] = red(v);
            }
        } else {
            std::memcpy(dst, src, size_t(rowBytes_));
        }
    }
}

// ---- Canvas

namespace {

// True colour: the painter works on the pixel memory itself. Memory rows are
// bottom-up, so the image is wrapped as stored and the painter flips y.
class DirectCanvas final : public TDibGraphic::Canvas {
  public:
    explicit DirectCanvas(TDibGraphic& g)
        : image_(g.Bits(), g.GetWidth(), g.GetHeight(), g.RowBytes(), QImage::Format_BGR888),
          painter_(&image_) {
        painter_.setTransform(QTransform(1, 0, 0, -1, 0, g.GetHeight()));
    }
    QPainter& Painter() override { return painter_; }

  private:
    QImage image_;
    QPainter painter_;
};

// Palette formats: a painter cannot draw indices, so it draws on a true-colour
// copy, and the pixels it changed are mapped back to the nearest palette entry
// when the canvas is closed. Unchanged pixels keep their index.
class PaletteCanvas final : public TDibGraphic::Canvas {
  public:
    explicit PaletteCanvas(TDibGraphic& g)
        : graphic_(g), image_(g.GetWidth(), g.GetHeight(), QImage::Format_RGB32) {
        for (int y = 0; y < g.GetHeight(); ++y) {
            auto* row = reinterpret_cast<uint32_t*>(image_.scanLine(y));
            for (int x = 0; x < g.GetWidth(); ++x)
                row[x] = 0xFF000000u | g.GetPixel(x, y);
        }
        before_ = image_.copy();
        painter_.begin(&image_);
    }
    ~PaletteCanvas() override {
        painter_.end();
        for (int y = 0; y < image_.height(); ++y) {
            const auto* now = reinterpret_cast<const uint32_t*>(image_.constScanLine(y));
            const auto* was = reinterpret_cast<const uint32_t*>(before_.constScanLine(y));
            for (int x = 0; x < image_.width(); ++x)
                if (now[x] != was[x]) graphic_.SetPixel(x, y, now[x] & 0xFFFFFF);
        }
    }
    QPainter& Painter() override { return painter_; }

  private:
    TDibGraphic& graphic_;
    QImage image_;
    QImage before_;
    QPainter painter_;
};

} // namespace

std::unique_ptr<TDibGraphic::Canvas> TDibGraphic::OpenCanvas() {
    if (GetEmpty()) throw EZeradudaError("Cannot draw on an empty image");
    if (format_ == ifTrueColor) return std::make_unique<DirectCanvas>(*this);
    return std::make_unique<PaletteCanvas>(*this);
}

// ---- Transforms

void TImageTransform::Apply(TDibGraphic& image) {
    TDibGraphic result;
    ApplyOnDest(image, result);
    image.Assign(result);
}

void TImageTransform::ApplyOnDest(const TDibGraphic&, TDibGraphic&) {
    char text[256];
    std::snprintf(text, sizeof text, "Method %s not implemented for %s class", "\"ApplyOnDest\"",
                  ClassName());
    throw EZeradudaError(text);
}

void TImageTransform::Progress(int current, int minimum, int maximum) {
    int percent;
    if (maximum <= minimum) {
        // An empty range (a one-row image) counts as done once reached.
        percent = current >= maximum ? 100 : 0;
    } else {
        const int64_t p = (int64_t(current) - minimum) * 100 / (int64_t(maximum) - minimum);
        percent = int(std::clamp<int64_t>(p, 0, 100));
    }
    if (OnProgress && percent != lastPercent_) {
        OnProgress(*this, percent);
        lastPercent_ = percent;
    }
}

void TNegativeTransform::Apply(TDibGraphic& image) {
    lastPercent_ = 255;
    Progress(0, 0, 100);
    if (!image.GetEmpty()) {
        const int height = image.GetHeight();
        switch (image.ImageFormat()) {
        case ifBlackWhite:
        case ifGray16:
        case ifGray256:
            for (int y = 0; y < height; ++y) {
                Progress(y, 0, height - 1);
                uint8_t* row = image.ScanLine(y);
                for (int i = 0; i < image.RowBytes(); ++i)
                    row[i] = uint8_t(~row[i]);
            }
            break;
        case ifTrueColor: {
            const size_t used = size_t(image.GetWidth()) * 3;
            for (int y = 0; y < height; ++y) {
                Progress(y, 0, height - 1);
                uint8_t* row = image.ScanLine(y);
                for (size_t i = 0; i < used; ++i)
                    row[i] = uint8_t(~row[i]);
            }
            break;
        }
        case ifColor16:
        case ifColor256: {
            // Only the palette changes; the indices stay.
            TPaletteRecord palette = image.PaletteRecord();
            for (int i = 0; i < paletteCount(palette); ++i)
                palette.entries[size_t(i)] = ~palette.entries[size_t(i)] & 0xFFFFFF;
            image.ReplacePalette(palette);
            break;
        }
        }
    }
    Progress(100, 0, 100);
}

void TNegativeTransform::ApplyOnDest(const TDibGraphic& source, TDibGraphic& dest) {
    dest.Assign(source);
    Apply(dest);
}

void TDibGraphic::ReplacePalette(const TPaletteRecord& palette) {
    if (GetEmpty() || format_ == ifTrueColor)
        throw EZeradudaError("The image does not have a palette");
    const int count = paletteCount(palette);
    palette_ = TPaletteRecord{};
    palette_.version = 0x300;
    palette_.count = uint16_t(count);
    std::copy(palette.entries.begin(), palette.entries.begin() + count, palette_.entries.begin());
    header_.biClrUsed = uint32_t(count);
    // The cached lookups refer to the old colours.
    converter_ = std::make_unique<TRgbToPaletteConverter>(palette_);
}

} // namespace lumara
