#include "UndoCommand.h"

#include "BusyStatus.h"
#include "app/shell/ui/Dialogs.h"
#include "document/Document.h"
#include "document/Undo.h"

#include <QAction>

namespace lumara {

QString BackupFailedMessage() {
    return QString::fromUtf8(kBackupFailedMessage);
}

void UpdateUndoAction(const Document& doc, QAction* undoAction) {
    if (undoAction) undoAction->setEnabled(BackupExists(doc));
}

bool AutoBackUpWithMessage(Document& doc, BusyStatus* busy, QAction* undoAction) {
    // Disabled before Busy lets messages run, so no Undo slips in meanwhile.
    if (undoAction) undoAction->setEnabled(false);
    if (busy)
        busy->Busy(QStringLiteral("Creating backup..."));
    else
        ShowHourglass();

    const BackupStatus status = AutoBackUp(doc);
    UpdateUndoAction(doc, undoAction);
    if (status == BackupStatus::Done) {
        if (busy)
            busy->Ready();
        else
            ShowDefaultCursor();
        return true;
    }
    ShowDefaultCursor();
    if (busy)
        busy->SetStatusText(QStringLiteral("Error."));
    else
        doc.state.StatusText = "Error.";
    ShowError(BackupFailedMessage());
    return false;
}

bool RunUndo(Document& doc, BusyStatus* busy, const std::function<void()>& imageChanged,
             QAction* undoAction) {
    if (!BackupExists(doc)) {
        UpdateUndoAction(doc, undoAction);
        return false;
    }
    if (busy) busy->Busy(QStringLiteral("Loading backup..."));
    // Busy lets messages run: an Undo handled meanwhile may have taken the backup.
    if (!RestoreBackUp(doc)) {
        UpdateUndoAction(doc, undoAction);
        if (busy) busy->Ready();
        ShowDefaultCursor();
        return false;
    }
    const bool modified = doc.state.ImageModified;
    UpdateUndoAction(doc, undoAction);
    if (imageChanged)
        imageChanged();
    else if (busy)
        busy->Ready();
    ShowDefaultCursor();
    // The image-changed routine marks the image modified; Undo decides.
    doc.state.ImageModified = modified;
    return true;
}

} // namespace lumara
