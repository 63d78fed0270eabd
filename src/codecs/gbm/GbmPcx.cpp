// The ZSoft PCX handler of the generalised bitmap layer: versions 0-3 and 5,
// run-length coded, 1 bit (one plane), 4 bits (four 1-bit planes or one 4-bit
// plane), 8 bits (with the 769-byte palette trailer) and 24 bits (three 8-bit
// planes per row, red, green, blue, or four with an alpha plane, read as 24 bits).

#include "Gbm.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace lumara::gbm {

namespace {

constexpr size_t kHeaderSize = 128;
constexpr size_t kTrailerSize = 769;
constexpr uint8_t kTrailerMark = 12;
constexpr int kLongestRun = 63;

int luminance(const GbmRgb& c) {
    return 30 * c.r + 60 * c.g + 10 * c.b;
}

void readHeader(GbmSource& source, Gbm& gbm, const std::string&) {
    source.At(0, kHeaderSize);
    if (source.U8At(0) != 10) throw GbmFailure("not a PCX file");
    const int version = source.U8At(1);
    if (version == 4 || version > 5) throw GbmFailure("unsupported PCX version");
    if (source.U8At(2) != 1) throw GbmFailure("unsupported PCX encoding");
    const int bitsPerPlane = source.U8At(3);
    const int width = int(source.U16At(8)) - int(source.U16At(4)) + 1;
    const int height = int(source.U16At(10)) - int(source.U16At(6)) + 1;
    const int planes = source.U8At(65);
    const int bytesPerLine = source.U16At(66);
    if (width < 1 || height < 1) throw GbmFailure("bad picture size");

    int bpp;
    if (bitsPerPlane == 1 && planes == 1)
        bpp = 1;
    else if (bitsPerPlane == 1 && planes == 4)
        bpp = 4;
    else if (bitsPerPlane == 4 && planes == 1)
        bpp = 4;
    else if (bitsPerPlane == 8 && planes == 1)
        bpp = 8;
    else if (bitsPerPlane == 8 && planes == 3)
        bpp = 24;
    else if (bitsPerPlane == 8 && planes == 4)
        bpp = 24; // red, green, blue and an alpha plane, which is not shown
    else
        throw GbmFailure("unsupported planes and bits");
    if (bytesPerLine < (width * bitsPerPlane + 7) / 8)
        throw GbmFailure("plane lines shorter than the picture");

    size_t dataEnd = source.Size();
    if (bpp == 8) {
        if (dataEnd < kHeaderSize + kTrailerSize) throw GbmFailure("palette trailer missing");
        dataEnd -= kTrailerSize;
    }
    // A byte pair codes at most 63 bytes, so the data bounds what it can describe.
    const uint64_t decoded = uint64_t(bytesPerLine) * uint64_t(planes) * uint64_t(height);
    const uint64_t coded = dataEnd - kHeaderSize;
    if (decoded > coded * kLongestRun / 2 + kLongestRun)
        throw GbmFailure("picture too large for its data");

    gbm.w = width;
    gbm.h = height;
    gbm.bpp = bpp;
    gbm.pcx = GbmPcxPrivate{version, bitsPerPlane, planes, bytesPerLine, dataEnd};
}

void readPalette(GbmSource& source, Gbm& gbm, GbmPalette& palette) {
    palette.fill(GbmRgb{});
    switch (gbm.bpp) {
    case 1:
        palette[1] = GbmRgb{255, 255, 255};
        break;
    case 4: {
        const uint8_t* p = source.At(16, 48);
        for (size_t i = 0; i < 16; ++i, p += 3)
            palette[i] = GbmRgb{p[0], p[1], p[2]};
        break;
    }
    case 8: {
        if (source.U8At(gbm.pcx.dataEnd) != kTrailerMark)
            throw GbmFailure("palette trailer missing");
        const uint8_t* p = source.At(gbm.pcx.dataEnd + 1, 768);
        for (size_t i = 0; i < 256; ++i, p += 3)
            palette[i] = GbmRgb{p[0], p[1], p[2]};
        break;
    }
    default:
        break;
    }
}

void readData(GbmSource& source, Gbm& gbm, uint8_t* bits, size_t stride) {
    const GbmPcxPrivate& pcx = gbm.pcx;
    const size_t bpl = size_t(pcx.bytesPerLine);
    const size_t lineBytes = bpl * size_t(pcx.planes);
    const size_t used = (size_t(gbm.w) * size_t(gbm.bpp) + 7) / 8;
    if (used > stride) throw GbmFailure("row size mismatch");
    std::vector<uint8_t> line(lineBytes);
    const uint8_t* p = source.At(kHeaderSize, pcx.dataEnd - kHeaderSize);
    const uint8_t* const end = p + (pcx.dataEnd - kHeaderSize);
    int runLeft = 0; // a run may carry on into the next line
    uint8_t runValue = 0;

    for (int y = 0; y < gbm.h; ++y) {
        size_t i = 0;
        while (i < lineBytes) {
            if (runLeft > 0) {
                const size_t n = std::min(size_t(runLeft), lineBytes - i);
                std::memset(line.data() + i, runValue, n);
                i += n;
                runLeft -= int(n);
                continue;
            }
            while (i < lineBytes && p < end && *p < 192) // literal bytes
                line[i++] = *p++;
            if (i == lineBytes) break;
            if (end - p < 2) throw GbmFailure("PCX data truncated");
            runLeft = p[0] & 63;
            runValue = p[1];
            p += 2;
        }

        uint8_t* dst = bits + size_t(gbm.h - 1 - y) * stride;
        std::memset(dst, 0, stride);
        const uint8_t* src = line.data();
        if (pcx.planes == 1) {
            std::memcpy(dst, src, used);
        } else if (gbm.bpp == 4) {
            for (int x = 0; x < gbm.w; ++x) {
                const size_t at = size_t(x) >> 3;
                const int shift = 7 - (x & 7);
                const int v = ((src[at] >> shift) & 1) | (((src[bpl + at] >> shift) & 1) << 1) |
                              (((src[2 * bpl + at] >> shift) & 1) << 2) |
                              (((src[3 * bpl + at] >> shift) & 1) << 3);
                dst[x >> 1] |= uint8_t((x & 1) ? v : v << 4);
            }
        } else {
            const uint8_t* r = src;
            const uint8_t* g = src + bpl;
            const uint8_t* b = src + 2 * bpl;
            for (int x = 0; x < gbm.w; ++x, dst += 3) {
                dst[0] = b[x];
                dst[1] = g[x];
                dst[2] = r[x];
            }
        }
    }
    source.Seek(size_t(p - source.Data()));
}

size_t encodeLine(const uint8_t* s, size_t n, uint8_t* out) {
    uint8_t* o = out;
    size_t i = 0;
    while (i < n) {
        const uint8_t v = s[i];
        size_t run = 1;
        while (i + run < n && run < size_t(kLongestRun) && s[i + run] == v)
            ++run;
        if (run > 1 || v >= 192) *o++ = uint8_t(192 + run);
        *o++ = v;
        i += run;
    }
    return size_t(o - out);
}

void put16(uint8_t* p, int v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void write(TStream& stream, const Gbm& gbm, const GbmPalette& palette, const uint8_t* bits,
           size_t stride, const std::string&) {
    if (gbm.bpp != 1 && gbm.bpp != 4 && gbm.bpp != 8 && gbm.bpp != 24)
        throw GbmFailure("unsupported bit count");
    // The window corners are 16-bit numbers.
    if (gbm.w < 1 || gbm.h < 1 || gbm.w > 65536 || gbm.h > 65536)
        throw GbmFailure("picture too large for PCX");
    if (stride != GbmStride(gbm.w, gbm.bpp)) throw GbmFailure("row size mismatch");
    const int bitsPerPlane = gbm.bpp == 24 ? 8 : gbm.bpp;
    const int planes = gbm.bpp == 24 ? 3 : 1;
    size_t bpl = (size_t(bitsPerPlane) * size_t(gbm.w) + 7) / 8;
    bpl += bpl & 1;
    if (bpl > 65535) throw GbmFailure("picture too large for PCX");

    uint8_t header[kHeaderSize] = {};
    header[0] = 10;
    header[1] = 5;
    header[2] = 1;
    header[3] = uint8_t(bitsPerPlane);
    put16(header + 8, gbm.w - 1);
    put16(header + 10, gbm.h - 1);
    if (gbm.bpp == 4)
        for (size_t i = 0; i < 16; ++i) {
            header[16 + 3 * i] = palette[i].r;
            header[17 + 3 * i] = palette[i].g;
            header[18 + 3 * i] = palette[i].b;
        }
    header[65] = uint8_t(planes);
    put16(header + 66, int(bpl));
    put16(header + 68, 1);
    stream.WriteBuffer(header, sizeof header);

    // Set bits always mean the lighter colour of a 1-bit picture.
    const bool invert = gbm.bpp == 1 && luminance(palette[1]) < luminance(palette[0]);
    std::vector<uint8_t> line(bpl, 0);
    std::vector<uint8_t> coded(2 * bpl * size_t(planes));
    for (int y = 0; y < gbm.h; ++y) {
        const uint8_t* row = bits + size_t(gbm.h - 1 - y) * stride;
        size_t n = 0;
        if (gbm.bpp == 24) {
            for (int c = 0; c < 3; ++c) {
                const uint8_t* s = row + (2 - c); // red, green, blue planes
                for (int x = 0; x < gbm.w; ++x, s += 3)
                    line[size_t(x)] = *s;
                n += encodeLine(line.data(), bpl, coded.data() + n);
            }
        } else if (invert) {
            for (size_t i = 0; i < bpl; ++i)
                line[i] = uint8_t(~row[i]);
            n = encodeLine(line.data(), bpl, coded.data());
        } else {
            n = encodeLine(row, bpl, coded.data());
        }
        stream.WriteBuffer(coded.data(), n);
    }

    if (gbm.bpp == 8) {
        uint8_t trailer[kTrailerSize];
        trailer[0] = kTrailerMark;
        for (size_t i = 0; i < 256; ++i) {
            trailer[1 + 3 * i] = palette[i].r;
            trailer[2 + 3 * i] = palette[i].g;
            trailer[3 + 3 * i] = palette[i].b;
        }
        stream.WriteBuffer(trailer, sizeof trailer);
    }
}

} // namespace

const GbmFormat kGbmPcxFormat = {"ZSoft PC Paintbrush", "PCX PCC ", readHeader,
                                 readPalette,           readData,   write};

} // namespace lumara::gbm
