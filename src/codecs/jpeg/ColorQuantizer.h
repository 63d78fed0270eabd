#pragma once
// Colour reduction of a 24-bit surface for the pictures libjpeg cannot
// quantize itself (CMYK): a median-cut palette chosen for the picture and
// the mapping onto a palette with ordered, Floyd-Steinberg or no dithering.

#include "codecs/model/Bitmap.h"

namespace lumara {

// At most colors entries (fewer when the picture has fewer colours).
Palette MedianCutPalette(const Bitmap& bgr, int colors);

// target becomes an 8-bit bitmap of bgr's size with palette (at most 256
// entries). dither: 0 ordered, 2 none, anything else Floyd-Steinberg.
void MapToPalette(const Bitmap& bgr, Bitmap& target, const Palette& palette, int dither);

} // namespace lumara
