#pragma once
// QImage views of surface bitmaps for painting.

#include "codecs/model/Bitmap.h"

#include <QImage>

namespace lumara {

// A QImage over the bitmap's memory where Qt has a matching format (1, 8 and
// 24 bits; no copy, valid while the bitmap is unchanged), otherwise a converted
// copy (4 bits).
QImage ImageView(const Bitmap& bitmap);

// Colours of source pixels [x0, x0 + count) of row y as 0xFFRRGGBB.
void RowToArgb(const Bitmap& bitmap, int y, int x0, int count, uint32_t* out);

} // namespace lumara
