#include "Undo.h"

#include "Document.h"
#include "codecs/model/Exceptions.h"

#include <new>
#include <utility>

namespace lumara {

void BackupStore::Clear() {
    bitmap.Release();
    palette.reset();
}

bool BackupExists(const Document& doc) {
    return doc.backup.Exists();
}

void DiscardBackUp(Document& doc) {
    doc.backup.Clear();
}

int NormaliseForBackUp(Document& doc) {
    const int bits = doc.state.ImageBitsPerPixel;
    const bool paletteScreen = doc.state.DisplayBitsPerPixel <= 8;
    if (doc.surface.Empty()) return bits;
    if (bits == 4) {
        doc.EnsureDepth(4);
        return 4;
    }
    if (paletteScreen) {
        if (bits == 8) {
            doc.EnsureDepth(8);
            return 8;
        }
        if (bits > 8) {
            doc.Ensure24();
            return 24;
        }
        return bits;
    }
    if (bits >= 8) {
        doc.Ensure24();
        return 24;
    }
    return bits;
}

namespace {

// Copies the surface into the backup; on failure the backup is empty.
bool StoreSurface(Document& doc, int depth, bool withPalette) {
    BackupStore& backup = doc.backup;
    backup.Clear();
    try {
        backup.bitmap = Bitmap(doc.surface); // a real copy of the pixels
        if (withPalette) backup.palette = doc.surface.palette;
        backup.depth = int16_t(depth);
        backup.modified = doc.state.ImageModified;
        return true;
    } catch (const EOutOfMemory&) {
    } catch (const std::bad_alloc&) {
    }
    backup.Clear();
    return false;
}

} // namespace

BackupStatus AutoBackUp(Document& doc) {
    doc.backup.Clear();
    int depth = 0;
    try {
        depth = NormaliseForBackUp(doc);
    } catch (const EOutOfMemory&) {
        return BackupStatus::OutOfMemory;
    } catch (const std::bad_alloc&) {
        return BackupStatus::OutOfMemory;
    }
    const bool withPalette = doc.state.DisplayBitsPerPixel <= 8 || depth <= 8;
    return StoreSurface(doc, depth, withPalette) ? BackupStatus::Done : BackupStatus::OutOfMemory;
}

bool RestoreBackUp(Document& doc) {
    BackupStore& backup = doc.backup;
    if (!backup.Exists()) return false;
    // The undo bitmap itself becomes the surface: no second copy that could fail.
    Bitmap restored = std::move(backup.bitmap);
    if (backup.palette) restored.palette = std::move(*backup.palette);
    doc.surface = std::move(restored);
    DocumentState& s = doc.state;
    s.ImageWidth = doc.surface.Width();
    s.ImageHeight = doc.surface.Height();
    s.ImageBitsPerPixel = backup.depth;
    s.ImageModified = backup.modified;
    backup.Clear();
    return true;
}

bool CopyToBackUp(Document& doc) {
    return StoreSurface(doc, doc.state.ImageBitsPerPixel, false);
}

bool CopyFromBackUp(Document& doc) {
    BackupStore& backup = doc.backup;
    if (!backup.Exists()) return false;
    try {
        Bitmap copy(backup.bitmap);
        doc.surface = std::move(copy);
    } catch (const EOutOfMemory&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    doc.state.ImageWidth = doc.surface.Width();
    doc.state.ImageHeight = doc.surface.Height();
    doc.state.ImageBitsPerPixel = backup.depth;
    return true;
}

} // namespace lumara
