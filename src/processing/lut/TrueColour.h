#pragma once
// The one check every pixel pass of this folder makes before touching a bitmap.

#include "codecs/model/Bitmap.h"

namespace lumara {

// Raises EInvalidGraphic naming the caller when the bitmap holds pixels that
// are not 24-bit; an empty bitmap passes (there is nothing to do).
void RequireTrueColour(const Bitmap& bitmap, const char* caller);

// Pixels in the bitmap (0 when empty), as the threading threshold counts them.
inline int64_t PixelCount(const Bitmap& bitmap) {
    return bitmap.Empty() ? 0 : int64_t{bitmap.Width()} * bitmap.Height();
}

} // namespace lumara
