// The bitmap handler of the generalised bitmap layer: Windows 3.x and OS/2
// 1.x/2.x bitmaps of 1, 4, 8 and 24 bits, uncompressed or run-length coded.
// The header reader also reports the other bit counts (2, 16, 32) so that a
// header probe can describe them; the bridge refuses to decode those.

#include "BmpFormat.h"
#include "Gbm.h"

#include "codecs/model/DibTypes.h"

#include <cstring>

namespace lumara::gbm {

namespace {

int luminance(uint32_t c) {
    return 30 * int((c >> 16) & 255) + 60 * int((c >> 8) & 255) + 10 * int(c & 255);
}

void readHeader(GbmSource& source, Gbm& gbm, const std::string& options) {
    ParseBmpHeader(source, gbm);
    // "inv": a 1-bit picture comes out with its darker colour at index 0,
    // swapping the two entries and inverting the bits when the file has them
    // the other way round; the picture looks the same either way.
    if (gbm.bpp == 1 && GbmHasOption(options, "inv")) {
        uint32_t entries[256];
        ReadBmpColorTable(source, gbm, entries);
        gbm.bmp.invertMono = luminance(entries[0]) > luminance(entries[1]);
    }
}

void readPalette(GbmSource& source, Gbm& gbm, GbmPalette& palette) {
    uint32_t entries[256];
    ReadBmpColorTable(source, gbm, entries);
    if (gbm.bmp.invertMono) std::swap(entries[0], entries[1]);
    for (int i = 0; i < 256; ++i)
        palette[size_t(i)] =
            GbmRgb{uint8_t(entries[i] >> 16), uint8_t(entries[i] >> 8), uint8_t(entries[i])};
}

void readData(GbmSource& source, Gbm& gbm, uint8_t* bits, size_t stride) {
    if (gbm.bpp != 1 && gbm.bpp != 4 && gbm.bpp != 8 && gbm.bpp != 24)
        throw GbmFailure("unsupported bit count");
    DecodeBmpPixels(source, gbm, bits, stride);
    if (gbm.bmp.invertMono) {
        uint8_t* p = bits;
        for (size_t i = 0, n = stride * size_t(gbm.h); i < n; ++i)
            p[i] = uint8_t(~p[i]);
    }
    source.Seek(source.Size());
}

void write(TStream& stream, const Gbm& gbm, const GbmPalette& palette, const uint8_t* bits,
           size_t stride, const std::string&) {
    if (gbm.bpp != 1 && gbm.bpp != 4 && gbm.bpp != 8 && gbm.bpp != 24)
        throw GbmFailure("unsupported bit count");
    if (stride != GbmStride(gbm.w, gbm.bpp) || gbm.h <= 0) throw GbmFailure("bad picture size");
    const int colors = gbm.bpp <= 8 ? 1 << gbm.bpp : 0;
    BitmapInfoHeader header;
    header.biWidth = gbm.w;
    header.biHeight = gbm.h;
    header.biBitCount = uint16_t(gbm.bpp);
    header.biSizeImage = uint32_t(stride * size_t(gbm.h));
    header.biClrUsed = uint32_t(colors);
    uint8_t info[40];
    header.WriteTo(info);
    uint32_t table[256];
    for (int i = 0; i < colors; ++i) {
        const GbmRgb& e = palette[size_t(i)];
        table[i] = (uint32_t(e.r) << 16) | (uint32_t(e.g) << 8) | e.b;
    }
    WriteBmpFile(stream, info, table, colors, bits, stride * size_t(gbm.h));
}

} // namespace

const GbmFormat kGbmBmpFormat = {
    "Bitmap", "BMP VGA BGA RLE DIB RL4 RL8 ", readHeader, readPalette, readData, write};

} // namespace lumara::gbm
