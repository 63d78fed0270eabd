#pragma once
// The settings through a run: read before the main window exists, applied
// when it is created, written back when it closes.

#include "SettingsStore.h"
#include "TOptions.h"
#include "ViewSettings.h"

namespace lumara {

struct StoredViewSettings {
    // All zeros when no usable record was stored, which is what the
    // single-instance check sees on a first run.
    ViewSettings Record;
    bool Present = false;
};

// Program entry: the "VControls5700" value as stored. A value of the wrong
// kind or length counts as absent (and is replaced whole at close).
StoredViewSettings ReadViewSettings(const SettingsStore& store);

// Window creation: with a stored record, the record is repaired and the
// options and the dialog folders ("OpenDir", "SaveDir") come from the store;
// without one, the record becomes the first-run defaults (startBounds for
// every window) and so do the options.
TOptions OptionsAtWindowCreation(StoredViewSettings& stored, const SettingsStore& store,
                                 int displayBitsPerPixel, const TRect& startBounds);

// The window rectangles at close. Left and Top are stored as absolute values.
// A comment window or batch editor that is not open (nullptr) keeps its stored
// bounds, except on a run that started without settings, where it takes the
// main window's.
void StoreBoundsAtClose(TOptions& options, const TRect& mainBounds, const TRect* commentBounds,
                        const TRect* batchEditorBounds, bool settingsWerePresent);

// The close: "OpenDir", "SaveDir" and the record with every option copied
// back into it (padding as read), written together with anything else the
// caller put into the same store object beforehand (such as "JPGwiz1" when
// the JPEG compression settings were loaded or changed in this run). False
// when the store could not be written; nobody is told, the settings of this
// run are then lost and the previous store stays as it was.
bool WriteSettingsAtClose(SettingsStore& store, ViewSettings& record, const TOptions& options);

} // namespace lumara
