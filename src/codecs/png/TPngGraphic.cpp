#include "TPngGraphic.h"

#include "codecs/model/Exceptions.h"
#include "codecs/model/Palettes.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

// libpng reports errors by longjmp. Every function below that calls into
// libpng after setjmp keeps only trivially destructible locals, and the C++
// exception is thrown by its caller once libpng's frames are gone.

namespace lumara {

namespace {

constexpr uint64_t kDefaultMaxPixels = uint64_t(1) << 30;
constexpr uint64_t kMaxPixelBytes = uint64_t(4) << 30;
constexpr png_uint_32 kMaxDimension = 1u << 24;
constexpr png_alloc_size_t kChunkMallocMax = png_alloc_size_t(16) << 20;
uint64_t gMaxPixels = kDefaultMaxPixels;
bool gIgnoreCrc = false;

const png_byte kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

struct PngContext {
    explicit PngContext(bool writing) : writing(writing) {}
    ~PngContext() {
        if (!png) return;
        if (writing)
            png_destroy_write_struct(&png, &info);
        else
            png_destroy_read_struct(&png, &info, nullptr);
    }
    PngContext(const PngContext&) = delete;
    PngContext& operator=(const PngContext&) = delete;

    bool writing;
    png_structp png = nullptr;
    png_infop info = nullptr;
    TStream* stream = nullptr;
    char message[256] = {};
};

void pngErrorFn(png_structp png, png_const_charp msg) {
    auto* c = static_cast<PngContext*>(png_get_error_ptr(png));
    if (c) std::snprintf(c->message, sizeof c->message, "%s", msg ? msg : "PNG error");
    png_longjmp(png, 1);
}

void pngWarningFn(png_structp, png_const_charp) {}

void pngReadFn(png_structp png, png_bytep data, size_t length) {
    auto* c = static_cast<PngContext*>(png_get_io_ptr(png));
    bool ok = false;
    try {
        ok = c->stream->Read(data, length) == length;
    } catch (...) {
        ok = false;
    }
    if (!ok) png_error(png, "Unexpected end of PNG data");
}

void pngWriteFn(png_structp png, png_bytep data, size_t length) {
    auto* c = static_cast<PngContext*>(png_get_io_ptr(png));
    bool ok = false;
    try {
        ok = c->stream->Write(data, length) == length;
    } catch (...) {
        ok = false;
    }
    if (!ok) png_error(png, "Write error");
}

void pngFlushFn(png_structp) {}

[[noreturn]] void fail(const PngContext& c) {
    throw EPNGError(c.message[0] ? std::string(c.message) : std::string("PNG error"));
}

struct PngHeader {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = 0;
    int interlace = 0;
    int compression = 0;
    int filter = 0;
};

bool readInfoStage(PngContext& c, PngHeader& h) {
    if (setjmp(png_jmpbuf(c.png))) return false;
    png_set_read_fn(c.png, &c, pngReadFn);
    png_set_sig_bytes(c.png, 8);
    png_set_user_limits(c.png, kMaxDimension, kMaxDimension);
    png_set_chunk_cache_max(c.png, 1000);
    png_set_chunk_malloc_max(c.png, kChunkMallocMax);
    if (gIgnoreCrc) png_set_crc_action(c.png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_read_info(c.png, c.info);
    png_get_IHDR(c.png, c.info, &h.width, &h.height, &h.bitDepth, &h.colorType, &h.interlace,
                 &h.compression, &h.filter);
    return true;
}

struct ReadSetup {
    // in
    bool trueColor = false;
    bool stripTo8 = false;
    bool gammaAllowed = false;
    bool useOwnBackground = false;
    png_color_16 background{};
    // out
    double fileGamma = 0.0;
    bool metrePhys = false;
    png_uint_32 xPelsPerMetre = 0;
    png_uint_32 yPelsPerMetre = 0;
    int passes = 1;
    bool paletteOk = false;
    int paletteCount = 0;
    png_color palette[256] = {};
    size_t rowBytes = 0;
};

bool transformStage(PngContext& c, const PngHeader& h, ReadSetup& s) {
    if (setjmp(png_jmpbuf(c.png))) return false;
    if (s.stripTo8) png_set_strip_16(c.png);
    if (s.trueColor) png_set_bgr(c.png);

    int intent = 0;
    double gamma = 0.0;
    if (png_get_sRGB(c.png, c.info, &intent)) {
        png_set_sRGB(c.png, c.info, intent);
    } else if (png_get_gAMA(c.png, c.info, &gamma) && gamma > 0.0) {
        s.fileGamma = gamma;
        // Only a file that states its gamma is corrected to the screen's;
        // one without gAMA is shown as stored.
        if (s.gammaAllowed) png_set_gamma(c.png, 2.2, gamma);
    }

    png_color_16p fileBackground = nullptr;
    if (!png_get_bKGD(c.png, c.info, &fileBackground) || s.useOwnBackground)
        png_set_background(c.png, &s.background, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
    else
        png_set_background(c.png, fileBackground, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);

    png_uint_32 rx = 0, ry = 0;
    int unit = 0;
    if (png_get_pHYs(c.png, c.info, &rx, &ry, &unit) && unit == PNG_RESOLUTION_METER) {
        s.metrePhys = true;
        s.xPelsPerMetre = rx;
        s.yPelsPerMetre = ry;
    }

    if (h.interlace == PNG_INTERLACE_ADAM7) s.passes = png_set_interlace_handling(c.png);
    png_read_update_info(c.png, c.info);
    s.rowBytes = png_get_rowbytes(c.png, c.info);

    if (h.colorType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp pal = nullptr;
        int count = 0;
        if (png_get_PLTE(c.png, c.info, &pal, &count) && pal && count > 0) {
            s.paletteOk = true;
            s.paletteCount = std::min(count, 256);
            for (int i = 0; i < s.paletteCount; ++i)
                s.palette[i] = pal[i];
        }
    }
    return true;
}

bool readRowsStage(PngContext& c, int passes, png_bytep* rows, png_uint_32 height) {
    if (setjmp(png_jmpbuf(c.png))) return false;
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y)
            png_read_row(c.png, rows[y], nullptr);
    return true;
}

struct WriteSetup {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 8;
    int colorType = PNG_COLOR_TYPE_GRAY;
    bool interlaced = false;
    int paletteCount = 0;
    png_color palette[256] = {};
    png_uint_32 xPelsPerMetre = 0;
    png_uint_32 yPelsPerMetre = 0;
    bool writeGamma = false;
    double gamma = 0.0;
    int zlibLevel = -1;
};

bool writeStage(PngContext& c, const WriteSetup& w, png_bytep* rows) {
    if (setjmp(png_jmpbuf(c.png))) return false;
    png_set_write_fn(c.png, &c, pngWriteFn, pngFlushFn);
    png_set_IHDR(c.png, c.info, w.width, w.height, w.bitDepth, w.colorType,
                 w.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (w.colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_PLTE(c.png, c.info, w.palette, w.paletteCount);
    png_set_pHYs(c.png, c.info, w.xPelsPerMetre, w.yPelsPerMetre, PNG_RESOLUTION_METER);
    if (w.writeGamma) png_set_gAMA(c.png, c.info, w.gamma);
    if (w.zlibLevel >= 0) png_set_compression_level(c.png, w.zlibLevel);
    png_write_info(c.png, c.info);
    if (w.colorType == PNG_COLOR_TYPE_RGB) png_set_bgr(c.png);
    const int passes = w.interlaced ? png_set_interlace_handling(c.png) : 1;
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < w.height; ++y)
            png_write_row(c.png, rows[y]);
    png_write_end(c.png, c.info);
    return true;
}

uint16_t dpiFromPelsPerMetre(png_uint_32 ppm) {
    const double dpi = std::nearbyint(double(ppm) * 0.0254);
    return dpi > 65535 ? 0 : uint16_t(dpi);
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

// Gray level of a colour, for composing gray pictures over it.
int luminance(int r, int g, int b) {
    return (r * 299 + g * 587 + b * 114 + 500) / 1000;
}

} // namespace

TPngGraphic::TPngGraphic() = default;
TPngGraphic::~TPngGraphic() = default;

void TPngGraphic::SetMaxImagePixels(uint64_t pixels) {
    gMaxPixels = pixels ? pixels : kDefaultMaxPixels;
}
uint64_t TPngGraphic::MaxImagePixels() {
    return gMaxPixels;
}
void TPngGraphic::SetIgnoreCrcForTesting(bool ignore) {
    gIgnoreCrc = ignore;
}

void TPngGraphic::ReadImage(TStream& stream, int /*index*/) {
    Read(stream, false, false);
}

void TPngGraphic::ReadFileHeader(const std::string& fileName, bool headerOnly) {
    probeStream_.LoadFromFile(fileName);
    struct Emptied {
        TMemoryStream& s;
        ~Emptied() { s.Clear(); }
    } emptied{probeStream_};
    probeStream_.SetPosition(0);
    Read(probeStream_, headerOnly, true);
}

void TPngGraphic::Read(TStream& stream, bool headerOnly, bool storeHeader) {
    png_byte signature[8] = {};
    if (stream.Read(signature, 8) != 8 || std::memcmp(signature, kSignature, 8) != 0)
        throw EPNGError("Invalid PNG file");

    PngContext c(false);
    c.stream = &stream;
    c.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &c, pngErrorFn, pngWarningFn);
    if (!c.png) throw EPNGError("png_create_read_struct failed");
    c.info = png_create_info_struct(c.png);
    if (!c.info) throw EPNGError("png_create_info_struct failed");

    PngHeader h;
    if (!readInfoStage(c, h)) fail(c);

    if (storeHeader) {
        HeaderWidth = int(h.width);
        HeaderHeight = int(h.height);
        HeaderBitsPerPixel =
            h.colorType == PNG_COLOR_TYPE_RGB || h.colorType == PNG_COLOR_TYPE_RGB_ALPHA
                ? h.bitDepth * 3
                : h.bitDepth;
        HeaderColorType = h.colorType;
        HeaderInterlace = h.interlace;
        HeaderFilterMethod = h.filter;
        HeaderCompressionMethod = h.compression;
    }

    TImageFormat format = ifTrueColor;
    const int ct = h.colorType;
    switch (h.bitDepth) {
    case 1:
        if (ct == PNG_COLOR_TYPE_GRAY || ct == PNG_COLOR_TYPE_PALETTE)
            format = ifBlackWhite;
        else
            throw EPNGError("Invalid color type for bit depth");
        break;
    case 2:
    case 4:
        if (ct == PNG_COLOR_TYPE_GRAY)
            format = ifGray16;
        else if (ct == PNG_COLOR_TYPE_PALETTE)
            format = ifColor16;
        else
            throw EPNGError("Invalid color type for bit depth");
        break;
    case 8:
    case 16:
        if (ct == PNG_COLOR_TYPE_GRAY || ct == PNG_COLOR_TYPE_GRAY_ALPHA)
            format = ifGray256;
        else if (ct == PNG_COLOR_TYPE_PALETTE)
            format = ifColor256;
        else if (ct == PNG_COLOR_TYPE_RGB || ct == PNG_COLOR_TYPE_RGB_ALPHA)
            format = ifTrueColor;
        else
            throw EPNGError("Invalid color type for bit depth");
        break;
    default:
        throw EPNGError("Invalid bit depth");
    }
    if (h.interlace != PNG_INTERLACE_NONE && h.interlace != PNG_INTERLACE_ADAM7)
        throw EPNGError("Interlace type not valid");

    ReadSetup s;
    s.trueColor = format == ifTrueColor;
    s.stripTo8 = h.bitDepth == 16;
    s.gammaAllowed = h.bitDepth > 2;
    s.useOwnBackground = UseBackground;
    {
        const int r = int(BackgroundColor & 0xFF), g = int((BackgroundColor >> 8) & 0xFF),
                  b = int((BackgroundColor >> 16) & 0xFF);
        s.background.red = png_uint_16(r);
        s.background.green = png_uint_16(g);
        s.background.blue = png_uint_16(b);
        // Gray pictures are composed over the background's gray level, in
        // the sample depth the composition runs at.
        int gray = luminance(r, g, b);
        if (ct == PNG_COLOR_TYPE_GRAY && h.bitDepth < 8) {
            const int maxLevel = (1 << h.bitDepth) - 1;
            gray = (gray * maxLevel + 127) / 255;
        }
        s.background.gray = png_uint_16(gray);
    }
    if (!transformStage(c, h, s)) fail(c);
    FileGamma = s.fileGamma;
    // What is held now is what the screen shows: gamma 1/2.2 (or the file's
    // own, unchanged, when it stated none).
    Gamma = 1.0 / 2.2;

    if (headerOnly) return;

    TPaletteRecord palette;
    const TPaletteRecord* paletteArg = nullptr;
    if (ct == PNG_COLOR_TYPE_PALETTE) {
        if (!s.paletteOk) throw EPNGError("png_get_PLTE failed");
        palette.count = uint16_t(s.paletteCount);
        for (int i = 0; i < s.paletteCount; ++i)
            palette.entries[size_t(i)] =
                MakeColor(s.palette[i].red, s.palette[i].green, s.palette[i].blue);
        paletteArg = &palette;
    }

    // Refuse absurd sizes before allocating: over the pixel limit, or more
    // pixel data than the rest of the file could inflate to (deflate shrinks
    // by 1032:1 at the very most).
    const uint64_t pixels = uint64_t(h.width) * h.height;
    const uint64_t trueColorBytes = (uint64_t(h.width) * 24 + 31) / 32 * 4 * h.height;
    if (pixels > gMaxPixels || trueColorBytes > kMaxPixelBytes)
        throw EPNGError("Image too large: " + std::to_string(h.width) + " x " +
                        std::to_string(h.height));
    {
        const int channels = ct == PNG_COLOR_TYPE_RGB          ? 3
                             : ct == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                             : ct == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                               : 1;
        const uint64_t raw =
            ((uint64_t(h.width) * uint64_t(channels) * uint64_t(h.bitDepth) + 7) / 8 + 1) *
            h.height;
        const int64_t rest = std::max<int64_t>(0, stream.Size() - stream.Position());
        if (raw > 1033 * uint64_t(rest) + 4096) throw EPNGError("Not enough image data");
    }

    const uint16_t xDpi = s.metrePhys ? dpiFromPelsPerMetre(s.xPelsPerMetre) : 0;
    const uint16_t yDpi = s.metrePhys ? dpiFromPelsPerMetre(s.yPelsPerMetre) : 0;
    NewImage(int(h.width), int(h.height), format, paletteArg, xDpi, yDpi);

    const int height = int(h.height), width = int(h.width);
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    if (h.bitDepth == 2) {
        // Two-bit samples become nibbles: gray levels times 5 (0, 5, 10, 15),
        // palette indices as they are.
        const size_t stride = s.rowBytes;
        std::unique_ptr<png_byte[]> buffer(new (std::nothrow) png_byte[stride * size_t(height)]());
        if (!buffer) throw EPNGError("Out of memory");
        for (int y = 0; y < height; ++y)
            rows[size_t(y)] = buffer.get() + stride * size_t(y);
        if (!readRowsStage(c, s.passes, rows.data(), h.height)) fail(c);
        const int scale = ct == PNG_COLOR_TYPE_GRAY ? 5 : 1;
        for (int y = 0; y < height; ++y) {
            const png_byte* src = rows[size_t(y)];
            uint8_t* dst = ScanLine(y);
            for (int x = 0; x < width; x += 2) {
                const int v0 = ((src[x >> 2] >> (6 - 2 * (x & 3))) & 3) * scale;
                const int v1 = x + 1 < width
                                   ? ((src[(x + 1) >> 2] >> (6 - 2 * ((x + 1) & 3))) & 3) * scale
                                   : 0;
                dst[x >> 1] = uint8_t((v0 << 4) | v1);
            }
        }
        return;
    }

    if (s.rowBytes > size_t(RowBytes())) throw EPNGError("Invalid row size");
    for (int y = 0; y < height; ++y)
        rows[size_t(y)] = ScanLine(y);
    if (!readRowsStage(c, s.passes, rows.data(), h.height)) fail(c);
}

void TPngGraphic::SaveToStream(TStream& stream) {
    PngContext c(true);
    c.stream = &stream;
    c.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &c, pngErrorFn, pngWarningFn);
    if (!c.png) throw EPNGError("png_create_write_struct failed");
    c.info = png_create_info_struct(c.png);
    if (!c.info) throw EPNGError("png_create_info_struct failed");

    WriteSetup w;
    w.width = png_uint_32(std::max(0, GetWidth()));
    w.height = png_uint_32(std::max(0, GetHeight()));
    const TImageFormat format = ImageFormat();
    w.bitDepth = format == ifTrueColor ? 8 : BitsPerPixelOf(format);
    switch (format) {
    case ifBlackWhite:
    case ifGray16:
    case ifGray256:
        // Gray levels as stored; a picture whose palette is not the plain
        // gray ramp keeps its colours as a palette PNG.
        w.colorType =
            isGrayRamp(PaletteRecord(), w.bitDepth) ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_PALETTE;
        break;
    case ifColor16:
    case ifColor256:
        w.colorType = PNG_COLOR_TYPE_PALETTE;
        break;
    case ifTrueColor:
        w.colorType = PNG_COLOR_TYPE_RGB;
        break;
    }
    if (w.colorType == PNG_COLOR_TYPE_PALETTE) {
        const TPaletteRecord& pal = PaletteRecord();
        w.paletteCount = std::min<int>(pal.count, 1 << w.bitDepth);
        for (int i = 0; i < w.paletteCount; ++i) {
            const uint32_t e = pal.entries[size_t(i)];
            w.palette[i] = png_color{png_byte(RedOf(e)), png_byte(GreenOf(e)), png_byte(BlueOf(e))};
        }
    }
    w.interlaced = Interlaced;
    w.xPelsPerMetre = png_uint_32(std::max(0, DpiToPelsPerMeter(XDotsPerInch())));
    w.yPelsPerMetre = png_uint_32(std::max(0, DpiToPelsPerMeter(YDotsPerInch())));
    w.writeGamma = std::isfinite(Gamma) && Gamma > 0.0 && Gamma < 21474.0;
    w.gamma = Gamma;
    switch (CompressionLevel) {
    case 0:
        w.zlibLevel = 1;
        break;
    case 1:
        w.zlibLevel = 5;
        break;
    case 2:
        w.zlibLevel = 9;
        break;
    default:
        w.zlibLevel = -1;
        break;
    }

    std::vector<png_bytep> rows(w.height);
    for (png_uint_32 y = 0; y < w.height; ++y)
        rows[y] = ScanLine(int(y));
    if (!writeStage(c, w, rows.data())) fail(c);
}

} // namespace lumara
