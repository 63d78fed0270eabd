#include "TTiffGraphic.h"

#include "codecs/model/Exceptions.h"
#include "codecs/model/Palettes.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <vector>

namespace lumara {

namespace {

constexpr uint64_t kDefaultMaxPixels = uint64_t(1) << 30;
constexpr uint64_t kMaxPixelBytes = uint64_t(4) << 30;
uint64_t gMaxPixels = kDefaultMaxPixels;

struct CompressionInfo {
    const char* name;
    uint16_t tag;
    uint32_t rowsPerStrip;
};

constexpr CompressionInfo kCompressions[8] = {
    {"None", COMPRESSION_NONE, 16},
    {"Packbits", COMPRESSION_PACKBITS, 16},
    {"Fax Group 3, 1D", COMPRESSION_CCITTFAX3, 256},
    {"Fax Group 3, 2D", COMPRESSION_CCITTFAX3, 256},
    {"Fax Group 4", COMPRESSION_CCITTFAX4, 256},
    {"ZLib", COMPRESSION_DEFLATE, 16},
    {"JPEG", COMPRESSION_JPEG, 8},
    {"ZLib Adobe", COMPRESSION_ADOBE_DEFLATE, 16},
};

[[noreturn]] void tiffFail(const std::string& detail) {
    throw ETiffError("ETiffError " + detail);
}

// ---- libtiff over a TStream

// What a client handle needs: the stream and the first error libtiff
// reported (its handlers print nothing; we report through exceptions).
struct TiffIo {
    TStream* stream = nullptr;
    // A memory stream being read is handed to libtiff as a mapping, which
    // also spares it copying strips.
    const uint8_t* mapBase = nullptr;
    toff_t mapSize = 0;
    char firstError[256] = {};
    bool hasError = false;
};

// The client procedures never let a C++ exception into libtiff: a failing
// stream is reported as a failed read, write or seek.
tmsize_t readProc(thandle_t h, void* buf, tmsize_t size) {
    auto* io = static_cast<TiffIo*>(h);
    if (size <= 0) return 0;
    try {
        return static_cast<tmsize_t>(io->stream->Read(buf, size_t(size)));
    } catch (...) {
        return -1;
    }
}

tmsize_t writeProc(thandle_t h, void* buf, tmsize_t size) {
    auto* io = static_cast<TiffIo*>(h);
    if (size <= 0) return 0;
    try {
        return static_cast<tmsize_t>(io->stream->Write(buf, size_t(size)));
    } catch (...) {
        return -1;
    }
}

toff_t seekProc(thandle_t h, toff_t off, int whence) {
    auto* io = static_cast<TiffIo*>(h);
    const auto bad = static_cast<toff_t>(-1);
    try {
        switch (whence) {
        case SEEK_SET:
            if (off > toff_t(std::numeric_limits<int64_t>::max())) return bad;
            return toff_t(io->stream->Seek(int64_t(off), SeekOrigin::Begin));
        case SEEK_CUR:
            return toff_t(io->stream->Seek(int64_t(off), SeekOrigin::Current));
        case SEEK_END:
            return toff_t(io->stream->Seek(int64_t(off), SeekOrigin::End));
        default:
            return bad;
        }
    } catch (...) {
        return bad;
    }
}

int closeProc(thandle_t) {
    return 0;
}

toff_t sizeProc(thandle_t h) {
    auto* io = static_cast<TiffIo*>(h);
    try {
        return toff_t(io->stream->Size());
    } catch (...) {
        return 0;
    }
}

int mapProc(thandle_t h, void** base, toff_t* size) {
    auto* io = static_cast<TiffIo*>(h);
    if (!io->mapBase) return 0;
    *base = const_cast<uint8_t*>(io->mapBase);
    *size = io->mapSize;
    return 1;
}
void unmapProc(thandle_t, void*, toff_t) {}

int errorHandler(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    auto* io = static_cast<TiffIo*>(user);
    if (io && !io->hasError) {
        char text[200];
        std::vsnprintf(text, sizeof text, fmt, ap);
        if (module && *module)
            std::snprintf(io->firstError, sizeof io->firstError, "%s: %s", module, text);
        else
            std::snprintf(io->firstError, sizeof io->firstError, "%s", text);
        io->hasError = true;
    }
    return 1; // handled: nothing reaches libtiff's global handler
}

int warningHandler(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

// An open libtiff handle over a stream, closed on every way out.
class TiffHandle {
  public:
    TiffHandle(TStream& stream, const char* mode) {
        io_.stream = &stream;
        auto* memory = dynamic_cast<TMemoryStream*>(&stream);
        if (memory && std::strcmp(mode, "r") == 0 && !memory->Data().empty()) {
            io_.mapBase = memory->Data().data();
            io_.mapSize = toff_t(memory->Data().size());
        }
        TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
        if (opts) {
            TIFFOpenOptionsSetErrorHandlerExtR(opts, errorHandler, &io_);
            TIFFOpenOptionsSetWarningHandlerExtR(opts, warningHandler, &io_);
            const uint64_t limit =
                std::clamp<uint64_t>(gMaxPixels * 4, uint64_t(16) << 20, kMaxPixelBytes);
            TIFFOpenOptionsSetMaxSingleMemAlloc(opts, tmsize_t(limit));
            tif_ = TIFFClientOpenExt("", mode, &io_, readProc, writeProc, seekProc, closeProc,
                                     sizeProc, mapProc, unmapProc, opts);
            TIFFOpenOptionsFree(opts);
        }
    }
    ~TiffHandle() {
        if (tif_) TIFFClose(tif_);
    }
    TiffHandle(const TiffHandle&) = delete;
    TiffHandle& operator=(const TiffHandle&) = delete;

    TIFF* get() const { return tif_; }
    explicit operator bool() const { return tif_ != nullptr; }
    // libtiff's own words for the last failure, for details we add ourselves.
    std::string reason() const {
        return io_.hasError ? std::string(io_.firstError) : std::string();
    }

  private:
    TiffIo io_;
    TIFF* tif_ = nullptr;
};

// ---- checked tag access

template <class... Args> void getField(TIFF* tif, uint32_t tag, Args... args) {
    if (!TIFFGetField(tif, tag, args...)) tiffFail("TIFFGetField: Tag = " + std::to_string(tag));
}

void setIntField(TIFF* tif, uint32_t tag, int value) {
    if (!TIFFSetField(tif, tag, value)) tiffFail("TIFFSetIntField: Tag = " + std::to_string(tag));
}

void setFloatField(TIFF* tif, uint32_t tag, double value) {
    if (!TIFFSetField(tif, tag, value)) tiffFail("TIFFSetFloatField: Tag = " + std::to_string(tag));
}

void setStringField(TIFF* tif, uint32_t tag, const char* value) {
    if (!TIFFSetField(tif, tag, value)) tiffFail("TIFFSetField: Tag = " + std::to_string(tag));
}

// ---- what a page says about itself

struct PageInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t photometric = 0;
    uint16_t compression = COMPRESSION_NONE;
    uint16_t bitsPerSample = 1;
    uint16_t planar = PLANARCONFIG_CONTIG;
    bool fax = false;
    int samples = 1;
    int bits = 1;
};

void readSizeTags(TIFF* tif, PageInfo& p) {
    getField(tif, TIFFTAG_IMAGEWIDTH, &p.width);
    getField(tif, TIFFTAG_IMAGELENGTH, &p.height);
}

void readLayoutTags(TIFF* tif, PageInfo& p) {
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &p.photometric))
        p.photometric = PHOTOMETRIC_MINISWHITE;
    getField(tif, TIFFTAG_COMPRESSION, &p.compression);
    p.fax = p.compression == COMPRESSION_CCITTRLE || p.compression == COMPRESSION_CCITTFAX3 ||
            p.compression == COMPRESSION_CCITTFAX4 || p.compression == COMPRESSION_CCITTRLEW;
    if (!TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &p.bitsPerSample)) {
        if (!p.fax) tiffFail("TIFFGetField: Tag = " + std::to_string(TIFFTAG_BITSPERSAMPLE));
        p.bitsPerSample = 1;
    }
    getField(tif, TIFFTAG_PLANARCONFIG, &p.planar);
}

// Samples and bits per pixel as the reader sees them: bits are capped at 24
// and must be 1, 4, 8 or 24.
void computeBits(TIFF* tif, PageInfo& p) {
    if (p.photometric == PHOTOMETRIC_YCBCR) {
        // A subsampled scanline holds blocks, not pixels: take the tag.
        uint16_t spp = 1;
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
        p.samples = std::max<int>(1, spp);
    } else {
        const uint64_t scanline = TIFFScanlineSize64(tif);
        const double perPixel = p.width ? double(scanline) / double(p.width) : 0.0;
        p.samples = int(std::max(1.0, std::min(65536.0, std::nearbyint(perPixel))));
    }
    const int64_t bits = int64_t(p.bitsPerSample) * p.samples;
    p.bits = int(std::min<int64_t>(bits, 24));
    if (p.bits != 1 && p.bits != 4 && p.bits != 8 && p.bits != 24)
        tiffFail("Unsupported bit count: " + std::to_string(p.bits));
}

// Compression tag -> writer code as ReadImage sees it; -1 for unknown.
int codeFromFileCompression(TIFF* tif, uint16_t compression) {
    switch (compression) {
    case COMPRESSION_NONE:
        return tcNone;
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTRLEW:
        return tcFaxGroup3_1D;
    case COMPRESSION_CCITTFAX3: {
        uint32_t options = 0;
        TIFFGetField(tif, TIFFTAG_GROUP3OPTIONS, &options);
        return (options & GROUP3OPT_2DENCODING) ? tcFaxGroup3_2D : tcFaxGroup3_1D;
    }
    case COMPRESSION_CCITTFAX4:
        return tcFaxGroup4;
    case COMPRESSION_JPEG:
        return tcJPEG;
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
        return tcZLib;
    case COMPRESSION_PACKBITS:
        return tcPackbits;
    default:
        return -1;
    }
}

uint16_t dpiFromResolution(float value, uint16_t unit) {
    double dpi = unit == RESUNIT_INCH ? double(value) : double(value) * 2.54;
    if (!std::isfinite(dpi)) return 0;
    dpi = std::nearbyint(dpi);
    if (dpi < 0 || dpi > 65535) return 0;
    return uint16_t(dpi);
}

// How many times a compression can at most shrink pixel data; 0 when the
// ratio has no useful bound (fax, JPEG and the rest).
uint64_t maxCompressionRatio(uint16_t compression) {
    switch (compression) {
    case COMPRESSION_NONE:
        return 1;
    case COMPRESSION_PACKBITS:
        return 64;
    case COMPRESSION_DEFLATE:
    case COMPRESSION_ADOBE_DEFLATE:
        return 1033;
    default:
        return 0;
    }
}

// Refuses a page before its pixels are allocated when it claims more than
// we are willing to hold, or more than its file could possibly encode.
void checkImageSize(TIFF* tif, const PageInfo& p, uint64_t fileSize) {
    if (p.width == 0 || p.height == 0) tiffFail("Invalid image size");
    const uint64_t pixels = uint64_t(p.width) * p.height;
    const uint64_t trueColorBytes = (uint64_t(p.width) * 24 + 31) / 32 * 4 * p.height;
    if (pixels > gMaxPixels || trueColorBytes > kMaxPixelBytes ||
        p.width > uint32_t(INT32_MAX / 32) || p.height > uint32_t(INT32_MAX))
        tiffFail("Image too large: " + std::to_string(p.width) + " x " + std::to_string(p.height));
    const uint64_t ratio = maxCompressionRatio(p.compression);
    if (ratio != 0) {
        // A lower bound of the decoded bytes (one plane when planes are separate).
        const uint64_t raw = TIFFScanlineSize64(tif) * uint64_t(p.height);
        if (raw > ratio * fileSize + 4096) tiffFail("Not enough image data");
    }
}

// ---- row converters of the strip and fax paths

enum class RowKind { Copy, Expand1To4, Rgb, None };

void expand1To4(const uint8_t* src, uint8_t* dst, int width) {
    for (int x = 0; x < width; x += 2) {
        const int b0 = (src[x >> 3] >> (7 - (x & 7))) & 1;
        const int b1 = x + 1 < width ? (src[(x + 1) >> 3] >> (7 - ((x + 1) & 7))) & 1 : 0;
        dst[x >> 1] = uint8_t((b0 << 4) | b1);
    }
}

void invertRow(uint8_t* row, size_t n) {
    for (size_t i = 0; i < n; ++i)
        row[i] = uint8_t(~row[i]);
}

std::unique_ptr<uint8_t[]> allocateBuffer(uint64_t size) {
    if (size == 0 || size > kMaxPixelBytes) tiffFail("Out of memory");
    std::unique_ptr<uint8_t[]> p(new (std::nothrow) uint8_t[size_t(size)]);
    if (!p) tiffFail("Out of memory");
    return p;
}

// The reader works on memory: the stream itself when it is a memory stream
// at position 0, otherwise a copy of the rest of it (the TIFF's offsets
// count from the file's start).
TMemoryStream& prepareForReading(TStream& stream, TMemoryStream& temp) {
    auto* memory = dynamic_cast<TMemoryStream*>(&stream);
    if (memory && stream.Position() == 0) return *memory;
    const int64_t rest = stream.Remaining();
    if (rest > 0) temp.CopyFrom(stream, rest);
    temp.SetPosition(0);
    return temp;
}

bool isGrayRamp(const TPaletteRecord& pal, int bits) {
    const int count = 1 << bits;
    if (pal.count != count) return false;
    for (int i = 0; i < count; ++i) {
        const int level = i * 255 / (count - 1);
        if (pal.entries[size_t(i)] != MakeColor(level, level, level)) return false;
    }
    return true;
}

std::string currentDateTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

} // namespace

const char* TiffCompressionName(int code) {
    return code >= 0 && code < 8 ? kCompressions[code].name : "";
}

TTiffGraphic::TTiffGraphic() = default;
TTiffGraphic::~TTiffGraphic() = default;

void TTiffGraphic::SetMaxImagePixels(uint64_t pixels) {
    gMaxPixels = pixels ? pixels : kDefaultMaxPixels;
}
uint64_t TTiffGraphic::MaxImagePixels() {
    return gMaxPixels;
}

void TTiffGraphic::NewImage(int width, int height, TImageFormat format,
                            const TPaletteRecord* palette, uint16_t xDpi, uint16_t yDpi) {
    TDibGraphic::NewImage(width, height, format, palette, xDpi, yDpi);
    tiffCompression_ = format == ifBlackWhite ? tcFaxGroup4 : tcPackbits;
}

bool TTiffGraphic::CompressionAllowed(TImageFormat format, int code) {
    if (format == ifBlackWhite) return code >= 0 && code <= 7 && code != tcJPEG;
    return code == tcNone || code == tcPackbits || code == tcZLib || code == tcZLibAdobe;
}

void TTiffGraphic::SetCompression(int code) {
    if (!CompressionAllowed(ImageFormat(), code)) {
        const std::string name =
            code >= 0 && code < 8 ? kCompressions[code].name : std::to_string(code);
        throw EZeradudaError(name + " compression not supported with " +
                             ImageFormatText(ImageFormat()) + " images");
    }
    tiffCompression_ = uint8_t(code);
}

// ---- reading

void TTiffGraphic::ReadImage(TStream& stream, int index) {
    TMemoryStream temp;
    TMemoryStream& source = prepareForReading(stream, temp);
    const uint64_t fileSize = uint64_t(std::max<int64_t>(0, source.Size()));

    TiffHandle handle(source, "r");
    if (!handle) tiffFail("TIFFOpen");
    TIFF* tif = handle.get();
    if (index < 1 || !TIFFSetDirectory(tif, tdir_t(index - 1))) tiffFail("TIFFSetDirectory");

    PageInfo p;
    readSizeTags(tif, p);
    readLayoutTags(tif, p);

    uint16_t unit = RESUNIT_INCH;
    if (!TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &unit)) unit = RESUNIT_INCH;
    float xRes = 0, yRes = 0;
    const uint16_t xDpi =
        TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xRes) ? dpiFromResolution(xRes, unit) : 0;
    const uint16_t yDpi =
        TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yRes) ? dpiFromResolution(yRes, unit) : 0;

    if (p.compression == COMPRESSION_LZW) throw EZeradudaError("LZW not supported");

    bool rgba = p.compression == COMPRESSION_JPEG || TIFFIsTiled(tif) ||
                p.photometric == PHOTOMETRIC_SEPARATED || p.photometric == PHOTOMETRIC_YCBCR ||
                p.bitsPerSample > 8 || p.planar > PLANARCONFIG_CONTIG;
    // Photometric kinds the row copy does not understand are left to
    // libtiff's RGBA reader, which converts them or says why it cannot.
    if (p.photometric > PHOTOMETRIC_PALETTE) rgba = true;
    computeBits(tif, p);

    if (p.fax && p.photometric == PHOTOMETRIC_MINISBLACK) p.photometric = PHOTOMETRIC_MINISWHITE;

    TImageFormat format = ifTrueColor;
    const bool grayKind =
        p.photometric == PHOTOMETRIC_MINISWHITE || p.photometric == PHOTOMETRIC_MINISBLACK;
    if (p.bitsPerSample == 1 && grayKind)
        format = ifBlackWhite;
    else if (p.bitsPerSample == 4 && grayKind)
        format = ifGray16;
    else if (p.bitsPerSample == 8 && grayKind)
        format = ifGray256;
    else if (p.bitsPerSample <= 4 && p.photometric == PHOTOMETRIC_PALETTE)
        format = ifColor16;
    else if (p.bitsPerSample <= 8 && p.photometric == PHOTOMETRIC_PALETTE)
        format = ifColor256;

    TPaletteRecord palette;
    const TPaletteRecord* paletteArg = nullptr;
    if (format == ifColor16 || format == ifColor256) {
        uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        getField(tif, TIFFTAG_COLORMAP, &red, &green, &blue);
        const int count = 1 << p.bitsPerSample;
        bool eightBit = true;
        for (int i = 0; i < count; ++i)
            if (red[i] > 255 || green[i] > 255 || blue[i] > 255) eightBit = false;
        palette.count = uint16_t(count);
        for (int i = 0; i < count; ++i) {
            auto scale = [eightBit](uint16_t v) {
                return eightBit ? int(v) : int(uint32_t(v) * 255 / 65535);
            };
            palette.entries[size_t(i)] = MakeColor(scale(red[i]), scale(green[i]), scale(blue[i]));
        }
        paletteArg = &palette;
    }

    // Choose the row conversion once; a layout none of them fits goes
    // through the RGBA reader.
    RowKind kind = RowKind::None;
    if (!rgba) {
        if (p.samples == 1 && p.bits == BitsPerPixelOf(format))
            kind = RowKind::Copy;
        else if (p.samples == 1 && p.bitsPerSample == 1 && format == ifColor16)
            kind = RowKind::Expand1To4;
        else if ((p.samples == 3 || p.samples == 4) && p.bitsPerSample == 8 && !p.fax)
            kind = RowKind::Rgb;
        else
            rgba = true;
    }
    const bool invert = !rgba && p.photometric == PHOTOMETRIC_MINISWHITE &&
                        (format == ifBlackWhite || format == ifGray16 || format == ifGray256);

    checkImageSize(tif, p, fileSize);
    const int width = int(p.width), height = int(p.height);
    NewImage(width, height, format, paletteArg, xDpi, yDpi);

    const int code = codeFromFileCompression(tif, p.compression);
    if (code < 0) throw ETiffError("Unsupported compression tag, " + std::to_string(p.compression));
    // JPEG pages are read, but this class writes no JPEG: keep the default.
    if (code != tcJPEG) SetCompression(code);

    if (rgba) {
        const uint64_t pixels = uint64_t(p.width) * p.height;
        auto raster = allocateBuffer(pixels * 4);
        auto* px = reinterpret_cast<uint32_t*>(raster.get());
        if (!TIFFReadRGBAImage(tif, p.width, p.height, px, 1)) {
            const std::string why = handle.reason();
            tiffFail(why.empty() ? std::string("TIFFReadRGBAImage") : "TIFFReadRGBAImage: " + why);
        }
        // The raster's first row is the bottom of the picture.
        for (int r = 0; r < height; ++r) {
            const uint32_t* s = px + size_t(r) * p.width;
            const int y = height - 1 - r;
            if (format == ifTrueColor) {
                uint8_t* d = ScanLine(y);
                for (int x = 0; x < width; ++x, d += 3) {
                    const uint32_t v = s[x];
                    d[0] = uint8_t(TIFFGetB(v));
                    d[1] = uint8_t(TIFFGetG(v));
                    d[2] = uint8_t(TIFFGetR(v));
                }
            } else {
                for (int x = 0; x < width; ++x) {
                    const uint32_t v = s[x];
                    SetPixel(x, y, MakeColor(int(TIFFGetR(v)), int(TIFFGetG(v)), int(TIFFGetB(v))));
                }
            }
        }
        return;
    }

    const uint64_t scanline = TIFFScanlineSize64(tif);
    const size_t rowBytes = size_t(RowBytes());
    const size_t copyBytes = (size_t(width) * size_t(BitsPerPixelOf(format)) + 7) / 8;
    if (kind == RowKind::Copy && scanline < copyBytes) tiffFail("TIFFScanlineSize");
    if (kind == RowKind::Expand1To4 && scanline < (uint64_t(width) + 7) / 8)
        tiffFail("TIFFScanlineSize");
    if (kind == RowKind::Rgb && scanline < uint64_t(width) * uint64_t(p.samples))
        tiffFail("TIFFScanlineSize");

    auto convertRow = [&](const uint8_t* s, int y) {
        uint8_t* d = ScanLine(y);
        switch (kind) {
        case RowKind::Copy:
            std::memcpy(d, s, std::min(copyBytes, rowBytes));
            break;
        case RowKind::Expand1To4:
            expand1To4(s, d, width);
            break;
        case RowKind::Rgb:
            if (format == ifTrueColor) {
                for (int x = 0; x < width; ++x, s += p.samples, d += 3) {
                    d[0] = s[2];
                    d[1] = s[1];
                    d[2] = s[0];
                }
            } else {
                for (int x = 0; x < width; ++x, s += p.samples)
                    SetPixel(x, y, MakeColor(s[0], s[1], s[2]));
            }
            break;
        case RowKind::None:
            break;
        }
    };

    if (p.fax) {
        auto line = allocateBuffer(scanline);
        for (int y = 0; y < height; ++y) {
            if (TIFFReadScanline(tif, line.get(), uint32_t(y), 0) < 0) {
                const std::string why = handle.reason();
                tiffFail(why.empty() ? std::string("TIFFReadScanline")
                                     : "TIFFReadScanline: " + why);
            }
            convertRow(line.get(), y);
        }
    } else {
        uint32_t rowsPerStrip = 0;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        if (rowsPerStrip == 0 || rowsPerStrip > p.height) rowsPerStrip = p.height;
        auto strip = allocateBuffer(scanline * rowsPerStrip);
        for (uint32_t row = 0; row < p.height;) {
            const uint32_t rows = std::min(rowsPerStrip, p.height - row);
            const tmsize_t want = tmsize_t(scanline * rows);
            const tmsize_t got =
                TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, row, 0), strip.get(), want);
            if (got < want) tiffFail("TIFFReadEncodedStrip");
            for (uint32_t i = 0; i < rows; ++i)
                convertRow(strip.get() + size_t(i) * size_t(scanline), int(row + i));
            row += rows;
        }
    }

    if (invert) TNegativeTransform().Apply(*this);
}

void TTiffGraphic::ReadFileHeader(const std::string& fileName, int index) {
    probeStream_.LoadFromFile(fileName);
    Probe(index);
}

void TTiffGraphic::ReadHeader(const uint8_t* data, size_t size, int index) {
    probeStream_.Clear();
    probeStream_.Write(data, size);
    Probe(index);
}

void TTiffGraphic::Probe(int index) {
    struct Emptied {
        TMemoryStream& s;
        ~Emptied() { s.Clear(); }
    } emptied{probeStream_};
    probeStream_.SetPosition(0);

    TiffHandle handle(probeStream_, "r");
    if (!handle) {
        headerWidth_ = headerHeight_ = 0;
        return;
    }
    TIFF* tif = handle.get();
    PageInfo p;
    const tdir_t dir = index == -1 ? 0 : tdir_t(std::max(0, index - 1));
    if (TIFFSetDirectory(tif, dir) && TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &p.width) &&
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &p.height)) {
        headerWidth_ = int(std::min<uint32_t>(p.width, INT32_MAX));
        headerHeight_ = int(std::min<uint32_t>(p.height, INT32_MAX));
    } else {
        p.width = p.height = 0;
        headerWidth_ = headerHeight_ = 0;
    }

    readLayoutTags(tif, p);
    fileCompression_ = p.compression;
    computeBits(tif, p);
    headerBitsPerPixel_ = p.bits;

    switch (p.compression) {
    case COMPRESSION_NONE:
        tiffCompression_ = tcNone;
        break;
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTRLEW:
        tiffCompression_ = tcFaxGroup3_1D;
        break;
    case COMPRESSION_CCITTFAX3:
        tiffCompression_ = uint8_t(codeFromFileCompression(tif, p.compression));
        break;
    case COMPRESSION_CCITTFAX4:
        tiffCompression_ = tcFaxGroup4;
        break;
    case COMPRESSION_JPEG:
        tiffCompression_ = tcJPEG;
        break;
    case COMPRESSION_ADOBE_DEFLATE:
        tiffCompression_ = tcZLibAdobe;
        break;
    case COMPRESSION_PACKBITS:
        tiffCompression_ = tcPackbits;
        break;
    case COMPRESSION_DEFLATE:
        tiffCompression_ = tcZLib;
        break;
    default:
        tiffCompression_ = tcNone;
        break;
    }

    if (p.compression == COMPRESSION_LZW) throw EZeradudaError("LZW not supported");
}

int TTiffGraphic::GetImageCount(TStream& stream) {
    TMemoryStream temp;
    TMemoryStream& source = prepareForReading(stream, temp);
    TiffHandle handle(source, "r");
    if (!handle) tiffFail("TIFFOpen");
    TIFF* tif = handle.get();
    if (!TIFFSetDirectory(tif, 0)) return 0;
    int count = 1;
    // libtiff refuses directory loops; the cap guards against absurd chains.
    while (count < 65535 && TIFFReadDirectory(tif))
        ++count;
    return count;
}

// ---- writing

void TTiffGraphic::WriteTiff(TStream& stream, const char* mode) {
    if (GetEmpty()) tiffFail("Empty image");
    const TImageFormat format = ImageFormat();
    if (!CompressionAllowed(format, tiffCompression_)) SetCompression(tiffCompression_);
    const int code = tiffCompression_;
    const CompressionInfo& comp = kCompressions[code];

    TiffHandle handle(stream, mode);
    if (!handle) tiffFail("TIFFOpen");
    TIFF* tif = handle.get();

    if (code == tcFaxGroup3_1D || code == tcFaxGroup3_2D) {
        setIntField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3);
        if (!TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS,
                          uint32_t(code == tcFaxGroup3_2D ? GROUP3OPT_2DENCODING : 0)))
            tiffFail("TIFFSetIntField: Tag = " + std::to_string(TIFFTAG_GROUP3OPTIONS));
    }
    if (!TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, comp.rowsPerStrip))
        tiffFail("TIFFSetIntField: Tag = " + std::to_string(TIFFTAG_ROWSPERSTRIP));
    setIntField(tif, TIFFTAG_COMPRESSION, comp.tag);
    setIntField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    setStringField(tif, TIFFTAG_SOFTWARE, "Roruzoda Vaziv Ezodeva");
    setStringField(tif, TIFFTAG_DATETIME, currentDateTime().c_str());
    setIntField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    setFloatField(tif, TIFFTAG_XRESOLUTION, double(XDotsPerInch()));
    setFloatField(tif, TIFFTAG_YRESOLUTION, double(YDotsPerInch()));
    if (!TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(GetWidth())))
        tiffFail("TIFFSetIntField: Tag = " + std::to_string(TIFFTAG_IMAGEWIDTH));
    if (!TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(GetHeight())))
        tiffFail("TIFFSetIntField: Tag = " + std::to_string(TIFFTAG_IMAGELENGTH));

    const bool faxCode = code == tcFaxGroup3_1D || code == tcFaxGroup3_2D || code == tcFaxGroup4;
    int bitsPerSample = 8, samples = 1, photometric = PHOTOMETRIC_MINISBLACK;
    switch (format) {
    case ifBlackWhite:
        bitsPerSample = 1;
        photometric = faxCode ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK;
        break;
    case ifGray16:
        bitsPerSample = 4;
        break;
    case ifGray256:
        bitsPerSample = 8;
        break;
    case ifColor16:
        bitsPerSample = 4;
        photometric = PHOTOMETRIC_PALETTE;
        break;
    case ifColor256:
        bitsPerSample = 8;
        photometric = PHOTOMETRIC_PALETTE;
        break;
    case ifTrueColor:
        samples = 3;
        photometric = PHOTOMETRIC_RGB;
        break;
    }
    // A B/W or gray picture whose palette is not the plain ramp (say a
    // two-colour picture from a palette PNG) keeps its colours as a palette
    // TIFF; fax pages stay bilevel.
    if (photometric == PHOTOMETRIC_MINISBLACK && !faxCode &&
        !isGrayRamp(PaletteRecord(), bitsPerSample))
        photometric = PHOTOMETRIC_PALETTE;
    setIntField(tif, TIFFTAG_BITSPERSAMPLE, bitsPerSample);
    setIntField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    setIntField(tif, TIFFTAG_PHOTOMETRIC, photometric);

    if (photometric == PHOTOMETRIC_PALETTE) {
        // 16-bit components: 255 must become 65535 so the map reads back exactly.
        std::vector<uint16_t> red(256, 0), green(256, 0), blue(256, 0);
        const TPaletteRecord& pal = PaletteRecord();
        const int count = std::min<int>(pal.count, 1 << bitsPerSample);
        for (int i = 0; i < count; ++i) {
            const uint32_t c = pal.entries[size_t(i)];
            red[size_t(i)] = uint16_t(RedOf(c) * 257);
            green[size_t(i)] = uint16_t(GreenOf(c) * 257);
            blue[size_t(i)] = uint16_t(BlueOf(c) * 257);
        }
        if (!TIFFSetField(tif, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data()))
            tiffFail("TIFFSetColormap");
    }

    const int width = GetWidth();
    const size_t rowBytes = size_t(RowBytes());
    std::vector<uint8_t> row(rowBytes + 4);
    const bool invert = format == ifBlackWhite && photometric == PHOTOMETRIC_MINISWHITE;
    for (int y = 0; y < GetHeight(); ++y) {
        std::memcpy(row.data(), ScanLine(y), rowBytes);
        if (invert) invertRow(row.data(), rowBytes);
        if (format == ifTrueColor) {
            uint8_t* d = row.data();
            for (int x = 0; x < width; ++x, d += 3)
                std::swap(d[0], d[2]);
        }
        if (TIFFWriteScanline(tif, row.data(), uint32_t(y), 0) < 0) tiffFail("TIFFWriteScanLine");
    }
    // Closing flushes; do it here so a failed directory write is reported.
    if (!TIFFFlush(tif)) tiffFail("TIFFFlush");
}

void TTiffGraphic::SaveToStream(TStream& stream) {
    if (stream.Position() == 0) {
        WriteTiff(stream, "w");
        return;
    }
    TMemoryStream temp;
    WriteTiff(temp, "w");
    stream.WriteBuffer(temp.Data().data(), temp.Data().size());
}

void TTiffGraphic::AppendToStream(TStream& stream) {
    if (stream.Size() == 0) {
        SaveToStream(stream);
        return;
    }
    stream.SetPosition(0);
    WriteTiff(stream, "a");
}

} // namespace lumara
