#pragma once
// The fast scaled copy of a surface: which part of the bitmap to copy onto a
// clip rectangle of a control that shows the whole bitmap stretched.

#include "codecs/model/Geometry.h"

namespace lumara {

struct FastCopyPlan {
    enum class Kind { OneToOne, Enlarge, ReduceByRows, ReduceWhole } kind = Kind::OneToOne;
    TRect clip;   // destination, in control pixels (right/bottom exclusive)
    TRect source; // bitmap pixels (right/bottom exclusive)
};

// bw, bh: bitmap size; cw, ch: control size; clip: the rectangle to redraw.
FastCopyPlan PlanFastScaledCopy(int bw, int bh, int cw, int ch, TRect clip, bool oneBit);

// Source row for destination row y when reducing one row per row.
int SourceRowForDestRow(int y, int bh, int ch);

// Destination rectangle of the standard draw.
TRect StandardDrawRect(int controlWidth, int controlHeight, int bitmapWidth, int bitmapHeight,
                       bool stretch, bool center);

} // namespace lumara
