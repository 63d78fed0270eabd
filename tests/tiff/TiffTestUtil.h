#pragma once
// TIFF files made with plain libtiff calls for the codec's tests, and
// libtiff's own RGBA decode of a file for comparison.

#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace tifftest {

inline std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

// Unique per process: ctest runs the tests of this program side by side.
inline std::string tempPath(const char* name) {
    return (std::filesystem::temp_directory_path() /
            ("lumara_tiff_test_" + std::to_string(::getpid()) + "_" + name))
        .string();
}

inline int quiet(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

// Opens with libtiff's messages kept quiet for this handle only, so the
// tests can still see whether the codec lets anything reach the terminal.
inline TIFF* openQuiet(const std::string& path, const char* mode) {
    TIFFOpenOptions* o = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(o, quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(o, quiet, nullptr);
    TIFF* t = TIFFOpenExt(path.c_str(), mode, o);
    TIFFOpenOptionsFree(o);
    return t;
}

// Runs body on a fresh file opened with libtiff in mode, then returns its
// bytes (for "w") or nothing.
inline std::vector<uint8_t> makeTiff(const std::function<void(TIFF*)>& body) {
    const std::string path = tempPath("make.tif");
    TIFF* t = openQuiet(path, "w");
    body(t);
    TIFFClose(t);
    auto data = readFile(path);
    std::filesystem::remove(path);
    return data;
}

struct Layout {
    uint32_t width = 8, height = 4;
    uint16_t bps = 8, spp = 1, photometric = PHOTOMETRIC_MINISBLACK, compression = COMPRESSION_NONE;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint32_t rowsPerStrip = 2;
    uint32_t tile = 0;              // tile size when tiled
    std::vector<uint16_t> colormap; // r..., g..., b... (3 x 2^bps)
    float xres = 0, yres = 0;
    uint16_t resUnit = 0;
    uint32_t group3Options = 0;
};

// One page of the given layout; rows[y] holds the raw scanline (contiguous)
// or, when tiled, the whole picture is cut into tiles from rows.
inline void writePage(TIFF* t, const Layout& l, const std::vector<std::vector<uint8_t>>& rows) {
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, l.width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, l.height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, l.bps);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, l.spp);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, l.photometric);
    TIFFSetField(t, TIFFTAG_COMPRESSION, l.compression);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, l.planar);
    if (l.compression == COMPRESSION_CCITTFAX3)
        TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, l.group3Options);
    if (l.compression == COMPRESSION_JPEG && l.photometric == PHOTOMETRIC_YCBCR)
        TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    if (!l.colormap.empty()) {
        const size_t n = l.colormap.size() / 3;
        TIFFSetField(t, TIFFTAG_COLORMAP, l.colormap.data(), l.colormap.data() + n,
                     l.colormap.data() + 2 * n);
    }
    if (l.xres > 0) TIFFSetField(t, TIFFTAG_XRESOLUTION, l.xres);
    if (l.yres > 0) TIFFSetField(t, TIFFTAG_YRESOLUTION, l.yres);
    if (l.resUnit) TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, l.resUnit);
    if (l.tile) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, l.tile);
        TIFFSetField(t, TIFFTAG_TILELENGTH, l.tile);
        const size_t bytesPerPixel = size_t(l.bps) * l.spp / 8;
        std::vector<uint8_t> tile(size_t(TIFFTileSize(t)), 0);
        for (uint32_t ty = 0; ty < l.height; ty += l.tile)
            for (uint32_t tx = 0; tx < l.width; tx += l.tile) {
                std::fill(tile.begin(), tile.end(), 0);
                for (uint32_t y = 0; y < l.tile && ty + y < l.height; ++y)
                    for (uint32_t x = 0; x < l.tile && tx + x < l.width; ++x)
                        for (size_t b = 0; b < bytesPerPixel; ++b)
                            tile[(y * l.tile + x) * bytesPerPixel + b] =
                                rows[ty + y][(tx + x) * bytesPerPixel + b];
                TIFFWriteTile(t, tile.data(), tx, ty, 0, 0);
            }
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, l.rowsPerStrip);
        for (uint32_t y = 0; y < l.height; ++y)
            TIFFWriteScanline(t, const_cast<uint8_t*>(rows[y].data()), y, 0);
    }
    TIFFWriteDirectory(t);
}

inline std::vector<uint8_t> makePage(const Layout& l,
                                     const std::vector<std::vector<uint8_t>>& rows) {
    return makeTiff([&](TIFF* t) { writePage(t, l, rows); });
}

// libtiff's RGBA picture of page 1, top row first, as 0x00RRGGBB; empty when
// libtiff cannot read it.
inline std::vector<uint32_t> libtiffRgba(const std::vector<uint8_t>& data, uint32_t& w,
                                         uint32_t& h) {
    const std::string path = tempPath("ref.tif");
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    }
    std::vector<uint32_t> out;
    TIFF* t = openQuiet(path, "r");
    if (t) {
        TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
        std::vector<uint32_t> raster(size_t(w) * h);
        if (TIFFReadRGBAImageOriented(t, w, h, raster.data(), ORIENTATION_TOPLEFT, 1)) {
            out.resize(raster.size());
            for (size_t i = 0; i < raster.size(); ++i)
                out[i] =
                    (TIFFGetR(raster[i]) << 16) | (TIFFGetG(raster[i]) << 8) | TIFFGetB(raster[i]);
        }
        TIFFClose(t);
    }
    std::filesystem::remove(path);
    return out;
}

// Tag values of page 1, read with libtiff.
struct Tags {
    uint16_t photometric = 0, compression = 0, bps = 0, spp = 0;
    uint32_t rowsPerStrip = 0, group3Options = 0;
    std::vector<uint16_t> red, green, blue;
    std::string software, dateTime;
    std::vector<std::vector<uint8_t>> scanlines;
};

inline Tags readTags(const std::vector<uint8_t>& data) {
    const std::string path = tempPath("tags.tif");
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    }
    Tags tags;
    TIFF* t = openQuiet(path, "r");
    if (t) {
        TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &tags.photometric);
        TIFFGetField(t, TIFFTAG_COMPRESSION, &tags.compression);
        TIFFGetField(t, TIFFTAG_BITSPERSAMPLE, &tags.bps);
        TIFFGetField(t, TIFFTAG_SAMPLESPERPIXEL, &tags.spp);
        TIFFGetField(t, TIFFTAG_ROWSPERSTRIP, &tags.rowsPerStrip);
        TIFFGetField(t, TIFFTAG_GROUP3OPTIONS, &tags.group3Options);
        uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
        if (TIFFGetField(t, TIFFTAG_COLORMAP, &r, &g, &b)) {
            const size_t n = size_t(1) << tags.bps;
            tags.red.assign(r, r + n);
            tags.green.assign(g, g + n);
            tags.blue.assign(b, b + n);
        }
        char* text = nullptr;
        if (TIFFGetField(t, TIFFTAG_SOFTWARE, &text)) tags.software = text;
        if (TIFFGetField(t, TIFFTAG_DATETIME, &text)) tags.dateTime = text;
        uint32_t h = 0;
        TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
        std::vector<uint8_t> line(size_t(TIFFScanlineSize(t)));
        for (uint32_t y = 0; y < h; ++y) {
            if (TIFFReadScanline(t, line.data(), y, 0) < 0) break;
            tags.scanlines.push_back(line);
        }
        TIFFClose(t);
    }
    std::filesystem::remove(path);
    return tags;
}

} // namespace tifftest
