#pragma once
// The generalised bitmap layer behind the BMP, PCX and TGA codecs: one header
// reader, palette reader, data reader and writer per file format, all working
// on memory with bounds-checked reads. Pixel data is exchanged in the image
// model's layout: rows bottom-up, each padded to 4 bytes, true colour stored
// blue, green, red.

#include "codecs/model/Stream.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace lumara::gbm {

// Raised inside the layer; the bridge turns it into its own fixed messages.
class GbmFailure : public std::runtime_error {
  public:
    explicit GbmFailure(const std::string& reason) : std::runtime_error(reason) {}
};

struct GbmRgb {
    uint8_t r = 0, g = 0, b = 0;
};
using GbmPalette = std::array<GbmRgb, 256>;

// What a header reader leaves for its palette and data readers.
struct GbmBmpPrivate {
    uint32_t headerSize = 0;
    uint32_t compression = 0;
    uint32_t dataOffset = 0;
    uint32_t paletteOffset = 0;
    int paletteEntrySize = 4;
    int paletteCount = 0; // entries present in the file (at most 2^bits)
    bool topDown = false;
    bool invertMono = false;          // the "inv" option decided to swap a 1-bit picture
    uint32_t masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha for 16 and 32 bits
};

struct GbmPcxPrivate {
    int version = 0;
    int bitsPerPlane = 0;
    int planes = 0;
    int bytesPerLine = 0;
    size_t dataEnd = 0; // the 8-bit palette trailer starts here
};

struct GbmTgaPrivate {
    int imageType = 0;
    int depth = 0;
    bool topFirst = false;
    int mapFirst = 0;
    int mapLength = 0;
    size_t mapOffset = 0;
    size_t dataOffset = 0;
};

// The header record: size and depth, then each format's private area.
struct Gbm {
    int w = 0;
    int h = 0;
    int bpp = 0;
    GbmBmpPrivate bmp;
    GbmPcxPrivate pcx;
    GbmTgaPrivate tga;
};

// A bounded view of the bytes to decode. Every read checks the end and raises
// GbmFailure instead of running past it.
class GbmSource {
  public:
    GbmSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t Size() const { return size_; }
    size_t Position() const { return pos_; }
    size_t Remaining() const { return size_ - pos_; }
    const uint8_t* Data() const { return data_; }

    void Seek(size_t pos) {
        if (pos > size_) throw GbmFailure("seek past the end of the data");
        pos_ = pos;
    }
    void Skip(size_t count) { Seek(Need(count) + count); }
    // Returns the current position after checking that count bytes follow.
    size_t Need(size_t count) const {
        if (count > size_ - pos_) throw GbmFailure("unexpected end of data");
        return pos_;
    }
    const uint8_t* Take(size_t count) {
        const size_t at = Need(count);
        pos_ += count;
        return data_ + at;
    }
    uint8_t U8() { return *Take(1); }
    uint16_t U16() {
        const uint8_t* p = Take(2);
        return uint16_t(p[0] | (p[1] << 8));
    }
    uint32_t U32() {
        const uint8_t* p = Take(4);
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
               (uint32_t(p[3]) << 24);
    }
    // Little-endian values at an absolute offset, for header fields.
    uint8_t U8At(size_t at) const { return *At(at, 1); }
    uint16_t U16At(size_t at) const {
        const uint8_t* p = At(at, 2);
        return uint16_t(p[0] | (p[1] << 8));
    }
    uint32_t U32At(size_t at) const {
        const uint8_t* p = At(at, 4);
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
               (uint32_t(p[3]) << 24);
    }
    const uint8_t* At(size_t at, size_t count) const {
        if (at > size_ || count > size_ - at) throw GbmFailure("unexpected end of data");
        return data_ + at;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Row bytes of a picture in the exchanged layout, or 0 when it would not fit.
size_t GbmStride(int width, int bpp);

// True when an option word occurs in the option text (words separated by
// blanks or commas, compared without case).
bool GbmHasOption(const std::string& options, const char* word);

struct GbmFormat {
    const char* name;
    // Extensions this handler recognises, upper case, each followed by a blank.
    const char* extensions;
    void (*readHeader)(GbmSource& source, Gbm& gbm, const std::string& options);
    void (*readPalette)(GbmSource& source, Gbm& gbm, GbmPalette& palette);
    // Fills stride × height bytes at bits.
    void (*readData)(GbmSource& source, Gbm& gbm, uint8_t* bits, size_t stride);
    void (*write)(TStream& stream, const Gbm& gbm, const GbmPalette& palette, const uint8_t* bits,
                  size_t stride, const std::string& options);
};

// The handler for a file name, chosen by its extension; nullptr when none knows it.
const GbmFormat* GbmGuessFiletype(const std::string& name);

// The handlers.
extern const GbmFormat kGbmBmpFormat;
extern const GbmFormat kGbmPcxFormat;
extern const GbmFormat kGbmTgaFormat;

} // namespace lumara::gbm
