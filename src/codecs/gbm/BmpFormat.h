#pragma once
// Windows and OS/2 bitmap files: header parsing and pixel decoding shared by
// the bitmap handler of the generalised bitmap layer and by the fallback
// reader of TBmpGraphic, plus the writer of the uncompressed layout.

#include "Gbm.h"

#include <cstdint>

namespace lumara::gbm {

// Parses file header and info header (12-byte OS/2 1.x, 16..64-byte OS/2 2.x,
// 40-byte Windows 3.x and the 52/56/108/124-byte later ones) into gbm. Accepts
// 1, 2, 4, 8, 16, 24 and 32 bits with compression none, RLE8, RLE4 and bit
// fields; checks that the file holds the palette and enough data for the size
// it claims. gbm.bpp is the file's bit count.
void ParseBmpHeader(const GbmSource& source, Gbm& gbm);

// The file's colour table as 0x00RRGGBB values; entries beyond
// gbm.bmp.paletteCount are set to 0.
void ReadBmpColorTable(const GbmSource& source, const Gbm& gbm, uint32_t (&entries)[256]);

// Decodes 1-, 2-, 4-, 8- and 24-bit pixels (uncompressed, RLE4 or RLE8) into
// rows bottom-up at the file's own bit count. Pixel indices beyond the colour
// table, runs past the end of a row or of the picture and truncated data
// raise GbmFailure.
void DecodeBmpPixels(const GbmSource& source, const Gbm& gbm, uint8_t* bits, size_t stride);

// Decodes 16- and 32-bit pixels through their colour masks into 24-bit rows
// bottom-up (blue, green, red).
void DecodeBmpMaskedPixels(const GbmSource& source, const Gbm& gbm, uint8_t* bits, size_t stride);

// Writes an uncompressed bitmap: 14-byte file header, the given 40-byte info
// header, colorCount colour-table entries (blue, green, red, 0) and the rows
// as stored. imageSize is stride × height.
void WriteBmpFile(TStream& stream, const uint8_t (&infoHeader)[40], const uint32_t* colors,
                  int colorCount, const uint8_t* bits, size_t imageSize);

} // namespace lumara::gbm
