#include "app/settings/OptionsTarget.h"

#include "RecordingTarget.h"

#include <gtest/gtest.h>

using namespace lumara;

namespace {
using Calls = std::vector<std::string>;

Calls apply(const TOptions& boxes, TOptions& options, RecordingTarget& target) {
    target.calls.clear();
    ApplyOptions(boxes, options, target);
    return target.calls;
}
} // namespace

TEST(ApplyOptions, NothingChangedStillClosesTheLibraryImageAndSetsFastPaint) {
    TOptions options;
    RecordingTarget target;
    EXPECT_EQ(apply(options, options, target), (Calls{"close library image", "fast paint on"}));
    EXPECT_EQ(options, TOptions());
}

TEST(ApplyOptions, ChangedBarsRunTheirViewCommandsAndRelayout) {
    TOptions options;
    TOptions boxes = options;
    boxes.ToolBar = false;
    boxes.PathBox = false;
    boxes.StatusBar = false;
    RecordingTarget target;
    EXPECT_EQ(apply(boxes, options, target),
              (Calls{"close library image", "hide status bar", "hide tool bar", "hide path box",
                     "fast paint on", "relayout"}));
    EXPECT_FALSE(options.ToolBar);
    EXPECT_FALSE(options.PathBox);
    EXPECT_FALSE(options.StatusBar);
    EXPECT_TRUE(options.MenuBar);
    // Applying the same boxes again changes no bar.
    EXPECT_EQ(apply(boxes, options, target), (Calls{"close library image", "fast paint on"}));
}

TEST(ApplyOptions, FastPaintAndUseScreenAreOffBelowNineBits) {
    TOptions options;
    TOptions boxes = options;
    boxes.FastRefresh = true;
    boxes.UseScreen = true;
    RecordingTarget target;
    target.bitsPerPixel = 8;
    EXPECT_TRUE(apply(boxes, options, target).back() == "fast paint off");
    EXPECT_TRUE(options.FastRefresh); // the option keeps what the box says
    EXPECT_FALSE(options.UseScreen);
    target.bitsPerPixel = 16;
    apply(boxes, options, target);
    EXPECT_TRUE(target.called("fast paint on"));
    EXPECT_TRUE(options.UseScreen);
}

TEST(ApplyOptions, ReopensTheDocumentWhenItsDecodingChanged) {
    struct Case {
        const char* name;
        int bpp;
        const char* ext;
        int pages;
        void (*change)(TOptions&);
        bool reopen;
        const char* call;
    };
    const Case cases[] = {
        {"jpeg palette, 8 bits, jpeg", 8, ".JPG", 1, [](TOptions& b) { b.JpegPalette = 0; }, true,
         "reopen for jpeg palette"},
        {"jpeg palette, 8 bits, jpe", 8, ".JPEG", 1, [](TOptions& b) { b.JpegPalette = 1; }, true,
         "reopen for jpeg palette"},
        {"jpeg palette, 24 bits", 24, ".JPG", 1, [](TOptions& b) { b.JpegPalette = 0; }, false, ""},
        {"jpeg palette, 8 bits, png", 8, ".PNG", 1, [](TOptions& b) { b.JpegPalette = 0; }, false,
         ""},
        {"fax quality, 3 pages", 24, ".TIF", 3, [](TOptions& b) { b.FaxQuality = 2; }, true,
         "reopen for fax quality"},
        {"fax quality, 1 page", 24, ".TIF", 1, [](TOptions& b) { b.FaxQuality = 2; }, false, ""},
        {"photo cd step, pcd", 24, ".PCD", 1, [](TOptions& b) { b.PhotoCdStep = 5; }, true,
         "reopen for photo cd step"},
        {"photo cd step, jpg", 24, ".JPG", 1, [](TOptions& b) { b.PhotoCdStep = 5; }, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TOptions options;
        TOptions boxes = options;
        c.change(boxes);
        RecordingTarget target;
        target.bitsPerPixel = c.bpp;
        target.currentExt = c.ext;
        target.pageCount = c.pages;
        apply(boxes, options, target);
        EXPECT_EQ(options.JpegPalette, boxes.JpegPalette);
        EXPECT_EQ(options.FaxQuality, boxes.FaxQuality);
        EXPECT_EQ(options.PhotoCdStep, boxes.PhotoCdStep);
        int reopens = 0;
        for (const auto& call : target.calls)
            if (call.rfind("reopen", 0) == 0) ++reopens;
        EXPECT_EQ(reopens, c.reopen ? 1 : 0);
        if (c.reopen) {
            EXPECT_TRUE(target.called(c.call));
        }
    }
}

TEST(ApplyOptions, BackColourGoesToTheWindow) {
    TOptions options;
    TOptions boxes = options;
    boxes.BackColor = 0x00FF8040;
    RecordingTarget target;
    apply(boxes, options, target);
    EXPECT_EQ(options.BackColor, 0x00FF8040u);
    EXPECT_TRUE(target.called("back color #ff8040"));
}

TEST(ApplyOptions, VolumeIsAtLeastOneAndReachesAnExistingPlayer) {
    TOptions options;
    TOptions boxes = options;
    boxes.Volume = 0;
    RecordingTarget target;
    apply(boxes, options, target);
    EXPECT_EQ(options.Volume, 1);
    EXPECT_FALSE(target.called("player volume -6908"));

    target.playerExists = true;
    boxes.Volume = 1000;
    apply(boxes, options, target);
    EXPECT_EQ(options.Volume, 1000);
    EXPECT_TRUE(target.called("player volume 0"));
}

TEST(ApplyOptions, MediaControlsReachThePlayerInMediaModeOnly) {
    TOptions options;
    TOptions boxes = options;
    boxes.MediaTrackBar = false;
    RecordingTarget target;
    apply(boxes, options, target);
    EXPECT_FALSE(options.MediaTrackBar);
    EXPECT_FALSE(target.called("media controls 110"));

    boxes.MediaStatusLine = false;
    target.mediaMode = true;
    apply(boxes, options, target);
    EXPECT_FALSE(options.MediaStatusLine);
    EXPECT_TRUE(target.called("media controls 010"));
}

TEST(ApplyOptions, PlainSettingsAreStored) {
    TOptions options;
    TOptions boxes = options;
    boxes.MultipleViewers = false;
    boxes.AutoReduce = false;
    boxes.AutoSize = false;
    boxes.AutoCenter = false;
    boxes.MaxFullScreen = false;
    boxes.EffectsSpeed = 3;
    boxes.SvgaPalette = 2;
    boxes.TextPosition = 1;
    boxes.AutoSizeVideo = false;
    boxes.AlwaysFullScreen = false;
    boxes.VurJukebox = true;
    boxes.SlideshowDelay = kMaximumDelay;
    boxes.MediaAutoPlayLoop = false;
    boxes.MediaMaxFullScreen = false;
    // Fields the dialog has no control for are not taken from the boxes.
    boxes.OpenDir = "/elsewhere";
    boxes.MainBounds = {1, 2, 3, 4};
    boxes.MediaFrameExtra2 = 77;
    RecordingTarget target;
    apply(boxes, options, target);
    TOptions expected = boxes;
    expected.OpenDir = "";
    expected.MainBounds = {};
    expected.MediaFrameExtra2 = 0;
    EXPECT_EQ(options, expected);
}

TEST(ApplyOptions, StartPageAndHelpContexts) {
    EXPECT_EQ(OptionsStartPage(false, false), kViewerPage);
    EXPECT_EQ(OptionsStartPage(false, true), kGraphicsPage);
    EXPECT_EQ(OptionsStartPage(true, false), kMultimediaPage);
    EXPECT_EQ(OptionsStartPage(true, true), kMultimediaPage);
    EXPECT_EQ(OptionsHelpContext(kViewerPage), 103);
    EXPECT_EQ(OptionsHelpContext(kGraphicsPage), 103);
    EXPECT_EQ(OptionsHelpContext(kSlideshowPage), 300);
    EXPECT_EQ(OptionsHelpContext(kMultimediaPage), 500);
}
