#pragma once
// Busy status, progress and the cancel request.
//
// How the main window uses these pieces:
//
// - Status panel 0 is a TStatusPanel (TStatusPanel.h) in place of the plain
//   QLabel: `StatusPanel[0] = new TStatusPanel(this);` in CreateStatusBar
//   (width 110 is already its minimum). Panels 1 to 3 stay as they are.
// - One BusyStatus member built after the status bar:
//   `busy = std::make_unique<BusyStatus>(doc, StatusPanel[0], StatusPanel[2], statusBar());`
//   TWebForm::Busy(d) becomes `busy->Busy(d)` and TWebForm::StatusReady()
//   becomes `busy->Ready()` (both keep their names for their callers).
//   The hourglass is one slot (ShowHourglass/ShowDefaultCursor below), so
//   nested Busy calls and a StatusReady at the end never leave a stacked
//   override cursor behind.
// - JPEG decodes and slow filters: `loader->OnProgress = busy->ProgressCallback();`
//   and, when the decode returns (success or not), `busy->EndProgress()`.
//   `loader->AbortRequested` lets messages run and returns
//   `doc.state.CancelRequest`.
// - CancelRequest (doc.state.CancelRequest) is set to true by: Esc in the
//   window's key handler; a mouse-button release on the image (Sky95) other
//   than the right button; minimising or maximising the window while
//   doc.state.BatchRunning (changeEvent, QEvent::WindowStateChange); the
//   progress window's Cancel (TStatusForm, given doc.state.CancelRequest,
//   clears it when created); the disk-space warning. Long loops read it
//   between steps after letting messages run.
// - Undo (UndoCommand.h): an Edit menu action "&Undo", Ctrl+Z, enabled exactly
//   while BackupExists(doc): call UpdateUndoAction(doc, actUndo) after every
//   load (loads also call DiscardBackUp(doc)) and pass actUndo to
//   AutoBackUpWithMessage / RunUndo, which keep it right themselves.
//   mnuUndoClick: select the hand tool, then
//   `RunUndo(doc, busy.get(), [this] { UpdatePageCommands(); ImageChanged(); }, actUndo);`
//   (RunUndo sets ImageModified after the image-changed routine has run).
//   Each image operation starts with Stretch on, the backup stream cleared,
//   then `if (!AutoBackUpWithMessage(doc, busy.get(), actUndo)) return;`.

#include <QString>

#include <functional>

class QLabel;
class QStatusBar;

namespace lumara {

class Document;
class TStatusPanel;

// The hourglass is a single slot, as the screen cursor: showing it twice and
// restoring once leaves the default cursor.
void ShowHourglass();
void ShowDefaultCursor();
bool HourglassShown();

class BusyStatus {
  public:
    // panel0 shows StatusText (a TStatusPanel also draws the progress bar);
    // panel2 the image description; bar, when given, is repainted by Ready.
    BusyStatus(Document& doc, QLabel* panel0, QLabel* panel2, QStatusBar* bar = nullptr);

    // StatusText "Busy...", the description in panel 2, pending messages run,
    // hourglass cursor.
    void Busy(const QString& description);
    // StatusText "Ready.", the image description in panel 2, the status bar
    // repainted, default cursor.
    void Ready();
    // StatusText and panel 0 only (e.g. "Loading...", "Error."). This and
    // Ready end a running progress bar.
    void SetStatusText(const QString& text);

    // The progress bar of panel 0 (nothing when panel 0 is a plain label).
    void StartProgress();
    void SetProgress(int percent);
    void EndProgress();
    // For a decoder's percent callback.
    std::function<void(int)> ProgressCallback();

    TStatusPanel* ProgressPanel() const { return progress_; }

  private:
    Document& doc_;
    QLabel* panel0_;
    QLabel* panel2_;
    QStatusBar* bar_;
    TStatusPanel* progress_;
};

} // namespace lumara
