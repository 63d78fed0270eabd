#pragma once
// Windows metafiles (.wmf) drawn into a picture through libwmf; enhanced
// metafiles (.emf) are refused with a message.

#include "codecs/model/Bitmap.h"

#include <cstdint>
#include <string>

namespace lumara {

// The metafile drawn at its own size (at 96 dots per inch; at most 4096
// pixels a side and 8 megapixels) onto background (0x00RRGGBB), as a 24-bit picture. Raises
// EInvalidGraphic with the reason when the file is not a metafile libwmf can
// play.
Bitmap RenderMetafile(const std::string& path, uint32_t background);
Bitmap RenderMetafileData(const uint8_t* data, size_t size, uint32_t background);

} // namespace lumara
