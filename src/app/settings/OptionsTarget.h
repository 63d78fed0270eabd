#pragma once
// OptionsTarget: what the Options dialog needs from the running program. The
// main window implements it; every member has a harmless default, so a piece
// of the program that is not there yet only means the option is stored and
// takes effect at the next start.
//
// ApplyOptions: the work of the dialog's Ok and Apply buttons, apart from the
// widgets, so the same rules hold wherever options are applied from.

#include "TOptions.h"

#include <QColor>

#include <string>

namespace lumara {

enum class OptionsBar { StatusBar, Menus, ToolBar, ButtonText, PathBox };
enum class ReopenReason { JpegPalette, FaxQuality, PhotoCdStep };

class OptionsTarget {
  public:
    virtual ~OptionsTarget() = default;

    // The state the dialog's rules depend on.
    virtual int DisplayBitsPerPixel() const { return 24; }
    virtual bool FullScreen() const { return false; }
    virtual bool MediaMode() const { return false; }
    virtual std::string CurrentExt() const { return {}; } // upper-cased with its dot: ".JPG"
    virtual int PageCount() const { return 0; }
    virtual bool MediaPlayerExists() const { return false; }

    // The effects. The option itself has always been stored when these run.
    // Closes an image the imaging library still holds open.
    virtual void CloseLibraryImage() {}
    // Runs the View command of that bar so that it is shown or hidden as asked.
    virtual void ShowBar(OptionsBar, bool /*shown*/) {}
    virtual void SetFastPaint(bool) {}
    // Opens the current file again, now that a setting that shapes its
    // decoding changed (a JPEG: with the probe).
    virtual void ReopenCurrentFile(ReopenReason) {}
    // The scroll box and the window take the new background colour.
    virtual void SetBackColor(const QColor&) {}
    // In media mode: the player's status line, controls and track bar.
    virtual void SetMediaControlsVisible(bool /*statusLine*/, bool /*playerControls*/,
                                         bool /*trackBar*/) {}
    // The media player's level, see MediaPlayerVolume().
    virtual void SetPlayerVolume(int) {}
    // The window's resize handling, after bars were shown or hidden.
    virtual void RelayoutWindow() {}
    // The Effects button: the transition effect selection.
    virtual void ShowEffectSelection() {}
    // The Help button, with the help context of the tab shown.
    virtual void ShowHelp(int /*context*/) {}
};

// Applies the dialog's controls (boxes: what each control shows; fields the
// dialog has no control for are ignored) to options, telling target what it
// has to redo. The delay is kMaximumDelay when Maximum delay is checked.
void ApplyOptions(const TOptions& boxes, TOptions& options, OptionsTarget& target);

// The dialog's tabs, and the one the Options command opens on.
enum OptionsPage { kViewerPage = 0, kGraphicsPage = 1, kSlideshowPage = 2, kMultimediaPage = 3 };
int OptionsStartPage(bool mediaMode, bool fullScreen);
// Help context of each tab.
int OptionsHelpContext(int page);

} // namespace lumara
