#pragma once
// The pixel surface: a widget that paints a surface bitmap scaled to its own
// size. The main window's Sky95 shows the document's bitmap; the preview panes
// of the filter dialog own theirs.

#include "codecs/model/Bitmap.h"

#include <QWidget>

#include <functional>

namespace lumara {

class TPix : public QWidget {
    Q_OBJECT
public:
    explicit TPix(QWidget* parent = nullptr);

    // The bitmap painted: the widget's own, or one bound from outside.
    Bitmap& GetBitmap() { return *bitmap_; }
    const Bitmap& GetBitmap() const { return *bitmap_; }
    // Assigning copies into the bitmap in use.
    void SetBitmap(const Bitmap& bitmap);
    // Paints external (not owned) from now on; nullptr goes back to the own bitmap.
    void BindBitmap(Bitmap* external);

    bool AutoSize = false; // stored only
    bool Stretch = false;
    bool Center = false;
    bool FastPaint = false;

    void SuspendPainting(bool suspended) { paintSuspended_ = suspended; }
    bool PaintSuspended() const { return paintSuspended_; }
    bool Painting() const { return painting_; }
    // How many paints actually drew (for tests of suspension).
    int PaintCount() const { return paintCount_; }
    // Called after each paint that drew the bitmap.
    std::function<void()> onPainted;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Paint(QPainter& painter, const QRect& clip);
    void FastScaledCopy(QPainter& painter, const QRect& clip);
    void StandardDraw(QPainter& painter);

    Bitmap own_;
    Bitmap* bitmap_ = &own_;
    bool paintSuspended_ = false;
    bool painting_ = false;
    int paintCount_ = 0;
};

} // namespace lumara
