// TIFF files through libtiff: every directory is a page. Palette and gray
// pages stay palette images: 1- and 4-bit ones at their depth, 2-, 8- and
// 16-bit ones at 8 bits; everything else goes through libtiff's RGBA reader
// and becomes 24-bit, alpha composed over white.

#include "ImgDecode.h"

#include "codecs/model/Palettes.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

namespace lumara::imgdecode {

namespace {

// The file's bytes as libtiff's client stream, and the first error libtiff
// reported on it (its handlers never print).
struct TiffReader {
    Bytes data;
    uint64_t pos = 0;
    std::string firstError;
};

tmsize_t readProc(thandle_t h, void* buf, tmsize_t size) {
    auto* r = static_cast<TiffReader*>(h);
    if (size <= 0) return 0;
    const uint64_t total = r->data->size();
    if (r->pos >= total) return 0;
    const uint64_t n = std::min<uint64_t>(uint64_t(size), total - r->pos);
    std::memcpy(buf, r->data->data() + r->pos, size_t(n));
    r->pos += n;
    return tmsize_t(n);
}

tmsize_t writeProc(thandle_t, void*, tmsize_t) {
    return -1;
}

toff_t seekProc(thandle_t h, toff_t off, int whence) {
    auto* r = static_cast<TiffReader*>(h);
    uint64_t base = 0;
    switch (whence) {
    case SEEK_SET:
        base = 0;
        break;
    case SEEK_CUR:
        base = r->pos;
        break;
    case SEEK_END:
        base = r->data->size();
        break;
    default:
        return toff_t(-1);
    }
    // Offsets come as unsigned; a negative relative seek wraps around.
    const uint64_t target = base + uint64_t(off);
    if (whence != SEEK_SET && int64_t(off) < 0 && uint64_t(-int64_t(off)) > base) return toff_t(-1);
    if (target > uint64_t(std::numeric_limits<int64_t>::max())) return toff_t(-1);
    r->pos = target;
    return toff_t(target);
}

int closeProc(thandle_t) {
    return 0;
}

toff_t sizeProc(thandle_t h) {
    return toff_t(static_cast<TiffReader*>(h)->data->size());
}

int mapProc(thandle_t, void**, toff_t*) {
    return 0;
}

void unmapProc(thandle_t, void*, toff_t) {}

int errorHandler(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    auto* r = static_cast<TiffReader*>(user);
    if (r && r->firstError.empty()) {
        char text[256];
        std::vsnprintf(text, sizeof text, fmt, ap);
        r->firstError = (module && *module) ? std::string(module) + ": " + text : text;
    }
    return 1; // handled: libtiff's global handler (which prints) is not called
}

int warningHandler(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

uint8_t to8(uint16_t v, bool wide) {
    return wide ? uint8_t(v >> 8) : uint8_t(v);
}

class TiffSource : public PageSource {
  public:
    explicit TiffSource(Bytes data) {
        reader_.data = std::move(data);
        TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
        if (!opts) throw std::bad_alloc();
        TIFFOpenOptionsSetErrorHandlerExtR(opts, errorHandler, &reader_);
        TIFFOpenOptionsSetWarningHandlerExtR(opts, warningHandler, &reader_);
        TIFFOpenOptionsSetMaxSingleMemAlloc(
            opts, tmsize_t(std::max<uint64_t>(MaxImageBytes(), uint64_t(64) << 20)));
        // "m": no memory mapping (there is no file), "h": header only is
        // not wanted, so plain read mode.
        tif_ = TIFFClientOpenExt("image", "rm", &reader_, readProc, writeProc, seekProc, closeProc,
                                 sizeProc, mapProc, unmapProc, opts);
        TIFFOpenOptionsFree(opts);
        if (!tif_) fail("cannot read the header");
        const tdir_t dirs = TIFFNumberOfDirectories(tif_);
        pages_ = std::clamp<int>(int(dirs), 1, kMaxPages);
    }

    ~TiffSource() override {
        if (tif_) TIFFClose(tif_);
    }

    int PageCount() const override { return pages_; }

    Bitmap DecodePage(int page) override {
        reader_.firstError.clear();
        if (!TIFFSetDirectory(tif_, tdir_t(page)))
            fail("cannot read page " + std::to_string(page + 1));
        // Complaints about tags libtiff chose to skip do not spoil the page;
        // only errors while reading the pixels do.
        reader_.firstError.clear();
        uint32_t width = 0, height = 0;
        if (!TIFFGetField(tif_, TIFFTAG_IMAGEWIDTH, &width) ||
            !TIFFGetField(tif_, TIFFTAG_IMAGELENGTH, &height))
            Corrupt("missing image size");
        uint16_t bps = 1, spp = 1, photometric = 0xFFFF, planar = PLANARCONFIG_CONTIG;
        TIFFGetFieldDefaulted(tif_, TIFFTAG_BITSPERSAMPLE, &bps);
        TIFFGetFieldDefaulted(tif_, TIFFTAG_SAMPLESPERPIXEL, &spp);
        TIFFGetFieldDefaulted(tif_, TIFFTAG_PLANARCONFIG, &planar);
        const bool hasPhotometric = TIFFGetField(tif_, TIFFTAG_PHOTOMETRIC, &photometric) != 0;

        const bool gray = hasPhotometric && (photometric == PHOTOMETRIC_MINISBLACK ||
                                             photometric == PHOTOMETRIC_MINISWHITE);
        const bool palette = hasPhotometric && photometric == PHOTOMETRIC_PALETTE;
        const bool plain = spp == 1 && !TIFFIsTiled(tif_);
        if (plain && gray && (bps == 1 || bps == 2 || bps == 4 || bps == 8 || bps == 16))
            return readGray(width, height, bps, photometric == PHOTOMETRIC_MINISWHITE);
        if (plain && palette && (bps == 1 || bps == 2 || bps == 4 || bps == 8))
            return readPalette(width, height, bps);
        return readRgba(width, height);
    }

  private:
    [[noreturn]] void fail(const std::string& fallback) {
        Corrupt(reader_.firstError.empty() ? fallback : reader_.firstError);
    }

    // Rows through the decoder one scanline at a time; each row is handed to
    // convert. Some fax streams only decode a whole strip at a time: when
    // the scanline reader gives up without an error, the strips are read.
    template <class Convert> void eachRow(uint32_t height, Convert convert) {
        const tmsize_t lineSize = TIFFScanlineSize(tif_);
        if (lineSize <= 0) fail("bad row size");
        std::vector<uint8_t> line(static_cast<size_t>(lineSize));
        for (uint32_t y = 0; y < height; ++y) {
            if (TIFFReadScanline(tif_, line.data(), y, 0) < 0) {
                if (!reader_.firstError.empty()) fail("cannot read row " + std::to_string(y));
                eachStripRow(height, lineSize, convert);
                return;
            }
            convert(int(y), line.data());
        }
    }

    template <class Convert>
    void eachStripRow(uint32_t height, tmsize_t lineSize, Convert convert) {
        uint32_t rowsPerStrip = height;
        TIFFGetFieldDefaulted(tif_, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, height);
        const uint64_t stripBytes = uint64_t(rowsPerStrip) * uint64_t(lineSize);
        if (stripBytes > MaxImageBytes()) throw DecodeError("Image too large");
        std::vector<uint8_t> strip(static_cast<size_t>(stripBytes));
        const uint32_t strips = TIFFNumberOfStrips(tif_);
        for (uint32_t top = 0, s = 0; top < height; top += rowsPerStrip, ++s) {
            const uint32_t rows = std::min(rowsPerStrip, height - top);
            const tmsize_t want = tmsize_t(rows) * lineSize;
            if (s >= strips) fail("cannot read rows from " + std::to_string(top));
            std::fill(strip.begin(), strip.end(), uint8_t(0));
            // As libtiff's own readers do, a strip the decoder only warned
            // about keeps what it decoded; a reported error fails the page.
            if (TIFFReadEncodedStrip(tif_, s, strip.data(), want) < want &&
                !reader_.firstError.empty())
                fail("cannot read rows from " + std::to_string(top));
            for (uint32_t y = 0; y < rows; ++y)
                convert(int(top + y), strip.data() + size_t(y) * size_t(lineSize));
        }
    }

    // 1- and 4-bit samples are laid out as surface rows are: copy the
    // bytes, clear the bits past the last pixel.
    static void copyPacked(const uint8_t* src, uint8_t* dst, uint32_t width, int bits,
                           bool invert) {
        const size_t bytes = (size_t(width) * size_t(bits) + 7) / 8;
        if (invert) {
            for (size_t i = 0; i < bytes; ++i)
                dst[i] = uint8_t(~src[i]);
        } else {
            std::memcpy(dst, src, bytes);
        }
        const int tail = int((size_t(width) * size_t(bits)) & 7);
        if (tail) dst[bytes - 1] &= uint8_t(0xFF00 >> tail);
    }

    // Samples of 2 bits (high bits first) as one byte per pixel.
    static void unpack2(const uint8_t* src, uint8_t* dst, uint32_t width) {
        for (uint32_t x = 0; x < width; ++x)
            dst[x] = uint8_t((src[x / 4] >> (6 - 2 * (x % 4))) & 3);
    }

    // Depth of the page for samples of bps bits: 1 and 4 stay, the rest 8.
    static int depthFor(uint16_t bps) { return bps == 1 || bps == 4 ? bps : 8; }

    Bitmap readGray(uint32_t width, uint32_t height, uint16_t bps, bool minIsWhite) {
        const int depth = depthFor(bps);
        CheckImageSize(width, height, depth);
        Bitmap out(int(width), int(height), depth);
        if (bps == 1) {
            // Bilevel pages always read 0 as black, whatever the file's sense.
            out.palette = {0x000000, 0xFFFFFF};
            eachRow(height, [&](int y, const uint8_t* src) {
                copyPacked(src, out.ScanLine(y), width, 1, minIsWhite);
            });
            return out;
        }
        const int levels = bps >= 8 ? 256 : 1 << bps;
        out.palette.resize(size_t(levels));
        for (int i = 0; i < levels; ++i) {
            const int v = i * 255 / (levels - 1);
            out.palette[size_t(i)] =
                minIsWhite ? MakeColor(255 - v, 255 - v, 255 - v) : MakeColor(v, v, v);
        }
        eachRow(height, [&](int y, const uint8_t* src) {
            uint8_t* dst = out.ScanLine(y);
            if (bps == 8) {
                std::memcpy(dst, src, width);
            } else if (bps == 16) {
                const auto* s16 = reinterpret_cast<const uint16_t*>(src);
                for (uint32_t x = 0; x < width; ++x)
                    dst[x] = uint8_t(s16[x] >> 8);
            } else if (bps == 4) {
                copyPacked(src, dst, width, 4, false);
            } else {
                unpack2(src, dst, width);
            }
        });
        return out;
    }

    Bitmap readPalette(uint32_t width, uint32_t height, uint16_t bps) {
        uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
        if (!TIFFGetField(tif_, TIFFTAG_COLORMAP, &r, &g, &b))
            Corrupt("palette image without a colour map");
        const int count = 1 << bps;
        // Some writers store 8-bit values in the 16-bit map.
        bool wide = false;
        for (int i = 0; i < count; ++i)
            if (r[i] > 255 || g[i] > 255 || b[i] > 255) wide = true;
        const int depth = depthFor(bps);
        CheckImageSize(width, height, depth);
        Bitmap out(int(width), int(height), depth);
        out.palette.resize(size_t(count));
        for (int i = 0; i < count; ++i)
            out.palette[size_t(i)] = MakeColor(to8(r[i], wide), to8(g[i], wide), to8(b[i], wide));
        eachRow(height, [&](int y, const uint8_t* src) {
            uint8_t* dst = out.ScanLine(y);
            if (bps == 8)
                std::memcpy(dst, src, width);
            else if (bps == 2)
                unpack2(src, dst, width);
            else
                copyPacked(src, dst, width, bps, false);
        });
        return out;
    }

    Bitmap readRgba(uint32_t width, uint32_t height) {
        char message[1024] = {0};
        if (!TIFFRGBAImageOK(tif_, message)) Unsupported(message);
        CheckImageSize(width, height, 24);
        TIFFRGBAImage img;
        if (!TIFFRGBAImageBegin(&img, tif_, 0, message)) fail(message);
        struct End {
            TIFFRGBAImage* img;
            ~End() { TIFFRGBAImageEnd(img); }
        } end{&img};
        img.req_orientation = ORIENTATION_TOPLEFT;

        Bitmap out(int(width), int(height), 24);
        // The whole page in one call while its raster is modest; bands of
        // whole strips otherwise, so the raster never doubles a huge page.
        constexpr uint64_t kRasterBytes = uint64_t(256) << 20;
        uint32_t band = height;
        if (uint64_t(width) * height * 4 > kRasterBytes) {
            band = uint32_t(std::max<uint64_t>(1, kRasterBytes / (uint64_t(width) * 4)));
            uint32_t unit = 0;
            if (TIFFIsTiled(tif_))
                TIFFGetField(tif_, TIFFTAG_TILELENGTH, &unit);
            else
                TIFFGetFieldDefaulted(tif_, TIFFTAG_ROWSPERSTRIP, &unit);
            if (unit > 0 && unit < band) band -= band % unit;
        }
        std::vector<uint32_t> raster(size_t(width) * band);
        for (uint32_t top = 0; top < height; top += band) {
            const uint32_t rows = std::min(band, height - top);
            img.row_offset = int(top);
            img.col_offset = 0;
            if (!TIFFRGBAImageGet(&img, raster.data(), width, rows) || !reader_.firstError.empty())
                fail("cannot read rows from " + std::to_string(top));
            for (uint32_t y = 0; y < rows; ++y) {
                const uint32_t* src = raster.data() + size_t(y) * width;
                uint8_t* dst = out.ScanLine(int(top + y));
                for (uint32_t x = 0; x < width; ++x, dst += 3) {
                    // The raster holds associated (premultiplied) alpha.
                    const uint32_t p = src[x];
                    const int white = 255 - int(TIFFGetA(p));
                    dst[0] = uint8_t(std::min(255, int(TIFFGetB(p)) + white));
                    dst[1] = uint8_t(std::min(255, int(TIFFGetG(p)) + white));
                    dst[2] = uint8_t(std::min(255, int(TIFFGetR(p)) + white));
                }
            }
        }
        return out;
    }

    TiffReader reader_;
    TIFF* tif_ = nullptr;
    int pages_ = 0;
};

} // namespace

std::unique_ptr<PageSource> OpenTiff(Bytes data) {
    return std::make_unique<TiffSource>(std::move(data));
}

} // namespace lumara::imgdecode
