// One level of undo: the backup's depth normalisation, Undo, the batch
// engine's copies, and backups that run out of memory.
#include "codecs/model/Bitmap.h"
#include "document/Document.h"
#include "document/Undo.h"

#include <gtest/gtest.h>

#include <string>

using namespace lumara;

namespace {

// A picture whose colours differ per pixel, at depth, with a palette of
// distinct colours for the palette depths.
Bitmap Picture(int w, int h, int depth) {
    Bitmap b(w, h, depth);
    if (depth <= 8) {
        const int entries = 1 << depth;
        for (int i = 0; i < entries; ++i)
            b.palette[size_t(i)] = uint32_t((i * 37 % 256) << 16 | (255 - i) << 8 | (i * 11 % 256));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                b.SetPixelIndex(x, y, (x + 3 * y) % entries);
    } else {
        for (int y = 0; y < h; ++y) {
            uint8_t* row = b.ScanLine(y);
            for (int x = 0; x < w; ++x) {
                row[3 * x] = uint8_t(x * 9);
                row[3 * x + 1] = uint8_t(y * 13);
                row[3 * x + 2] = uint8_t(x + y);
            }
        }
    }
    return b;
}

void Load(Document& doc, const Bitmap& picture, int display, HandleType handle = HandleType::DIB) {
    doc.surface = picture;
    doc.surface.handleType = handle;
    doc.state.DisplayBitsPerPixel = display;
    doc.state.ImageWidth = picture.Width();
    doc.state.ImageHeight = picture.Height();
    doc.state.ImageBitsPerPixel = int16_t(picture.Depth());
    doc.state.ImageModified = false;
    doc.state.ImageLoaded = true;
}

// What an operation does after its backup: make the surface 24-bit, change
// every pixel, mark the image modified.
void Operate(Document& doc, uint32_t color) {
    doc.Ensure24();
    doc.surface.Fill(color);
    doc.state.ImageModified = true;
}

bool SameColors(const Bitmap& a, const Bitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (a.PixelColor(x, y) != b.PixelColor(x, y)) return false;
    return true;
}

class UndoTest : public ::testing::Test {
  protected:
    void TearDown() override { Bitmap::SetAllocationLimitForTesting(0); }
    Document doc;
};

} // namespace

TEST_F(UndoTest, NoBackupAtStart) {
    EXPECT_FALSE(BackupExists(doc));
    Load(doc, Picture(5, 4, 24), 24);
    EXPECT_FALSE(BackupExists(doc));
    EXPECT_FALSE(RestoreBackUp(doc));
    EXPECT_EQ(doc.surface.Depth(), 24);
}

struct NormaliseCase {
    int display;
    int depth;         // of the loaded image
    HandleType handle; // as loaded
    int depthAfter;    // surface depth after the backup
    HandleType handleAfter;
    int backupDepth; // ImageBitsPerPixel Undo restores
    bool palette;    // the surface palette travels with the backup
};

TEST_F(UndoTest, BackupNormalisesTheSurfaceDepth) {
    using H = HandleType;
    const NormaliseCase cases[] = {
        // True-colour screens: 8 bits and more become 24-bit device-independent.
        {24, 1, H::DDB, 1, H::DDB, 1, true},
        {24, 4, H::DDB, 4, H::DIB, 4, true},
        {24, 8, H::DIB, 24, H::DIB, 24, false},
        {24, 8, H::DDB, 24, H::DIB, 24, false},
        {24, 24, H::DDB, 24, H::DIB, 24, false},
        {16, 8, H::DIB, 24, H::DIB, 24, false},
        {32, 24, H::DIB, 24, H::DIB, 24, false},
        // 256-colour screens keep 8-bit images 8-bit.
        {8, 1, H::DIB, 1, H::DIB, 1, true},
        {8, 4, H::DIB, 4, H::DIB, 4, true},
        {8, 8, H::DDB, 8, H::DIB, 8, true},
        {8, 24, H::DDB, 24, H::DIB, 24, true},
        {4, 8, H::DIB, 8, H::DIB, 8, true},
    };
    for (const NormaliseCase& c : cases) {
        SCOPED_TRACE("screen " + std::to_string(c.display) + ", image " + std::to_string(c.depth) +
                     (c.handle == H::DDB ? " ddb" : " dib"));
        Document d;
        const Bitmap original = Picture(7, 5, c.depth);
        Load(d, original, c.display, c.handle);
        ASSERT_EQ(AutoBackUp(d), BackupStatus::Done);
        EXPECT_TRUE(BackupExists(d));
        EXPECT_EQ(d.surface.Depth(), c.depthAfter);
        EXPECT_EQ(d.surface.handleType, c.handleAfter);
        EXPECT_EQ(d.backup.depth, c.backupDepth);
        EXPECT_EQ(d.backup.palette.has_value(), c.palette);
        EXPECT_EQ(d.backup.bitmap.Depth(), c.depthAfter);
        // Normalising never changes what the picture looks like.
        EXPECT_TRUE(SameColors(d.surface, original));
        EXPECT_TRUE(SameColors(d.backup.bitmap, original));
    }
}

TEST_F(UndoTest, UndoRestoresThePictureAndConsumesTheBackup) {
    const Bitmap original = Picture(9, 6, 24);
    Load(doc, original, 24);
    ASSERT_EQ(AutoBackUp(doc), BackupStatus::Done);
    Operate(doc, 0xFF0000);
    doc.surface.Create(3, 2, 24); // an operation that changed the size too
    doc.state.ImageWidth = 3;
    doc.state.ImageHeight = 2;

    ASSERT_TRUE(RestoreBackUp(doc));
    EXPECT_TRUE(doc.surface.SamePixels(original));
    EXPECT_EQ(doc.state.ImageWidth, 9);
    EXPECT_EQ(doc.state.ImageHeight, 6);
    EXPECT_EQ(doc.state.ImageBitsPerPixel, 24);
    EXPECT_FALSE(BackupExists(doc));

    // The second Undo has nothing left: the command is disabled and the
    // picture stays as the first Undo left it.
    EXPECT_FALSE(RestoreBackUp(doc));
    EXPECT_TRUE(doc.surface.SamePixels(original));
    EXPECT_FALSE(BackupExists(doc));
}

TEST_F(UndoTest, EightBitImageOnTrueColourScreenComesBackAt24Bits) {
    const Bitmap original = Picture(10, 4, 8);
    Load(doc, original, 24);
    ASSERT_EQ(AutoBackUp(doc), BackupStatus::Done);
    EXPECT_EQ(doc.state.ImageBitsPerPixel, 24);
    Operate(doc, 0x00FF00);

    ASSERT_TRUE(RestoreBackUp(doc));
    EXPECT_EQ(doc.surface.Depth(), 24);
    EXPECT_EQ(doc.state.ImageBitsPerPixel, 24);
    EXPECT_TRUE(doc.surface.palette.empty());
    EXPECT_TRUE(SameColors(doc.surface, original));
}

TEST_F(UndoTest, EightBitImageOnPaletteScreenComesBackWithItsPalette) {
    const Bitmap original = Picture(10, 4, 8);
    Load(doc, original, 8);
    ASSERT_EQ(AutoBackUp(doc), BackupStatus::Done);
    Operate(doc, 0x0000FF);

    ASSERT_TRUE(RestoreBackUp(doc));
    EXPECT_EQ(doc.surface.Depth(), 8);
    EXPECT_EQ(doc.state.ImageBitsPerPixel, 8);
    EXPECT_EQ(doc.surface.palette, original.palette);
    EXPECT_TRUE(doc.surface.SamePixels(original));
}

TEST_F(UndoTest, UndoClearsTheModifiedFlagOfTheFirstChange) {
    Load(doc, Picture(4, 4, 24), 24);
    ASSERT_EQ(AutoBackUp(doc), BackupStatus::Done);
    Operate(doc, 0x123456);
    ASSERT_TRUE(doc.state.ImageModified);
    ASSERT_TRUE(RestoreBackUp(doc));
    EXPECT_FALSE(doc.state.ImageModified);
}

TEST_F(UndoTest, UndoKeepsEarlierUnsavedChangesMarked) {
    Load(doc, Picture(4, 4, 24), 24);
    ASSERT_EQ(AutoBackUp(doc), BackupStatus::Done);
    Operate(doc, 0x123456);
    const Bitmap afterFirst = doc.surface;
    ASSERT_EQ(AutoBackUp(doc), BackupStatus::Done);
    Operate(doc, 0x654321);

    // Undo takes back the second change only; the first is still unsaved.
    ASSERT_TRUE(RestoreBackUp(doc));
    EXPECT_TRUE(doc.surface.SamePixels(afterFirst));
    EXPECT_TRUE(doc.state.ImageModified);
}

TEST_F(UndoTest, FailedBackupLeavesTheImageAndNoBackup) {
    const Bitmap original = Picture(64, 48, 24);
    Load(doc, original, 24);
    ASSERT_EQ(AutoBackUp(doc), BackupStatus::Done); // an earlier backup
    Bitmap::SetAllocationLimitForTesting(original.ImageSize() - 1);

    EXPECT_EQ(AutoBackUp(doc), BackupStatus::OutOfMemory);
    EXPECT_TRUE(doc.surface.SamePixels(original));
    EXPECT_EQ(doc.state.ImageBitsPerPixel, 24);
    EXPECT_FALSE(BackupExists(doc));
    EXPECT_FALSE(RestoreBackUp(doc));
    EXPECT_TRUE(doc.surface.SamePixels(original));
}

TEST_F(UndoTest, FailedNormalisationLeavesTheImageAsItWas) {
    // Room for the 8-bit picture, not for its 24-bit form.
    const Bitmap original = Picture(64, 48, 8);
    Load(doc, original, 24);
    Bitmap::SetAllocationLimitForTesting(original.ImageSize() + 16);

    EXPECT_EQ(AutoBackUp(doc), BackupStatus::OutOfMemory);
    EXPECT_EQ(doc.surface.Depth(), 8);
    EXPECT_EQ(doc.state.ImageBitsPerPixel, 8);
    EXPECT_TRUE(doc.surface.SamePixels(original));
    EXPECT_FALSE(BackupExists(doc));
}

TEST_F(UndoTest, EmptySurfaceGivesNothingToUndo) {
    doc.state.DisplayBitsPerPixel = 24;
    EXPECT_EQ(AutoBackUp(doc), BackupStatus::Done);
    EXPECT_FALSE(BackupExists(doc));
    EXPECT_FALSE(RestoreBackUp(doc));
    EXPECT_TRUE(doc.surface.Empty());
}

TEST_F(UndoTest, DiscardForgetsTheBackup) {
    Load(doc, Picture(4, 4, 8), 24);
    ASSERT_EQ(AutoBackUp(doc), BackupStatus::Done);
    DiscardBackUp(doc);
    EXPECT_FALSE(BackupExists(doc));
    EXPECT_FALSE(doc.backup.palette.has_value());
    EXPECT_FALSE(RestoreBackUp(doc));
}

TEST_F(UndoTest, BatchCopiesKeepDepthAndTheBackup) {
    const Bitmap original = Picture(6, 5, 8);
    Load(doc, original, 24);
    ASSERT_TRUE(CopyToBackUp(doc));
    // Stored as it is: no promotion.
    EXPECT_EQ(doc.surface.Depth(), 8);
    EXPECT_EQ(doc.backup.bitmap.Depth(), 8);
    EXPECT_TRUE(BackupExists(doc));

    for (uint32_t color : {0xFF0000u, 0x00FF00u}) {
        Operate(doc, color);
        ASSERT_TRUE(CopyFromBackUp(doc));
        EXPECT_TRUE(doc.surface.SamePixels(original));
        EXPECT_EQ(doc.surface.palette, original.palette);
        EXPECT_EQ(doc.state.ImageBitsPerPixel, 8);
        EXPECT_TRUE(BackupExists(doc)) << "copying back does not consume the backup";
    }
    // Undo after the batch copies restores the same picture at its depth.
    Operate(doc, 0x0000FF);
    ASSERT_TRUE(RestoreBackUp(doc));
    EXPECT_TRUE(doc.surface.SamePixels(original));
    EXPECT_EQ(doc.state.ImageBitsPerPixel, 8);
}

TEST_F(UndoTest, BatchCopiesThatRunOutOfMemory) {
    const Bitmap original = Picture(32, 32, 24);
    Load(doc, original, 24);
    Bitmap::SetAllocationLimitForTesting(original.ImageSize() - 1);
    EXPECT_FALSE(CopyToBackUp(doc));
    EXPECT_FALSE(BackupExists(doc));
    EXPECT_FALSE(CopyFromBackUp(doc));
    EXPECT_TRUE(doc.surface.SamePixels(original));

    Bitmap::SetAllocationLimitForTesting(0);
    ASSERT_TRUE(CopyToBackUp(doc));
    Operate(doc, 0xABCDEF);
    const Bitmap changed = doc.surface;
    Bitmap::SetAllocationLimitForTesting(original.ImageSize() - 1);
    // The surface stays as it was and the backup survives for a later try.
    EXPECT_FALSE(CopyFromBackUp(doc));
    EXPECT_TRUE(doc.surface.SamePixels(changed));
    EXPECT_TRUE(BackupExists(doc));
    Bitmap::SetAllocationLimitForTesting(0);
    EXPECT_TRUE(CopyFromBackUp(doc));
    EXPECT_TRUE(doc.surface.SamePixels(original));
}
