#pragma once
// Status panel 0: the status text ("Ready.", "Busy...", "Loading...") and,
// while a JPEG decodes or a slow filter runs, a progress bar drawn inside the
// panel. It is a QLabel so the window can hold it where its plain panels are.

#include "document/ProgressSteps.h"

#include <QLabel>

namespace lumara {

class TStatusPanel : public QLabel {
    Q_OBJECT
  public:
    explicit TStatusPanel(QWidget* parent = nullptr);

    // Empties the bar (the trough colour over the whole panel) and hides the text.
    void StartProgress();
    // Draws the bar to percent when that is a new 5-percent step (2 and over);
    // starts the progress first when it is not running. Paints at once, so a
    // loop that lets no messages run still shows it.
    void SetProgress(int percent);
    // Back to the status text.
    void EndProgress();

    bool InProgress() const { return inProgress_; }
    // The last step drawn (0 before the first).
    int ProgressStep() const { return steps_.Last(); }
    // The panel's rectangle as of its last paint, in which the bar is drawn.
    QRect ProgressRect() const { return progressRect_; }

    // Colours of the bar: trough and filled part.
    QColor TroughColor() const;
    QColor BarColor() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    ProgressSteps steps_;
    bool inProgress_ = false;
    QRect progressRect_;
};

} // namespace lumara
