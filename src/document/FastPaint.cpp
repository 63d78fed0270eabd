#include "FastPaint.h"

namespace lumara {

namespace {

// Grows [start, start + size) to a whole multiple of k, to the right/down when
// that stays inside limit, else to the left/up when there is room, so enlarged
// pixels stay aligned with the grid of the scale.
void widen(int& start, int& size, int k, int limit)
{
    const int r = size % k;
    if (r == 0) return;
    const int grow = k - r;
    if (start + size + grow < limit) {
        size += grow;
    } else if (grow < start) {
        size += grow;
        start -= grow;
    }
}

} // namespace

FastCopyPlan PlanFastScaledCopy(int bw, int bh, int cw, int ch, TRect clip, bool oneBit)
{
    FastCopyPlan plan;
    int left = clip.Left, top = clip.Top, w = clip.Width(), h = clip.Height();
    if (bh == ch) {
        plan.kind = FastCopyPlan::Kind::OneToOne;
        plan.clip = clip;
        plan.source = clip;
        return plan;
    }
    if (bh < ch) {
        plan.kind = FastCopyPlan::Kind::Enlarge;
        if (bh != 0) {
            const int k = ch / bh;
            if (k >= 2) {
                widen(left, w, k, cw);
                widen(top, h, k, ch);
            }
        }
    } else {
        plan.kind = oneBit ? FastCopyPlan::Kind::ReduceWhole : FastCopyPlan::Kind::ReduceByRows;
    }
    plan.clip = {left, top, left + w, top + h};
    const int sl = MulDiv(left, bw, cw), st = MulDiv(top, bh, ch);
    plan.source = {sl, st, sl + MulDiv(w, bw, cw), st + MulDiv(h, bh, ch)};
    return plan;
}

int SourceRowForDestRow(int y, int bh, int ch)
{
    const int row = MulDiv(y, bh, ch);
    return row >= bh ? bh - 1 : (row < 0 ? 0 : row);
}

TRect StandardDrawRect(int cw, int ch, int bw, int bh, bool stretch, bool center)
{
    if (stretch) return {0, 0, cw, ch};
    if (center) {
        const int left = (cw - bw) / 2, top = (ch - bh) / 2; // C++ division rounds toward zero
        return {left, top, left + bw, top + bh};
    }
    return {0, 0, bw, bh};
}

} // namespace lumara
