#include "BusyStatus.h"

#include "TStatusPanel.h"
#include "document/Document.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QStatusBar>

namespace lumara {

namespace {
bool gHourglass = false;
}

void ShowHourglass() {
    if (gHourglass) return;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    gHourglass = true;
}

void ShowDefaultCursor() {
    if (!gHourglass) return;
    QGuiApplication::restoreOverrideCursor();
    gHourglass = false;
}

bool HourglassShown() {
    return gHourglass;
}

BusyStatus::BusyStatus(Document& doc, QLabel* panel0, QLabel* panel2, QStatusBar* bar)
    : doc_(doc), panel0_(panel0), panel2_(panel2), bar_(bar),
      progress_(qobject_cast<TStatusPanel*>(panel0)) {}

void BusyStatus::SetStatusText(const QString& text) {
    // A new text is drawn over the bar, as the panel's next paint would.
    EndProgress();
    doc_.state.StatusText = text.toStdString();
    if (panel0_) {
        panel0_->setText(text);
        panel0_->repaint();
    }
}

void BusyStatus::Busy(const QString& description) {
    SetStatusText(QStringLiteral("Busy..."));
    if (panel2_) panel2_->setText(description);
    QCoreApplication::processEvents();
    ShowHourglass();
}

void BusyStatus::Ready() {
    EndProgress();
    doc_.state.StatusText = "Ready.";
    if (panel0_) panel0_->setText(QStringLiteral("Ready."));
    if (panel2_) panel2_->setText(QString::fromStdString(doc_.ImageDescription()));
    if (bar_)
        bar_->repaint();
    else {
        if (panel0_) panel0_->repaint();
        if (panel2_) panel2_->repaint();
    }
    ShowDefaultCursor();
}

void BusyStatus::StartProgress() {
    if (progress_) progress_->StartProgress();
}

void BusyStatus::SetProgress(int percent) {
    if (progress_) progress_->SetProgress(percent);
}

void BusyStatus::EndProgress() {
    if (progress_) progress_->EndProgress();
}

std::function<void(int)> BusyStatus::ProgressCallback() {
    return [this](int percent) { SetProgress(percent); };
}

} // namespace lumara
