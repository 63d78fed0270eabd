#include "DibTypes.h"

#include <cmath>
#include <cstring>

namespace lumara {

namespace {

void put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

uint16_t get16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}

uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Round to nearest, ties to even, saturating at the ends of int32.
int32_t roundEven(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return int32_t(-2147483647 - 1);
    return int32_t(std::nearbyint(v)); // the default rounding mode is to nearest, ties to even
}

} // namespace

void BitmapInfoHeader::WriteTo(uint8_t* p) const {
    put32(p + 0, biSize);
    put32(p + 4, uint32_t(biWidth));
    put32(p + 8, uint32_t(biHeight));
    put16(p + 12, biPlanes);
    put16(p + 14, biBitCount);
    put32(p + 16, biCompression);
    put32(p + 20, biSizeImage);
    put32(p + 24, uint32_t(biXPelsPerMeter));
    put32(p + 28, uint32_t(biYPelsPerMeter));
    put32(p + 32, biClrUsed);
    put32(p + 36, biClrImportant);
}

BitmapInfoHeader BitmapInfoHeader::ReadFrom(const uint8_t* p) {
    BitmapInfoHeader h;
    h.biSize = get32(p + 0);
    h.biWidth = int32_t(get32(p + 4));
    h.biHeight = int32_t(get32(p + 8));
    h.biPlanes = get16(p + 12);
    h.biBitCount = get16(p + 14);
    h.biCompression = get32(p + 16);
    h.biSizeImage = get32(p + 20);
    h.biXPelsPerMeter = int32_t(get32(p + 24));
    h.biYPelsPerMeter = int32_t(get32(p + 28));
    h.biClrUsed = get32(p + 32);
    h.biClrImportant = get32(p + 36);
    return h;
}

int32_t DpiToPelsPerMeter(int dpi) {
    return roundEven(double(dpi) * 39.370078740157480317);
}

int PelsPerMeterToDpi(int32_t pelsPerMeter) {
    return roundEven(double(pelsPerMeter) * 0.0254);
}

} // namespace lumara
