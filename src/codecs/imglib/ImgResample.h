#pragma once
// The scaling kernels behind ImgCopy, usable on any surface bitmap. Each
// takes a non-empty rectangle inside src (right and bottom exclusive) and a
// target size of at least 1 by 1, and splits its rows over `threads`.

#include "codecs/model/Bitmap.h"
#include "codecs/model/Geometry.h"

namespace lumara {

enum class ResampleKind {
    Smooth, // Catmull-Rom cubic when enlarging, area averaging when reducing
    Fast,   // linear when enlarging, area averaging when reducing
};

// Pixel replication / nearest pixel; keeps the depth and the palette.
Bitmap ScaleNearest(const Bitmap& src, const TRect& rect, int width, int height, int threads);

// A separable filter per axis (identity on an axis whose size is unchanged);
// the result is 24-bit whatever the source depth.
Bitmap ScaleFiltered(const Bitmap& src, const TRect& rect, int width, int height, ResampleKind kind,
                     int threads);

// For 1-bit images: reducing, a target pixel takes the kept colour (the darker
// or the lighter palette entry) when any source pixel it covers has it, so
// thin lines survive; enlarging replicates. The result is 1-bit with the
// source palette.
Bitmap ScaleBilevel(const Bitmap& src, const TRect& rect, int width, int height, bool keepDark,
                    int threads);

// Inner-loop steps of a ScaleFiltered call, for choosing the thread count.
int64_t FilteredWork(int srcWidth, int srcHeight, int width, int height);

} // namespace lumara
