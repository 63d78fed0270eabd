#pragma once
// TOptions: the working copies of the settings. The main window fills them
// from ViewSettings when it is created, every part of the program reads and
// changes them while it runs (the Options dialog among others), and the close
// copies them back into the record. The window bounds, the bar check marks,
// Multiple viewers and Fast Refresh are kept here too, so that one object
// holds everything the close writes.

#include "ViewSettings.h"

#include <QColor>

#include <string>

namespace lumara {

struct TOptions {
    // Windows.
    TRect MainBounds;
    TRect CommentBounds;
    TRect BatchEditorBounds;

    // Viewer.
    bool MenuBar = true;
    bool ToolBar = true;
    bool StatusBar = true;
    bool ButtonText = true;
    bool PathBox = true;
    bool FitToWindow = false;
    bool AutoSize = true;
    bool AutoCenter = true;
    bool MaxFullScreen = true;
    uint32_t BackColor = 0; // 0x00RRGGBB, like every colour value of the program
    bool MultipleViewers = true;

    // Graphics.
    int FaxQuality = 0;  // 0 "b/w" .. 3 "64 shades"
    int PhotoCdStep = 3; // 0 "64x96" .. 6 "4096x6144"
    int JpegPalette = 3; // 0 "fixed + ordered" .. 3 "optimal + dithered"
    bool AutoReduce = true;
    bool UseScreen = false;
    bool FastRefresh = true;

    // Slideshow.
    int EffectsSpeed = 1;      // 0 "Faster" .. 3 "Slowest"
    int SlideshowDelay = 1000; // milliseconds; kMaximumDelay for the longest wait
    int SvgaPalette = 0;       // 0 "optimal (for graphics)" .. 2 "VGA (for multimedia)"
    bool AutoSizeVideo = true;
    bool AlwaysFullScreen = true;
    bool VurJukebox = false;
    int TextPosition = 0; // 0 "Auto", 1 "Top", 2 "Bottom"

    // Multimedia.
    bool MediaStatusLine = true;
    bool MediaTrackBar = true;
    bool MediaPlayerControls = true;
    bool MediaMaxFullScreen = true;
    bool MediaAutoPlayLoop = true;
    int Volume = 500; // 1..1000
    int MediaFrameExtra1 = 0;
    int MediaFrameExtra2 = 0;
    int MediaFrameExtra3 = 0;
    int MediaReferenceResolution = 0; // read from the record, never changed

    // Written into the record at close, never read back from it.
    int CommonControlsLevel = 0;

    // Initial folders of the open and save dialogs ("OpenDir", "SaveDir").
    std::string OpenDir;
    std::string SaveDir;

    bool operator==(const TOptions&) const = default;
};

// Everything of the record except the common-controls level, which the
// window works out afresh at every start. The folders are left as they were.
void OptionsFromViewSettings(const ViewSettings& record, TOptions& options);
// Every field of options into the record; padding and reserved bytes stay.
void OptionsToViewSettings(const TOptions& options, ViewSettings& record);

// The background colour (0x00RRGGBB) as Qt has it. A value whose top byte is
// set is not a plain colour and shows as black.
QColor BackColorToQColor(uint32_t backColor);
uint32_t QColorToBackColor(const QColor& color);

// The media player's level for a volume of 1..1000: round(1000 * ln(v / 1000)),
// so 1000 gives 0 and 500 gives -693. Volumes below 1 count as 1.
int MediaPlayerVolume(int volume);

// The slideshow delay as the Options dialog labels it: "&Delay = 2 hours" for
// the maximum delay, otherwise "&Delay = " and seconds with tenths ("1.5s").
std::string DelayLabelText(int position);

} // namespace lumara
