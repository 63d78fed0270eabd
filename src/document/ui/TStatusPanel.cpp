#include "TStatusPanel.h"

#include <QPaintEvent>
#include <QPainter>

namespace lumara {

TStatusPanel::TStatusPanel(QWidget* parent) : QLabel(parent) {
    setFrameShape(QFrame::StyledPanel);
    setMinimumWidth(110);
}

QColor TStatusPanel::TroughColor() const {
    return palette().color(QPalette::Midlight);
}

QColor TStatusPanel::BarColor() const {
    return palette().color(QPalette::Highlight);
}

void TStatusPanel::StartProgress() {
    steps_.Start();
    inProgress_ = true;
    repaint();
}

void TStatusPanel::SetProgress(int percent) {
    if (!inProgress_) StartProgress();
    if (steps_.Step(percent)) repaint();
}

void TStatusPanel::EndProgress() {
    if (!inProgress_) return;
    inProgress_ = false;
    steps_.Start();
    update();
}

void TStatusPanel::paintEvent(QPaintEvent* event) {
    progressRect_ = contentsRect();
    if (!inProgress_) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    const QRect r = progressRect_;
    painter.fillRect(r, TroughColor());
    const int width = steps_.BarWidth(r.width());
    if (width > 0) painter.fillRect(QRect(r.left(), r.top(), width, r.height()), BarColor());
}

} // namespace lumara
