#include "OptionsTarget.h"

#include <algorithm>

namespace lumara {

void ApplyOptions(const TOptions& boxes, TOptions& o, OptionsTarget& target) {
    const int bpp = target.DisplayBitsPerPixel();

    target.CloseLibraryImage();

    bool layoutChanged = false;
    const struct {
        OptionsBar bar;
        bool TOptions::*flag;
    } bars[] = {
        {OptionsBar::StatusBar, &TOptions::StatusBar},
        {OptionsBar::Menus, &TOptions::MenuBar},
        {OptionsBar::ToolBar, &TOptions::ToolBar},
        {OptionsBar::ButtonText, &TOptions::ButtonText},
        {OptionsBar::PathBox, &TOptions::PathBox},
    };
    for (const auto& b : bars) {
        if (boxes.*b.flag == o.*b.flag) continue;
        o.*b.flag = boxes.*b.flag;
        target.ShowBar(b.bar, o.*b.flag);
        layoutChanged = true;
    }

    o.MultipleViewers = boxes.MultipleViewers;
    o.FastRefresh = boxes.FastRefresh;
    o.AutoReduce = boxes.AutoReduce;
    target.SetFastPaint(o.FastRefresh && bpp >= 9);
    o.UseScreen = boxes.UseScreen && bpp >= 9;
    o.AutoSize = boxes.AutoSize;
    o.AutoCenter = boxes.AutoCenter;
    o.MaxFullScreen = boxes.MaxFullScreen;

    if (boxes.JpegPalette != o.JpegPalette) {
        o.JpegPalette = boxes.JpegPalette;
        if (bpp == 8 && target.CurrentExt().find(".JP") != std::string::npos)
            target.ReopenCurrentFile(ReopenReason::JpegPalette);
    }
    if (boxes.FaxQuality != o.FaxQuality) {
        o.FaxQuality = boxes.FaxQuality;
        if (target.PageCount() > 1) target.ReopenCurrentFile(ReopenReason::FaxQuality);
    }
    if (boxes.PhotoCdStep != o.PhotoCdStep) {
        o.PhotoCdStep = boxes.PhotoCdStep;
        if (target.CurrentExt() == ".PCD") target.ReopenCurrentFile(ReopenReason::PhotoCdStep);
    }

    o.EffectsSpeed = boxes.EffectsSpeed;
    o.SvgaPalette = boxes.SvgaPalette;
    o.TextPosition = boxes.TextPosition;
    if (boxes.BackColor != o.BackColor) {
        o.BackColor = boxes.BackColor;
        target.SetBackColor(BackColorToQColor(o.BackColor));
    }

    o.AutoSizeVideo = boxes.AutoSizeVideo;
    o.AlwaysFullScreen = boxes.AlwaysFullScreen;
    o.VurJukebox = boxes.VurJukebox;
    o.SlideshowDelay = boxes.SlideshowDelay;

    if (boxes.MediaStatusLine != o.MediaStatusLine ||
        boxes.MediaPlayerControls != o.MediaPlayerControls ||
        boxes.MediaTrackBar != o.MediaTrackBar) {
        o.MediaStatusLine = boxes.MediaStatusLine;
        o.MediaPlayerControls = boxes.MediaPlayerControls;
        o.MediaTrackBar = boxes.MediaTrackBar;
        if (target.MediaMode())
            target.SetMediaControlsVisible(o.MediaStatusLine, o.MediaPlayerControls,
                                           o.MediaTrackBar);
    }

    o.MediaAutoPlayLoop = boxes.MediaAutoPlayLoop;

    if (boxes.Volume != o.Volume) {
        o.Volume = std::max(boxes.Volume, kMinVolume);
        if (target.MediaPlayerExists()) target.SetPlayerVolume(MediaPlayerVolume(o.Volume));
    }

    o.MediaMaxFullScreen = boxes.MediaMaxFullScreen;

    if (layoutChanged) target.RelayoutWindow();
}

int OptionsStartPage(bool mediaMode, bool fullScreen) {
    if (mediaMode) return kMultimediaPage;
    if (fullScreen) return kGraphicsPage;
    return kViewerPage;
}

int OptionsHelpContext(int page) {
    switch (page) {
    case kSlideshowPage:
        return 300;
    case kMultimediaPage:
        return 500;
    default:
        return 103;
    }
}

} // namespace lumara
