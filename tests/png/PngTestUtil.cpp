#include "PngTestUtil.h"

#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace pngtest {

namespace {

struct MemReader {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

void memRead(png_structp png, png_bytep out, size_t n) {
    auto* r = static_cast<MemReader*>(png_get_io_ptr(png));
    if (r->pos + n > r->size) png_error(png, "short");
    std::memcpy(out, r->data + r->pos, n);
    r->pos += n;
}

void memWrite(png_structp png, png_bytep in, size_t n) {
    auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    v->insert(v->end(), in, in + n);
}

void memFlush(png_structp) {}
void quietWarning(png_structp, png_const_charp) {}

} // namespace

std::vector<uint8_t> EncodePng(const PngSpec& spec) {
    std::vector<uint8_t> out;
    std::vector<png_bytep> rowPtrs(spec.rows.size());
    for (size_t i = 0; i < spec.rows.size(); ++i)
        rowPtrs[i] = const_cast<png_bytep>(spec.rows[i].data());
    std::vector<png_color> plte(spec.plte.size() / 3);
    for (size_t i = 0; i < plte.size(); ++i)
        plte[i] = {spec.plte[3 * i], spec.plte[3 * i + 1], spec.plte[3 * i + 2]};

    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, quietWarning);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("test PNG could not be encoded");
    }
    png_set_write_fn(png, &out, memWrite, memFlush);
    png_set_IHDR(png, info, spec.width, spec.height, spec.bitDepth, spec.colorType,
                 spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!plte.empty()) png_set_PLTE(png, info, plte.data(), int(plte.size()));
    if (!spec.trnsAlpha.empty() || spec.trnsGray) {
        png_color_16 tc{};
        if (spec.trnsGray) tc.gray = *spec.trnsGray;
        png_set_tRNS(png, info, spec.trnsAlpha.empty() ? nullptr : spec.trnsAlpha.data(),
                     int(spec.trnsAlpha.size()), spec.trnsGray ? &tc : nullptr);
    }
    if (spec.gamma) png_set_gAMA(png, info, *spec.gamma);
    if (spec.srgbIntent) png_set_sRGB(png, info, *spec.srgbIntent);
    if (spec.bkgdIndex || spec.bkgdGray || spec.bkgdRgb) {
        png_color_16 bg{};
        if (spec.bkgdIndex) bg.index = png_byte(*spec.bkgdIndex);
        if (spec.bkgdGray) bg.gray = *spec.bkgdGray;
        if (spec.bkgdRgb) {
            bg.red = (*spec.bkgdRgb)[0];
            bg.green = (*spec.bkgdRgb)[1];
            bg.blue = (*spec.bkgdRgb)[2];
        }
        png_set_bKGD(png, info, &bg);
    }
    if (spec.physMetre)
        png_set_pHYs(png, info, spec.physMetre->first, spec.physMetre->second,
                     PNG_RESOLUTION_METER);
    png_write_info(png, info);
    const int passes = spec.interlaced ? png_set_interlace_handling(png) : 1;
    for (int p = 0; p < passes; ++p)
        for (auto* r : rowPtrs)
            png_write_row(png, r);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

PngFacts ReadFacts(const std::vector<uint8_t>& data) {
    PngFacts f;
    MemReader reader{data.data(), data.size(), 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, quietWarning);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        throw std::runtime_error("test PNG could not be read");
    }
    png_set_read_fn(png, &reader, memRead);
    png_read_info(png, info);
    f.width = png_get_image_width(png, info);
    f.height = png_get_image_height(png, info);
    f.bitDepth = png_get_bit_depth(png, info);
    f.colorType = png_get_color_type(png, info);
    f.interlace = png_get_interlace_type(png, info);
    f.hasGamma = png_get_gAMA(png, info, &f.gamma) != 0;
    f.hasPhys = png_get_pHYs(png, info, &f.physX, &f.physY, &f.physUnit) != 0;
    png_colorp pal = nullptr;
    if (png_get_PLTE(png, info, &pal, &f.paletteCount) == 0) f.paletteCount = 0;
    png_destroy_read_struct(&png, &info, nullptr);
    return f;
}

ReferenceImage ReferenceDecode(const std::vector<uint8_t>& data, const uint8_t ownBackground[3],
                               bool useOwnBackground) {
    ReferenceImage ref;
    MemReader reader{data.data(), data.size(), 0};
    std::vector<uint8_t> rgb;
    std::vector<png_bytep> rows;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, quietWarning);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        throw std::runtime_error("libpng refused the file");
    }
    png_set_read_fn(png, &reader, memRead);
    png_read_info(png, info);
    const uint32_t w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    const int depth = png_get_bit_depth(png, info), ct = png_get_color_type(png, info);
    const bool gray = (ct & PNG_COLOR_MASK_COLOR) == 0;
    ref.hasAlpha = (ct & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS);

    // Everything expanded to 8-bit RGB, so the picture can be compared
    // whatever format the codec chose.
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);

    int intent = 0;
    double fileGamma = 0;
    if (!png_get_sRGB(png, info, &intent) && png_get_gAMA(png, info, &fileGamma) && fileGamma > 0 &&
        depth > 2) {
        ref.gammaCorrected = true;
        png_set_gamma(png, 2.2, fileGamma);
    }
    png_color_16p fileBg = nullptr;
    if (!png_get_bKGD(png, info, &fileBg) || useOwnBackground) {
        png_color_16 bg{};
        bg.red = ownBackground[0];
        bg.green = ownBackground[1];
        bg.blue = ownBackground[2];
        if (gray) {
            // Gray pictures go over the background's gray level, at the
            // depth of their samples.
            int level =
                (ownBackground[0] * 299 + ownBackground[1] * 587 + ownBackground[2] * 114 + 500) /
                1000;
            if (depth < 8) {
                const int m = (1 << depth) - 1;
                level = (level * m + 127) / 255 * 255 / m;
            }
            bg.red = bg.green = bg.blue = bg.gray = png_uint_16(level);
        }
        png_set_background(png, &bg, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
    } else {
        png_set_background(png, fileBg, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    rgb.assign(size_t(w) * h * 3, 0);
    rows.resize(h);
    for (uint32_t y = 0; y < h; ++y)
        rows[y] = rgb.data() + size_t(y) * w * 3;
    png_read_image(png, rows.data());
    png_destroy_read_struct(&png, &info, nullptr);

    ref.width = w;
    ref.height = h;
    ref.rgb = std::move(rgb);
    return ref;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

} // namespace pngtest
