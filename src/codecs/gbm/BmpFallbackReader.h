#pragma once
// The second bitmap reader of TBmpGraphic, for the kinds the generalised
// bitmap layer leaves out: 2-bit pictures (read as 4 bits), 16- and 32-bit
// pictures with or without colour masks (read as true colour), the later
// info headers and top-down rows.

#include "codecs/model/TDibGraphic.h"

#include <cstddef>
#include <cstdint>

namespace lumara {

// Decodes a whole bitmap file into image. A malformed or unsupported file
// raises EInvalidGraphic "Bitmap image is not valid: <reason>" and leaves the
// image empty.
void ReadBmpFallback(const uint8_t* data, size_t size, TDibGraphic& image);

} // namespace lumara
