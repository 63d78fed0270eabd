#include "TOptions.h"

#include <cmath>
#include <cstdio>

namespace lumara {

namespace {
// The record keeps the colour with red in its lowest byte; the program
// everywhere else with blue there. Any top byte is carried along.
uint32_t swapRedBlue(uint32_t c) {
    return (c & 0xFF00FF00u) | (c & 0xFFu) << 16 | (c >> 16 & 0xFFu);
}
} // namespace

void OptionsFromViewSettings(const ViewSettings& r, TOptions& o) {
    o.MainBounds = r.MainBounds;
    o.CommentBounds = r.CommentBounds;
    o.BatchEditorBounds = r.BatchEditorBounds;
    o.MenuBar = r.MenuBar;
    o.ToolBar = r.ToolBar;
    o.StatusBar = r.StatusBar;
    o.ButtonText = r.ButtonText;
    o.PathBox = r.PathBox;
    o.FitToWindow = r.FitToWindow;
    o.AutoSize = r.AutoSize;
    o.AutoCenter = r.AutoCenter;
    o.MaxFullScreen = r.MaxFullScreen;
    o.BackColor = swapRedBlue(r.BackColor);
    o.MultipleViewers = r.MultipleViewers;
    o.FaxQuality = r.FaxQuality;
    o.PhotoCdStep = r.PhotoCdStep;
    o.JpegPalette = r.JpegPalette;
    o.AutoReduce = r.AutoReduce;
    o.UseScreen = r.UseScreen;
    o.FastRefresh = r.FastRefresh;
    o.EffectsSpeed = r.EffectsSpeed;
    o.SlideshowDelay = r.SlideshowDelay;
    o.SvgaPalette = r.SvgaPalette;
    o.AutoSizeVideo = r.AutoSizeVideo;
    o.AlwaysFullScreen = r.AlwaysFullScreen;
    o.VurJukebox = r.VurJukebox;
    o.TextPosition = r.TextPosition;
    o.MediaStatusLine = r.MediaStatusLine;
    o.MediaTrackBar = r.MediaTrackBar;
    o.MediaPlayerControls = r.MediaPlayerControls;
    o.MediaMaxFullScreen = r.MediaMaxFullScreen;
    o.MediaAutoPlayLoop = r.MediaAutoPlayLoop;
    o.Volume = r.Volume;
    o.MediaFrameExtra1 = r.MediaFrameExtra1;
    o.MediaFrameExtra2 = r.MediaFrameExtra2;
    o.MediaFrameExtra3 = r.MediaFrameExtra3;
    o.MediaReferenceResolution = r.MediaReferenceResolution;
}

void OptionsToViewSettings(const TOptions& o, ViewSettings& r) {
    r.MainBounds = o.MainBounds;
    r.CommentBounds = o.CommentBounds;
    r.BatchEditorBounds = o.BatchEditorBounds;
    r.MenuBar = o.MenuBar;
    r.ToolBar = o.ToolBar;
    r.StatusBar = o.StatusBar;
    r.ButtonText = o.ButtonText;
    r.PathBox = o.PathBox;
    r.FitToWindow = o.FitToWindow;
    r.AutoSize = o.AutoSize;
    r.AutoCenter = o.AutoCenter;
    r.MaxFullScreen = o.MaxFullScreen;
    r.BackColor = swapRedBlue(o.BackColor);
    r.MultipleViewers = o.MultipleViewers;
    r.FaxQuality = o.FaxQuality;
    r.PhotoCdStep = o.PhotoCdStep;
    r.JpegPalette = o.JpegPalette;
    r.AutoReduce = o.AutoReduce;
    r.UseScreen = o.UseScreen;
    r.FastRefresh = o.FastRefresh;
    r.EffectsSpeed = o.EffectsSpeed;
    r.SlideshowDelay = o.SlideshowDelay;
    r.SvgaPalette = o.SvgaPalette;
    r.AutoSizeVideo = o.AutoSizeVideo;
    r.AlwaysFullScreen = o.AlwaysFullScreen;
    r.VurJukebox = o.VurJukebox;
    r.TextPosition = o.TextPosition;
    r.MediaStatusLine = o.MediaStatusLine;
    r.MediaTrackBar = o.MediaTrackBar;
    r.MediaPlayerControls = o.MediaPlayerControls;
    r.MediaMaxFullScreen = o.MediaMaxFullScreen;
    r.MediaAutoPlayLoop = o.MediaAutoPlayLoop;
    r.Volume = o.Volume;
    r.MediaFrameExtra1 = o.MediaFrameExtra1;
    r.MediaFrameExtra2 = o.MediaFrameExtra2;
    r.MediaFrameExtra3 = o.MediaFrameExtra3;
    r.MediaReferenceResolution = o.MediaReferenceResolution;
    r.CommonControlsLevel = o.CommonControlsLevel;
}

QColor BackColorToQColor(uint32_t c) {
    if (c & 0xFF000000u) return QColor(0, 0, 0);
    return QColor(int(c >> 16 & 0xFF), int(c >> 8 & 0xFF), int(c & 0xFF));
}

uint32_t QColorToBackColor(const QColor& color) {
    const QColor c = color.toRgb();
    return uint32_t(c.red()) << 16 | uint32_t(c.green()) << 8 | uint32_t(c.blue());
}

int MediaPlayerVolume(int volume) {
    if (volume < kMinVolume) volume = kMinVolume;
    return static_cast<int>(std::lround(1000.0 * std::log(volume / 1000.0)));
}

std::string DelayLabelText(int position) {
    if (position == kMaximumDelay) return "&Delay = 2 hours";
    if (position < 0) position = 0;
    char text[32];
    std::snprintf(text, sizeof text, "%d.%ds", position / 1000, (position % 1000) / 100);
    return std::string("&Delay = ") + text;
}

} // namespace lumara
