#pragma once
// The window side of undo: the backup an image operation takes first (with
// its busy text and its failure box) and the Undo command (Edit > Undo,
// Ctrl+Z). Both keep the Undo action enabled exactly while a backup exists.

#include <QString>

#include <functional>

class QAction;

namespace lumara {

class BusyStatus;
class Document;

// The error box of a backup that could not be made.
QString BackupFailedMessage();

// Enables the Undo action exactly while a backup exists.
void UpdateUndoAction(const Document& doc, QAction* undoAction);

// Before an operation: "Busy..." with "Creating backup...", the backup, then
// "Ready.". On failure: default cursor, "Error.", the error box "Insufficient
// memory; backup failed." through Dialogs(), and false: the operation must
// not run. busy and undoAction may be null.
bool AutoBackUpWithMessage(Document& doc, BusyStatus* busy = nullptr,
                           QAction* undoAction = nullptr);

// The Undo command: "Busy..." with "Loading backup...", the backup back into
// the surface, Undo disabled, then imageChanged (the window's image-changed
// routine; Ready when none is given) and last the unsaved-changes flag as the
// backup recorded it. False, with nothing changed, when there is no backup.
bool RunUndo(Document& doc, BusyStatus* busy = nullptr,
             const std::function<void()>& imageChanged = {}, QAction* undoAction = nullptr);

} // namespace lumara
