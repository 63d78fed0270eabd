#include "TStatusForm.h"

#include "BusyStatus.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace lumara {

TStatusLine::TStatusLine(QWidget* parent) : QWidget(parent) {}

void TStatusLine::SetText(const QString& text) {
    text_ = text;
    repaint();
}

QString TStatusLine::DisplayedText() const {
    return fontMetrics().elidedText(text_, Qt::ElideMiddle, width());
}

void TStatusLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Button));
    painter.setPen(palette().color(QPalette::ButtonText));
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     DisplayedText());
}

TStatusForm::TStatusForm(bool& cancelRequest, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowContextHelpButtonHint | Qt::WindowStaysOnTopHint),
      cancelRequest_(cancelRequest) {
    cancelRequest_ = false;
    setFixedSize(kClientWidth, kClientHeight);

    Status = new TStatusLine(this);
    Status->setGeometry(8, 4, kClientWidth - 16, 18);
    Status->SetText(QStringLiteral("One moment ..."));

    Label1 = new QLabel(QStringLiteral("Thumbs:"), this);
    Label1->setGeometry(8, 30, 56, 17);
    Bar1 = new QProgressBar(this);
    Bar1->setGeometry(66, 30, 200, 17);
    Label2 = new QLabel(QStringLiteral("Folders:"), this);
    Label2->setGeometry(8, 54, 56, 17);
    Bar2 = new QProgressBar(this);
    Bar2->setGeometry(66, 54, 200, 17);
    for (QProgressBar* bar : {Bar1, Bar2}) {
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
    }

    CancelButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                                   QStringLiteral("Cancel"), this);
    CancelButton->setGeometry(282, 36, 85, 28);
    CancelButton->setAutoDefault(false);
    connect(CancelButton, &QPushButton::clicked, this, &TStatusForm::CancelClick);
}

void TStatusForm::Open(const QString& caption) {
    setWindowTitle(caption);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        QRect placed(QPoint(0, 0), QSize(kClientWidth, kClientHeight));
        placed.moveCenter(area.center());
        move(placed.topLeft());
    }
    show();
}

void TStatusForm::SetTexts(const std::optional<QString>& status,
                           const std::optional<QString>& first,
                           const std::optional<QString>& second) {
    if (status) Status->SetText(*status);
    if (first) Label1->setText(*first);
    if (second) Label2->setText(*second);
    Status->repaint();
}

void TStatusForm::CancelClick() {
    cancelRequest_ = true;
    ShowHourglass();
}

void TStatusForm::reject() {
    CancelClick();
}

} // namespace lumara
