#include "TPix.h"

#include "BitmapImage.h"
#include "document/FastPaint.h"

#include <QPaintEvent>
#include <QPainter>

#include <vector>

namespace lumara {

TPix::TPix(QWidget* parent) : QWidget(parent)
{
    resize(105, 105);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TPix::SetBitmap(const Bitmap& bitmap) { *bitmap_ = bitmap; }

void TPix::BindBitmap(Bitmap* external) { bitmap_ = external ? external : &own_; }

void TPix::paintEvent(QPaintEvent* event)
{
    if (paintSuspended_) return;
    QPainter painter(this);
    Paint(painter, event->rect());
}

void TPix::Paint(QPainter& painter, const QRect& clip)
{
    if (paintSuspended_) return;
    paintSuspended_ = true; // no re-entry while drawing
    const bool wasPainting = painting_;
    painting_ = true;
    if (!bitmap_->Empty()) {
        ++paintCount_;
        if (FastPaint && bitmap_->handleType == HandleType::DIB)
            FastScaledCopy(painter, clip);
        else
            StandardDraw(painter);
    }
    painting_ = wasPainting;
    paintSuspended_ = false;
    if (onPainted && !bitmap_->Empty()) onPainted();
}

void TPix::StandardDraw(QPainter& painter)
{
    const Bitmap& b = *bitmap_;
    const TRect r = StandardDrawRect(width(), height(), b.Width(), b.Height(), Stretch, Center);
    const QRect target(r.Left, r.Top, r.Width(), r.Height());
    // Reductions look right only when filtered; enlargements stay sharp pixels.
    const bool reducing = target.width() < b.Width() || target.height() < b.Height();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, reducing);
    painter.drawImage(target, ImageView(b));
}

void TPix::FastScaledCopy(QPainter& painter, const QRect& clipRect)
{
    const Bitmap& b = *bitmap_;
    const int bw = b.Width(), bh = b.Height(), cw = width(), ch = height();
    const TRect clip{clipRect.left(), clipRect.top(), clipRect.right() + 1, clipRect.bottom() + 1};
    const FastCopyPlan plan = PlanFastScaledCopy(bw, bh, cw, ch, clip, b.Depth() == 1);
    const int w = plan.clip.Width(), h = plan.clip.Height();
    const int sw = plan.source.Width(), sh = plan.source.Height();
    if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0) return;

    // Nearest-pixel copy, as the system's colour-on-colour stretch does: one
    // source column per destination column, one source row per destination row.
    QImage out(w, h, QImage::Format_RGB32);
    std::vector<int> xmap(static_cast<size_t>(w));
    for (int x = 0; x < w; ++x) {
        int sx = plan.source.Left + int(int64_t(x) * sw / w);
        xmap[size_t(x)] = sx < bw ? (sx < 0 ? 0 : sx) : bw - 1;
    }
    const int x0 = xmap.front();
    const int span = xmap.back() - x0 + 1;
    std::vector<uint32_t> row(static_cast<size_t>(span));
    int lastRow = -1;
    for (int y = 0; y < h; ++y) {
        int sy;
        if (plan.kind == FastCopyPlan::Kind::ReduceByRows)
            sy = SourceRowForDestRow(plan.clip.Top + y, bh, ch);
        else
            sy = plan.source.Top + int(int64_t(y) * sh / h);
        if (sy >= bh) sy = bh - 1;
        if (sy != lastRow) {
            RowToArgb(b, sy, x0, span, row.data());
            lastRow = sy;
        }
        auto* d = reinterpret_cast<uint32_t*>(out.scanLine(y));
        for (int x = 0; x < w; ++x) d[x] = row[size_t(xmap[size_t(x)] - x0)];
    }
    painter.drawImage(QPoint(plan.clip.Left, plan.clip.Top), out);
}

} // namespace lumara
