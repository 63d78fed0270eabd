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
    if (busy)
        busy->Busy(QStringLiteral("Creating backup..."));
    else
        ShowHourglass();
    if (undoAction) undoAction->setEnabled(false);

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
    RestoreBackUp(doc);
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
