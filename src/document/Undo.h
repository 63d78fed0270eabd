#pragma once
// One level of undo. Before an operation changes the current image the image
// is copied into the undo bitmap; Undo puts that copy back and consumes it.
// The batch engine stores and restores the image it started from through the
// same bitmap without consuming it.

#include "codecs/model/Bitmap.h"

#include <cstdint>
#include <optional>

namespace lumara {

class Document;

// The copy Undo restores.
struct BackupStore {
    Bitmap bitmap;                  // the undo bitmap; empty when there is nothing to undo
    std::optional<Palette> palette; // the surface palette taken with the backup
    int16_t depth = 0;              // ImageBitsPerPixel to restore
    bool modified = false;          // ImageModified when the copy was taken

    bool Exists() const { return !bitmap.Empty(); }
    void Clear();
};

enum class BackupStatus { Done, OutOfMemory };

// Shown by the window when a backup could not be made.
inline constexpr const char* kBackupFailedMessage = "Insufficient memory; backup failed.";

// Whether Undo has something to restore (the Undo command is enabled exactly then).
bool BackupExists(const Document& doc);

// Forgets the backup (every load does this).
void DiscardBackUp(Document& doc);

// The surface form a backup works on: 4-bit images become 4-bit
// device-independent; on an 8-bit screen 8-bit images stay 8-bit and deeper
// ones become 24-bit; on other screens anything of 8 or more bits becomes
// 24-bit. Returns the depth Undo must restore. 1-bit images are left alone.
int NormaliseForBackUp(Document& doc);

// Takes the backup before an operation: normalises the surface, then copies
// it with its palette. OutOfMemory leaves no backup and the image as it was
// (apart from a normalisation that had already succeeded); the operation
// must not run then.
BackupStatus AutoBackUp(Document& doc);

// Puts the backup into the surface and consumes it: size and depth from the
// backup, ImageModified as it was when the backup was taken (so false after
// the first change since the last load or save; still true when earlier,
// unsaved changes remain in the restored image). The undo bitmap itself
// becomes the surface, so this cannot run out of memory. False (nothing
// changed) when there is no backup.
bool RestoreBackUp(Document& doc);

// Batch engine: stores the surface as it is (no depth change). False when the
// copy cannot be made; there is no backup then.
bool CopyToBackUp(Document& doc);

// Batch engine: puts the stored copy back without consuming it. False (surface
// and backup unchanged) when there is no backup or the copy cannot be made.
bool CopyFromBackUp(Document& doc);

} // namespace lumara
