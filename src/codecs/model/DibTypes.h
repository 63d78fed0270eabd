#pragma once
// The device-independent bitmap records the codecs and the imaging library
// exchange, read and written field by field in little-endian order.

#include <array>
#include <cstdint>
#include <vector>

namespace lumara {

struct BitmapInfoHeader {
    static constexpr uint32_t kSize = 40;
    uint32_t biSize = kSize;
    int32_t biWidth = 0;
    int32_t biHeight = 0; // > 0: rows bottom-up
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;

    void WriteTo(uint8_t* p) const;           // 40 bytes
    static BitmapInfoHeader ReadFrom(const uint8_t* p); // 40 bytes
};

// A palette in LOGPALETTE shape: entries as 0x00RRGGBB, which read as the
// little-endian bytes blue, green, red, 0 of a colour table.
struct TPaletteRecord {
    uint16_t version = 0x300;
    uint16_t count = 0;
    std::array<uint32_t, 256> entries{};
};

// A packed bitmap: a 40-byte header, the colour table (4 bytes an entry), then
// the rows bottom-up, each padded to 4 bytes. What ImgFromDIB takes.
using PackedDib = std::vector<uint8_t>;

// Resolution rules: pixels per metre from dots per inch and back, rounding to
// nearest with ties to even.
int32_t DpiToPelsPerMeter(int dpi);
int PelsPerMeterToDpi(int32_t pelsPerMeter);

} // namespace lumara
