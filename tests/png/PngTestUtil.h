#pragma once
// Small PNG files made with plain libpng calls, and libpng's own decode of a
// file to 8-bit RGBA, for checking the codec against the library.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pngtest {

struct PngSpec {
    uint32_t width = 1;
    uint32_t height = 1;
    int bitDepth = 8;
    int colorType = 0;
    bool interlaced = false;
    // Rows as libpng takes them (packed samples, big-endian 16-bit).
    std::vector<std::vector<uint8_t>> rows;
    std::vector<uint8_t> plte;      // r,g,b triples
    std::vector<uint8_t> trnsAlpha; // palette alpha
    std::optional<uint16_t> trnsGray;
    std::optional<double> gamma;
    std::optional<int> srgbIntent;
    // bKGD in the file's own terms: index, gray, or r/g/b.
    std::optional<uint16_t> bkgdIndex, bkgdGray;
    std::optional<std::vector<uint16_t>> bkgdRgb;
    std::optional<std::pair<uint32_t, uint32_t>> physMetre;
};

std::vector<uint8_t> EncodePng(const PngSpec& spec);

// A file's chunks of interest, read with libpng.
struct PngFacts {
    int bitDepth = 0, colorType = 0, interlace = 0;
    uint32_t width = 0, height = 0;
    bool hasGamma = false;
    double gamma = 0;
    bool hasPhys = false;
    uint32_t physX = 0, physY = 0;
    int physUnit = 0;
    int paletteCount = 0;
};
PngFacts ReadFacts(const std::vector<uint8_t>& data);

// libpng's decode to RGB, composed over a background in the same way the
// codec promises: gamma corrected to 2.2 when the file states gAMA (not
// sRGB, depth above 2), transparency over the file's bKGD unless
// useOwnBackground or none exists, otherwise over ownBackground (r,g,b);
// gray pictures over the background's gray level.
struct ReferenceImage {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgb; // 3 bytes a pixel
    bool hasAlpha = false;    // alpha channel or tRNS
    bool gammaCorrected = false;
};
ReferenceImage ReferenceDecode(const std::vector<uint8_t>& data, const uint8_t ownBackground[3],
                               bool useOwnBackground);

std::vector<uint8_t> ReadFile(const std::string& path);

} // namespace pngtest
