#include "TJPEGImage.h"

#include "ColorQuantizer.h"

#include "codecs/model/Exceptions.h"
#include "codecs/model/Stream.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace lumara {

namespace {

std::atomic<uint64_t> gMaxPixels{uint64_t(1) << 30};
std::atomic<uint64_t> gMaxMemory{uint64_t(2) << 30};
std::atomic<int> gMaxScans{1000};

// Above this many pixels a picture must come with enough data to describe
// them: no real JPEG packs more than a few hundred pixels into one byte, so
// a tiny file claiming a huge size cannot make us allocate and decode it.
constexpr uint64_t kPixelsWithoutDataCheck = uint64_t(64) << 20;
constexpr uint64_t kPixelsPerByte = 1024;
constexpr uint64_t kMaxOutputBytes = uint64_t(4) << 30;
constexpr int kRowsPerBatch = 16;

// libjpeg reports errors by calling error_exit, which must not return; we
// jump back to the setjmp of the wrapper that made the libjpeg call. Those
// wrappers hold no C++ objects, and the exception is raised by their callers.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    long warnings;
    char firstWarning[JMSG_LENGTH_MAX];
};

struct ProgressManager {
    jpeg_progress_mgr pub;
    int maxScans;
    // The caller's abort request, polled while libjpeg reads a whole
    // progressive file inside jpeg_start_decompress.
    const std::function<bool()>* abortRequested;
    bool polling;
    bool aborted;
};

bool pollAbort(const std::function<bool()>* abortRequested) noexcept {
    if (!abortRequested || !*abortRequested) return false;
    try {
        return (*abortRequested)();
    } catch (...) {
        return true; // nothing may unwind through libjpeg
    }
}

void errorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// libjpeg never writes to the terminal: warnings are counted and the first
// one kept; trace messages are dropped.
void emitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (err->warnings == 0) (*cinfo->err->format_message)(cinfo, err->firstWarning);
    ++err->warnings;
    ++cinfo->err->num_warnings;
}

void outputMessage(j_common_ptr) {}

void initErrors(ErrorManager& err) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.emit_message = emitMessage;
    err.pub.output_message = outputMessage;
    err.message[0] = 0;
    err.warnings = 0;
    err.firstWarning[0] = 0;
}

// Stops progressive files with absurd numbers of scans, each of which would
// cost a pass over the whole coefficient buffer.
void progressMonitor(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    auto* progress = reinterpret_cast<ProgressManager*>(cinfo->progress);
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > progress->maxScans) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(err->message, sizeof err->message,
                      "Progressive JPEG image has more than %d scans", progress->maxScans);
        std::longjmp(err->jump, 1);
    }
    if (progress->polling && pollAbort(progress->abortRequested)) {
        progress->aborted = true;
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(err->message, sizeof err->message, "JPEG decoding aborted");
        std::longjmp(err->jump, 1);
    }
}

struct Decompressor {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    ProgressManager progress;
    bool created = false;

    Decompressor() {
        std::memset(&cinfo, 0, sizeof cinfo);
        initErrors(err);
        cinfo.err = &err.pub;
        progress.pub.progress_monitor = progressMonitor;
        progress.maxScans = gMaxScans;
        progress.abortRequested = nullptr;
        progress.polling = false;
        progress.aborted = false;
    }
    ~Decompressor() {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;
};

struct Compressor {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    bool created = false;

    Compressor() {
        std::memset(&cinfo, 0, sizeof cinfo);
        initErrors(err);
        cinfo.err = &err.pub;
    }
    ~Compressor() {
        if (created) jpeg_destroy_compress(&cinfo);
        std::free(buffer);
    }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;
};

// ---- The only frames that libjpeg's longjmp reaches. Plain data only.

bool safeCreate(Decompressor* d, const uint8_t* data, size_t size) {
    if (setjmp(d->err.jump)) return false;
    jpeg_create_decompress(&d->cinfo);
    d->created = true;
    d->cinfo.mem->max_memory_to_use = long(std::min<uint64_t>(gMaxMemory, LONG_MAX));
    d->cinfo.progress = &d->progress.pub;
    jpeg_mem_src(&d->cinfo, data, static_cast<unsigned long>(size));
    return true;
}

bool safeReadHeader(Decompressor* d) {
    if (setjmp(d->err.jump)) return false;
    jpeg_read_header(&d->cinfo, TRUE);
    return true;
}

bool safeCalcOutput(Decompressor* d) {
    if (setjmp(d->err.jump)) return false;
    jpeg_calc_output_dimensions(&d->cinfo);
    return true;
}

bool safeStart(Decompressor* d) {
    if (setjmp(d->err.jump)) return false;
    d->progress.polling = true;
    jpeg_start_decompress(&d->cinfo);
    d->progress.polling = false;
    return true;
}

bool safeAllocColormap(Decompressor* d, int colors) {
    if (setjmp(d->err.jump)) return false;
    j_common_ptr common = reinterpret_cast<j_common_ptr>(&d->cinfo);
    d->cinfo.colormap = (*d->cinfo.mem->alloc_sarray)(common, JPOOL_IMAGE, JDIMENSION(colors), 3);
    d->cinfo.actual_number_of_colors = colors;
    return true;
}

bool safeHasMultipleScans(Decompressor* d, bool* result) {
    if (setjmp(d->err.jump)) return false;
    *result = jpeg_has_multiple_scans(&d->cinfo) != FALSE;
    return true;
}

bool safeInputComplete(Decompressor* d, bool* result) {
    if (setjmp(d->err.jump)) return false;
    *result = jpeg_input_complete(&d->cinfo) != FALSE;
    return true;
}

bool safeStartOutput(Decompressor* d) {
    if (setjmp(d->err.jump)) return false;
    jpeg_start_output(&d->cinfo, d->cinfo.input_scan_number);
    return true;
}

bool safeFinishOutput(Decompressor* d) {
    if (setjmp(d->err.jump)) return false;
    jpeg_finish_output(&d->cinfo);
    return true;
}

// Reads the rest of the file into the coefficient buffer.
bool safeConsumeAll(Decompressor* d) {
    if (setjmp(d->err.jump)) return false;
    while (!jpeg_input_complete(&d->cinfo)) {
        const int status = jpeg_consume_input(&d->cinfo);
        if (status == JPEG_SUSPENDED || status == JPEG_REACHED_EOI) break;
    }
    return true;
}

// Reads count rows into rows[0..count); *done counts those read before an error.
bool safeReadRows(Decompressor* d, JSAMPROW* rows, int count, int* done) {
    if (setjmp(d->err.jump)) return false;
    while (*done < count) {
        const JDIMENSION got =
            jpeg_read_scanlines(&d->cinfo, rows + *done, JDIMENSION(count - *done));
        if (got == 0) break; // cannot happen with a memory source; avoid spinning
        *done += int(got);
    }
    return true;
}

bool safeCreateCompress(Compressor* c) {
    if (setjmp(c->err.jump)) return false;
    jpeg_create_compress(&c->cinfo);
    c->created = true;
    jpeg_mem_dest(&c->cinfo, &c->buffer, &c->size);
    return true;
}

struct EncodeParams {
    int width;
    int height;
    bool gray;
    bool progressive;
    bool subsample;
    bool optimize;
    bool highAccuracy;
    int scale;
    int smoothing;
};

bool safeStartCompress(Compressor* c, const EncodeParams* p) {
    if (setjmp(c->err.jump)) return false;
    jpeg_compress_struct& ci = c->cinfo;
    ci.image_width = JDIMENSION(p->width);
    ci.image_height = JDIMENSION(p->height);
    ci.input_components = 3;
    ci.in_color_space = JCS_EXT_BGR; // the surface's own byte order
    jpeg_set_defaults(&ci);
    ci.optimize_coding = p->optimize ? TRUE : FALSE;
    jpeg_set_linear_quality(&ci, p->scale, TRUE);
    if (p->highAccuracy) ci.dct_method = JDCT_FLOAT;
    if (!p->subsample) {
        ci.comp_info[0].h_samp_factor = 1;
        ci.comp_info[0].v_samp_factor = 1;
    }
    ci.smoothing_factor = p->smoothing;
    if (p->gray) jpeg_set_colorspace(&ci, JCS_GRAYSCALE);
    if (p->progressive) jpeg_simple_progression(&ci);
    jpeg_start_compress(&ci, TRUE);
    return true;
}

bool safeWriteRows(Compressor* c, JSAMPROW* rows, int count) {
    if (setjmp(c->err.jump)) return false;
    int done = 0;
    while (done < count) {
        const JDIMENSION n = jpeg_write_scanlines(&c->cinfo, rows + done, JDIMENSION(count - done));
        if (n == 0) break;
        done += int(n);
    }
    return true;
}

bool safeFinishCompress(Compressor* c) {
    if (setjmp(c->err.jump)) return false;
    jpeg_finish_compress(&c->cinfo);
    return true;
}

// ---- C++ side.

[[noreturn]] void throwJpegError(const ErrorManager& err) {
    throw EJpegError(err.message[0] ? err.message : "JPEG error");
}

JpegColorSpace colorSpaceOf(J_COLOR_SPACE cs) {
    switch (cs) {
    case JCS_GRAYSCALE:
        return JpegColorSpace::Gray;
    case JCS_RGB:
        return JpegColorSpace::RGB;
    case JCS_YCbCr:
        return JpegColorSpace::YCbCr;
    case JCS_CMYK:
        return JpegColorSpace::CMYK;
    case JCS_YCCK:
        return JpegColorSpace::YCCK;
    default:
        return JpegColorSpace::Unknown;
    }
}

int32_t pelsPerMeter(int unit, int density) {
    if (density <= 0) return 0;
    if (unit == 1) return int32_t((int64_t(density) * 10000 + 127) / 254);
    if (unit == 2) return int32_t(density) * 100;
    return 0;
}

inline uint8_t mul255(unsigned a, unsigned b) {
    const unsigned t = a * b + 128;
    return uint8_t((t + (t >> 8)) >> 8);
}

// CMYK rows as libjpeg gives them to BGR. Adobe's files hold the inks
// inverted (0 = full ink), plain CMYK files hold them as they are.
void cmykToBgr(const uint8_t* src, uint8_t* dst, int width, bool inverted) {
    if (inverted) {
        for (int x = 0; x < width; ++x, src += 4, dst += 3) {
            const unsigned k = src[3];
            dst[0] = mul255(src[2], k);
            dst[1] = mul255(src[1], k);
            dst[2] = mul255(src[0], k);
        }
    } else {
        for (int x = 0; x < width; ++x, src += 4, dst += 3) {
            const unsigned k = 255u - src[3];
            dst[0] = mul255(255u - src[2], k);
            dst[1] = mul255(255u - src[1], k);
            dst[2] = mul255(255u - src[0], k);
        }
    }
}

void bgrToGray(const uint8_t* src, uint8_t* dst, int width) {
    for (int x = 0; x < width; ++x, src += 3)
        dst[x] = uint8_t((src[0] * 29u + src[1] * 150u + src[2] * 77u + 128u) >> 8);
}

// A surface row of any depth as BGR.
void rowToBgr(const Bitmap& bmp, int y, uint8_t* dst) {
    const uint8_t* src = bmp.ScanLine(y);
    const int w = bmp.Width();
    const Palette& pal = bmp.palette;
    auto put = [&](int x, size_t index) {
        const uint32_t c = index < pal.size() ? pal[index] : 0;
        dst[3 * x] = uint8_t(c);
        dst[3 * x + 1] = uint8_t(c >> 8);
        dst[3 * x + 2] = uint8_t(c >> 16);
    };
    switch (bmp.Depth()) {
    case 1:
        for (int x = 0; x < w; ++x)
            put(x, (src[x >> 3] >> (7 - (x & 7))) & 1);
        break;
    case 4:
        for (int x = 0; x < w; ++x)
            put(x, (x & 1) ? (src[x >> 1] & 15) : (src[x >> 1] >> 4));
        break;
    case 8:
        for (int x = 0; x < w; ++x)
            put(x, src[x]);
        break;
    default:
        std::memcpy(dst, src, size_t(w) * 3);
        break;
    }
}

template <class Source> std::optional<JpegProbeInfo> walkMarkers(Source& src) {
    if (src.byte() != 0xFF || src.byte() != 0xD8) return std::nullopt;
    JpegProbeInfo info;
    for (;;) {
        int c = src.byte();
        while (c >= 0 && c != 0xFF)
            c = src.byte(); // stray bytes, as libjpeg tolerates
        while (c == 0xFF)
            c = src.byte(); // fill bytes
        if (c < 0) return info;
        const int marker = c;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;
        if (marker == 0xD9 || marker == 0xDA) return info; // no frame before the image data
        const int hi = src.byte(), lo = src.byte();
        if (lo < 0) return info;
        const int length = hi << 8 | lo;
        if (length < 2) return info;
        const bool isFrame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (!isFrame) {
            if (!src.skip(size_t(length - 2))) return info;
            continue;
        }
        int b[6];
        for (int& v : b)
            v = src.byte();
        if (b[5] < 0) return info;
        info.HasFrame = true;
        info.Precision = b[0];
        info.Height = b[1] << 8 | b[2];
        info.Width = b[3] << 8 | b[4];
        info.Components = b[5];
        info.Progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
        info.Arithmetic = marker >= 0xC9;
        return info;
    }
}

struct MemorySource {
    const uint8_t* p;
    size_t left;
    int byte() {
        if (!left) return -1;
        --left;
        return *p++;
    }
    bool skip(size_t n) {
        if (n > left) return false;
        p += n;
        left -= n;
        return true;
    }
};

struct StreamSource {
    explicit StreamSource(TStream& stream) : s(stream) {}
    TStream& s;
    uint8_t buf[4096];
    size_t pos = 0, end = 0;
    int byte() {
        if (pos == end) {
            end = s.Read(buf, sizeof buf);
            pos = 0;
            if (end == 0) return -1;
        }
        return buf[pos++];
    }
    bool skip(size_t n) {
        const size_t inBuf = std::min(n, end - pos);
        pos += inBuf;
        n -= inBuf;
        if (n == 0) return true;
        const int64_t target = s.Position() + int64_t(n);
        if (target > s.Size()) return false;
        s.SetPosition(target);
        return true;
    }
};

} // namespace

std::optional<JpegProbeInfo> ProbeJpeg(const void* data, size_t size) {
    MemorySource src{static_cast<const uint8_t*>(data), data ? size : 0};
    return walkMarkers(src);
}

std::optional<JpegProbeInfo> ProbeJpegFile(const std::string& path) {
    TFileStream file(path, TFileStream::Mode::Read);
    StreamSource src(file);
    return walkMarkers(src);
}

// ---------------------------------------------------------------------------

TJPEGImage::TJPEGImage() = default;
TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::SetMaxImagePixels(uint64_t pixels) {
    gMaxPixels = pixels;
}
uint64_t TJPEGImage::MaxImagePixels() {
    return gMaxPixels;
}
void TJPEGImage::SetMaxMemory(uint64_t bytes) {
    gMaxMemory = bytes;
}
void TJPEGImage::SetMaxScans(int scans) {
    gMaxScans = scans;
}

void TJPEGImage::Clear() {
    data_.clear();
    data_.shrink_to_fit();
    header_ = Header{};
    warningCount_ = 0;
    firstWarning_.clear();
    aborted_ = false;
}

void TJPEGImage::LoadFromFile(const std::string& path) {
    Clear();
    TFileStream file(path, TFileStream::Mode::Read);
    // A large file that is no JPEG is refused before it is read whole, with
    // the message libjpeg would give.
    uint8_t soi[2];
    if (file.Read(soi, 2) == 2 && !(soi[0] == 0xFF && soi[1] == 0xD8)) {
        char message[64];
        std::snprintf(message, sizeof message, "Not a JPEG file: starts with 0x%02x 0x%02x", soi[0],
                      soi[1]);
        throw EJpegError(message);
    }
    file.SetPosition(0);
    LoadFromStream(file);
}

void TJPEGImage::LoadFromStream(TStream& stream) {
    Clear();
    const int64_t left = stream.Remaining();
    if (left > 0) {
        data_.resize(size_t(left));
        stream.ReadBuffer(data_.data(), data_.size());
    }
    readHeader();
}

void TJPEGImage::LoadFromMemory(const void* data, size_t size) {
    Clear();
    if (size)
        data_.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    readHeader();
}

void TJPEGImage::readHeader() {
    Decompressor d;
    if (!safeCreate(&d, data_.data(), data_.size()) || !safeReadHeader(&d)) {
        Clear();
        throwJpegError(d.err);
    }
    const jpeg_decompress_struct& ci = d.cinfo;
    header_.width = int(ci.image_width);
    header_.height = int(ci.image_height);
    header_.components = ci.num_components;
    header_.colorSpace = colorSpaceOf(ci.jpeg_color_space);
    header_.progressive = ci.progressive_mode != FALSE;
    header_.adobe = ci.saw_Adobe_marker != FALSE;
    header_.densityUnit = ci.saw_JFIF_marker ? ci.density_unit : 0;
    header_.xDensity = ci.X_density;
    header_.yDensity = ci.Y_density;
    warningCount_ = d.err.warnings;
    firstWarning_ = d.err.firstWarning;
}

int TJPEGImage::ScaledWidth(JpegScale scale) const {
    const int s = 1 << int(scale);
    return (header_.width + s - 1) / s;
}

int TJPEGImage::ScaledHeight(JpegScale scale) const {
    const int s = 1 << int(scale);
    return (header_.height + s - 1) / s;
}

void TJPEGImage::DecodeToBitmap(Bitmap& target, int dither) {
    aborted_ = false;
    warningCount_ = 0;
    firstWarning_.clear();
    if (data_.empty()) throw EJpegError("No JPEG data to decode");

    const bool cmyk =
        header_.colorSpace == JpegColorSpace::CMYK || header_.colorSpace == JpegColorSpace::YCCK;
    if (!cmyk || Grayscale || PixelFormat != JpegPixelFormat::Bits8) {
        decode(target, dither, false);
        return;
    }
    // libjpeg quantizes RGB output only: reduce the decoded picture here.
    if (dither == kDefaultDither) dither = Speed ? 0 : 1;
    Bitmap full;
    auto reduce = [&] {
        if (full.Empty()) return;
        MapToPalette(full, target, ColorMap.empty() ? MedianCutPalette(full, 236) : ColorMap,
                     dither);
    };
    try {
        decode(full, dither, true);
    } catch (const EJpegError&) {
        reduce(); // what was decoded stays
        throw;
    }
    reduce();
}

void TJPEGImage::decode(Bitmap& target, int dither, bool force24) {
    Decompressor d;
    if (!safeCreate(&d, data_.data(), data_.size()) || !safeReadHeader(&d)) throwJpegError(d.err);
    jpeg_decompress_struct& ci = d.cinfo;

    const bool cmyk = ci.jpeg_color_space == JCS_CMYK || ci.jpeg_color_space == JCS_YCCK;
    const bool grayOut = Grayscale || ci.jpeg_color_space == JCS_GRAYSCALE;
    const bool quantize = !grayOut && !cmyk && !force24 && PixelFormat == JpegPixelFormat::Bits8;
    const bool inverted = ci.saw_Adobe_marker != FALSE;

    ci.scale_num = 1;
    ci.scale_denom = 1u << std::clamp(int(Scale), 0, 3);
    if (Speed) ci.dct_method = JDCT_IFAST;
    if (cmyk)
        ci.out_color_space = JCS_CMYK;
    else if (grayOut)
        ci.out_color_space = JCS_GRAYSCALE;
    else if (quantize)
        ci.out_color_space = JCS_RGB;
    else
        ci.out_color_space = JCS_EXT_BGR;

    if (quantize) {
        if (dither == kDefaultDither) dither = Speed ? 0 : 1;
        ci.quantize_colors = TRUE;
        ci.desired_number_of_colors = 236;
        ci.dither_mode = dither == 0 ? JDITHER_ORDERED : dither == 2 ? JDITHER_NONE : JDITHER_FS;
        // The two-pass quantizer knows no ordered dither.
        ci.two_pass_quantize = (Speed || dither == 0) ? FALSE : TRUE;
    }

    if (!safeCalcOutput(&d)) throwJpegError(d.err);

    const uint64_t fullPixels = uint64_t(ci.image_width) * ci.image_height;
    const uint64_t outPixels = uint64_t(ci.output_width) * ci.output_height;
    const int depth = (grayOut || quantize) ? 8 : 24;
    const int64_t rowBytes = Bitmap::RowBytesFor(ci.output_width, depth);
    if (outPixels > gMaxPixels || rowBytes < 0 ||
        uint64_t(rowBytes) * ci.output_height > kMaxOutputBytes)
        throw EJpegError("JPEG image too large (" + std::to_string(ci.output_width) + "x" +
                         std::to_string(ci.output_height) + ")");
    const uint64_t unchecked = std::min<uint64_t>(kPixelsWithoutDataCheck, gMaxPixels);
    if (fullPixels > unchecked && fullPixels / kPixelsPerByte > data_.size())
        throw EJpegError("JPEG image of " + std::to_string(ci.image_width) + "x" +
                         std::to_string(ci.image_height) + " has too little data (" +
                         std::to_string(data_.size()) + " bytes)");

    const int width = int(ci.output_width);
    const int height = int(ci.output_height);
    target.Create(width, height, depth);
    target.xPelsPerMeter = ci.saw_JFIF_marker ? pelsPerMeter(ci.density_unit, ci.X_density) : 0;
    target.yPelsPerMeter = ci.saw_JFIF_marker ? pelsPerMeter(ci.density_unit, ci.Y_density) : 0;

    // A given palette becomes the colour map (libjpeg's colour map is
    // component-major).
    if (quantize && !ColorMap.empty()) {
        const int n = int(std::min<size_t>(ColorMap.size(), 256));
        if (!safeAllocColormap(&d, n)) throwJpegError(d.err);
        for (int i = 0; i < n; ++i) {
            ci.colormap[0][i] = JSAMPLE(RedOf(ColorMap[size_t(i)]));
            ci.colormap[1][i] = JSAMPLE(GreenOf(ColorMap[size_t(i)]));
            ci.colormap[2][i] = JSAMPLE(BlueOf(ColorMap[size_t(i)]));
        }
    }

    // Progressive display decodes every scan into the whole picture; the
    // quantizer's colour map would have to be rebuilt for each, so 8-bit
    // output is shown once, complete.
    bool buffered = false;
    if (ProgressiveDisplay && !quantize && !safeHasMultipleScans(&d, &buffered))
        throwJpegError(d.err);
    ci.buffered_image = buffered ? TRUE : FALSE;
    d.progress.abortRequested = &AbortRequested;
    if (!safeStart(&d)) {
        warningCount_ = d.err.warnings;
        firstWarning_ = d.err.firstWarning;
        if (d.progress.aborted) {
            aborted_ = true;
            return;
        }
        throwJpegError(d.err);
    }

    if (grayOut) {
        target.palette = GrayPalette(256);
    } else if (quantize) {
        Palette pal(size_t(std::max(ci.actual_number_of_colors, 0)));
        for (size_t i = 0; i < pal.size(); ++i)
            pal[i] = MakeColor(ci.colormap[0][i], ci.colormap[1][i], ci.colormap[2][i]);
        target.palette = std::move(pal);
    }

    // CMYK comes through a small buffer of batch rows and is converted here.
    std::vector<uint8_t> cmykRows, bgrRow;
    if (cmyk) {
        cmykRows.resize(size_t(width) * 4 * kRowsPerBatch);
        if (grayOut) bgrRow.resize(size_t(width) * 3);
    }

    // One pass over the output rows; false when aborted.
    auto readPass = [&]() -> bool {
        JSAMPROW rows[kRowsPerBatch];
        int y = 0;
        while (y < height) {
            const int count = std::min(kRowsPerBatch, height - y);
            for (int i = 0; i < count; ++i)
                rows[i] = cmyk ? cmykRows.data() + size_t(i) * width * 4 : target.ScanLine(y + i);
            int done = 0;
            const bool ok = safeReadRows(&d, rows, count, &done);
            if (cmyk) {
                for (int i = 0; i < done; ++i) {
                    if (grayOut) {
                        cmykToBgr(rows[i], bgrRow.data(), width, inverted);
                        bgrToGray(bgrRow.data(), target.ScanLine(y + i), width);
                    } else {
                        cmykToBgr(rows[i], target.ScanLine(y + i), width, inverted);
                    }
                }
            }
            y += done;
            warningCount_ = d.err.warnings;
            firstWarning_ = d.err.firstWarning;
            if (!ok) throwJpegError(d.err);
            if (done < count) break;
            if (OnProgress) OnProgress(int(int64_t(y) * 100 / height));
            if (AbortRequested && y < height && AbortRequested()) return false;
        }
        return true;
    };

    if (!buffered) {
        aborted_ = !readPass();
        // The rest of the file (markers after the image) is of no interest:
        // destroying the decompressor releases everything.
        return;
    }

    // Scan by scan; after a few passes the rest is read at once so a file
    // of many small scans costs no more than one more pass.
    constexpr int kDisplayedPasses = 12;
    for (int pass = 1;; ++pass) {
        if (pass == kDisplayedPasses && !safeConsumeAll(&d)) throwJpegError(d.err);
        if (!safeStartOutput(&d)) throwJpegError(d.err);
        if (!readPass()) {
            aborted_ = true;
            return;
        }
        if (!safeFinishOutput(&d)) throwJpegError(d.err);
        if (OnPass) OnPass(target);
        bool complete = false;
        if (!safeInputComplete(&d, &complete)) throwJpegError(d.err);
        if (complete) break;
        if (AbortRequested && AbortRequested()) {
            aborted_ = true;
            return;
        }
    }
    warningCount_ = d.err.warnings;
    firstWarning_ = d.err.firstWarning;
}

void TJPEGImage::CompressJpeg(const Bitmap& image, bool subsample, bool optimizeCoding,
                              bool highAccuracy, int scale, int smoothing) {
    Clear();
    if (image.Empty() || image.Width() <= 0 || image.Height() <= 0) return;

    if (OnProgress) OnProgress(0);
    Compressor c;
    EncodeParams p{image.Width(), image.Height(), Grayscale, ProgressiveEncoding, subsample,
                   optimizeCoding, highAccuracy, scale,
                   // libjpeg's smoothing is defined for 0..100 only; above,
                   // its weights turn negative and samples wrap around.
                   std::clamp(smoothing, 0, 100)};
    auto fail = [&]() {
        if (OnProgress) OnProgress(0);
        throwJpegError(c.err);
    };
    if (!safeCreateCompress(&c) || !safeStartCompress(&c, &p)) fail();

    const bool direct = image.Depth() == 24;
    std::vector<uint8_t> converted;
    if (!direct) converted.resize(size_t(image.Width()) * 3 * kRowsPerBatch);
    JSAMPROW rows[kRowsPerBatch];
    for (int y = 0; y < image.Height();) {
        const int count = std::min(kRowsPerBatch, image.Height() - y);
        for (int i = 0; i < count; ++i) {
            if (direct) {
                rows[i] = const_cast<JSAMPROW>(image.ScanLine(y + i));
            } else {
                rows[i] = converted.data() + size_t(i) * image.Width() * 3;
                rowToBgr(image, y + i, rows[i]);
            }
        }
        if (!safeWriteRows(&c, rows, count)) fail();
        y += count;
        if (AbortRequested && y < image.Height() && AbortRequested()) return;
    }
    if (!safeFinishCompress(&c)) fail();
    data_.assign(c.buffer, c.buffer + c.size);
    if (OnProgress) OnProgress(100);
    readHeader();
}

void TJPEGImage::SaveToStream(TStream& stream) const {
    stream.WriteBuffer(data_.data(), data_.size());
}

void TJPEGImage::SaveToFile(const std::string& path) const {
    TFileStream file(path, TFileStream::Mode::AtomicWrite);
    SaveToStream(file);
    file.Commit();
}

void InsertJpegComment(TStream& source, TStream& dest, const std::string& text) {
    if (text.size() > 65533) throw EJpegError("JPEG comment too long");
    source.SetPosition(0);
    const int64_t size = source.Size();
    uint8_t head[6];
    if (size < 6 || source.Read(head, 6) != 6 || head[0] != 0xFF || head[1] != 0xD8 ||
        head[2] != 0xFF)
        throw EJpegError("Not a JPEG stream");
    const int marker = head[3];
    const int64_t length = head[4] << 8 | head[5];
    // The comment must go between two marker segments, never into image data.
    if (marker == 0xDA || marker == 0xD9 || marker == 0xD8 || marker == 0x01 || marker == 0xFF ||
        marker == 0x00 || (marker >= 0xD0 && marker <= 0xD7) || length < 2 || length + 4 > size)
        throw EJpegError("Not a JPEG stream");

    source.SetPosition(0);
    dest.CopyFrom(source, length + 4);
    const size_t n = text.size() + 2;
    const uint8_t com[4] = {0xFF, 0xFE, uint8_t(n >> 8), uint8_t(n)};
    dest.WriteBuffer(com, sizeof com);
    dest.WriteBuffer(text.data(), text.size());
    if (size > length + 4) dest.CopyFrom(source, size - (length + 4));
}

} // namespace lumara
