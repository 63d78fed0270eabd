#include "app/settings/ViewSettings.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace lumara;

namespace {

ViewSettingsBytes patternBytes() {
    // Every byte distinct from zero, flags 0 or 1, so a byte the record
    // forgets to carry shows up as a difference.
    ViewSettingsBytes b{};
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<uint8_t>(0x11 + i * 7);
    const size_t flags[] = {48, 49, 50, 51,  52,  53,  54,  72,  73,  88, 89,
                            90, 91, 92, 112, 113, 124, 125, 126, 127, 144};
    for (size_t i = 0; i < std::size(flags); ++i)
        b[flags[i]] = static_cast<uint8_t>(i % 2);
    return b;
}

struct FieldCase {
    const char* name;
    size_t offset;
    std::vector<uint8_t> bytes; // little-endian image of the value
    std::function<void(ViewSettings&)> set;
};

} // namespace

TEST(ViewSettings, EveryFieldSitsAtItsOffset) {
    const std::vector<FieldCase> cases = {
        {"batch editor left",
         0,
         {0x01, 0x02, 0x03, 0x04},
         [](auto& s) { s.BatchEditorBounds.Left = 0x04030201; }},
        {"batch editor bottom",
         12,
         {0xFE, 0xFF, 0xFF, 0xFF},
         [](auto& s) { s.BatchEditorBounds.Bottom = -2; }},
        {"comment top", 20, {0x10, 0, 0, 0}, [](auto& s) { s.CommentBounds.Top = 16; }},
        {"comment right", 24, {0x20, 0x01, 0, 0}, [](auto& s) { s.CommentBounds.Right = 0x120; }},
        {"main left", 32, {0x05, 0, 0, 0}, [](auto& s) { s.MainBounds.Left = 5; }},
        {"main bottom", 44, {0x00, 0x04, 0, 0}, [](auto& s) { s.MainBounds.Bottom = 1024; }},
        {"menu bar", 48, {1}, [](auto& s) { s.MenuBar = true; }},
        {"tool bar", 49, {1}, [](auto& s) { s.ToolBar = true; }},
        {"status bar", 50, {1}, [](auto& s) { s.StatusBar = true; }},
        {"button text", 51, {1}, [](auto& s) { s.ButtonText = true; }},
        {"fit to window", 52, {1}, [](auto& s) { s.FitToWindow = true; }},
        {"auto reduce", 53, {1}, [](auto& s) { s.AutoReduce = true; }},
        {"max full screen", 54, {1}, [](auto& s) { s.MaxFullScreen = true; }},
        {"padding 55", 55, {0xAB}, [](auto& s) { s.Pad55 = 0xAB; }},
        {"fax quality", 56, {2, 0, 0, 0}, [](auto& s) { s.FaxQuality = 2; }},
        {"jpeg palette", 60, {1, 0, 0, 0}, [](auto& s) { s.JpegPalette = 1; }},
        {"back colour", 64, {0x11, 0x22, 0x33, 0x00}, [](auto& s) { s.BackColor = 0x00332211; }},
        {"common controls", 68, {4, 0, 0, 0}, [](auto& s) { s.CommonControlsLevel = 4; }},
        {"auto size", 72, {1}, [](auto& s) { s.AutoSize = true; }},
        {"auto center", 73, {1}, [](auto& s) { s.AutoCenter = true; }},
        {"padding 74",
         74,
         {0xC1, 0xC2},
         [](auto& s) {
             s.Pad74 = {0xC1, 0xC2};
         }},
        {"effects speed", 76, {3, 0, 0, 0}, [](auto& s) { s.EffectsSpeed = 3; }},
        {"svga palette", 80, {2, 0, 0, 0}, [](auto& s) { s.SvgaPalette = 2; }},
        {"delay", 84, {0x60, 0xEA, 0, 0}, [](auto& s) { s.SlideshowDelay = 60000; }},
        {"media status line", 88, {1}, [](auto& s) { s.MediaStatusLine = true; }},
        {"media track bar", 89, {1}, [](auto& s) { s.MediaTrackBar = true; }},
        {"media player controls", 90, {1}, [](auto& s) { s.MediaPlayerControls = true; }},
        {"media max full screen", 91, {1}, [](auto& s) { s.MediaMaxFullScreen = true; }},
        {"media auto play", 92, {1}, [](auto& s) { s.MediaAutoPlayLoop = true; }},
        {"padding 93",
         93,
         {7, 8, 9},
         [](auto& s) {
             s.Pad93 = {7, 8, 9};
         }},
        {"frame extra 1",
         96,
         {1, 0, 0, 0x80},
         [](auto& s) { s.MediaFrameExtra1 = int32_t(0x80000001u); }},
        {"frame extra 2", 100, {2, 0, 0, 0}, [](auto& s) { s.MediaFrameExtra2 = 2; }},
        {"frame extra 3", 104, {3, 0, 0, 0}, [](auto& s) { s.MediaFrameExtra3 = 3; }},
        {"volume", 108, {0xE8, 0x03, 0, 0}, [](auto& s) { s.Volume = 1000; }},
        {"auto size video", 112, {1}, [](auto& s) { s.AutoSizeVideo = true; }},
        {"always full screen", 113, {1}, [](auto& s) { s.AlwaysFullScreen = true; }},
        {"padding 114",
         114,
         {0xD1, 0xD2},
         [](auto& s) {
             s.Pad114 = {0xD1, 0xD2};
         }},
        {"reference resolution",
         116,
         {96, 0, 0, 0},
         [](auto& s) { s.MediaReferenceResolution = 96; }},
        {"text position", 120, {2, 0, 0, 0}, [](auto& s) { s.TextPosition = 2; }},
        {"use screen", 124, {1}, [](auto& s) { s.UseScreen = true; }},
        {"vur jukebox", 125, {1}, [](auto& s) { s.VurJukebox = true; }},
        {"path box", 126, {1}, [](auto& s) { s.PathBox = true; }},
        {"multiple viewers", 127, {1}, [](auto& s) { s.MultipleViewers = true; }},
        {"photo cd step", 128, {6, 0, 0, 0}, [](auto& s) { s.PhotoCdStep = 6; }},
        {"reserved",
         132,
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
         [](auto& s) { s.Reserved132 = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}; }},
        {"fast refresh", 144, {1}, [](auto& s) { s.FastRefresh = true; }},
        {"padding 145",
         145,
         {0xE1, 0xE2, 0xE3},
         [](auto& s) {
             s.Pad145 = {0xE1, 0xE2, 0xE3};
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ViewSettings s;
        c.set(s);
        const ViewSettingsBytes bytes = s.ToBytes();
        ViewSettingsBytes expected{};
        std::copy(c.bytes.begin(), c.bytes.end(), expected.begin() + c.offset);
        EXPECT_EQ(bytes, expected);
        // And back: the field alone is what the bytes describe.
        EXPECT_EQ(ViewSettings::FromBytes(expected), s);
    }
}

TEST(ViewSettings, RoundTripsByteForByteWithPadding) {
    const ViewSettingsBytes original = patternBytes();
    const ViewSettings s = ViewSettings::FromBytes(original);
    EXPECT_EQ(s.ToBytes(), original);
    EXPECT_EQ(s.Pad55, original[55]);
    EXPECT_EQ(s.Reserved132[11], original[143]);
    EXPECT_EQ(s.Pad145[2], original[147]);
}

TEST(ViewSettings, NewRecordIsAllZero) {
    const ViewSettingsBytes zero{};
    EXPECT_EQ(ViewSettings().ToBytes(), zero);
}

TEST(ViewSettings, WrongLengthIsRefused) {
    const std::vector<uint8_t> data(200, 0);
    for (const size_t size : {size_t(0), size_t(1), size_t(147), size_t(149), size_t(200)}) {
        SCOPED_TRACE(size);
        EXPECT_FALSE(ViewSettings::FromBytes(data.data(), size).has_value());
    }
    EXPECT_FALSE(ViewSettings::FromBytes(nullptr, 148).has_value());
    EXPECT_TRUE(ViewSettings::FromBytes(data.data(), 148).has_value());
}

TEST(ViewSettings, FlagByteOtherThanOneReadsAsSet) {
    ViewSettingsBytes b{};
    b[48] = 2;
    b[144] = 0xFF;
    const ViewSettings s = ViewSettings::FromBytes(b);
    EXPECT_TRUE(s.MenuBar);
    EXPECT_TRUE(s.FastRefresh);
    EXPECT_EQ(s.ToBytes()[48], 1);
    EXPECT_EQ(s.ToBytes()[144], 1);
}

TEST(ViewSettings, FirstRunDefaults) {
    const TRect start{10, 20, 650, 500};
    const ViewSettings s = DefaultViewSettings(24, start);
    EXPECT_EQ(s.BatchEditorBounds, start);
    EXPECT_EQ(s.CommentBounds, start);
    EXPECT_EQ(s.MainBounds, start);
    EXPECT_TRUE(s.MenuBar);
    EXPECT_TRUE(s.ToolBar);
    EXPECT_TRUE(s.StatusBar);
    EXPECT_TRUE(s.ButtonText);
    EXPECT_FALSE(s.FitToWindow);
    EXPECT_TRUE(s.AutoReduce);
    EXPECT_TRUE(s.MaxFullScreen);
    EXPECT_EQ(s.FaxQuality, 0);
    EXPECT_EQ(s.JpegPalette, 3);
    EXPECT_EQ(s.BackColor, 0u);
    EXPECT_TRUE(s.AutoSize);
    EXPECT_TRUE(s.AutoCenter);
    EXPECT_EQ(s.EffectsSpeed, 1);
    EXPECT_EQ(s.SvgaPalette, 0);
    EXPECT_EQ(s.SlideshowDelay, 1000);
    EXPECT_TRUE(s.MediaStatusLine);
    EXPECT_TRUE(s.MediaTrackBar);
    EXPECT_TRUE(s.MediaPlayerControls);
    EXPECT_TRUE(s.MediaMaxFullScreen);
    EXPECT_TRUE(s.MediaAutoPlayLoop);
    EXPECT_EQ(s.MediaFrameExtra1, 0);
    EXPECT_EQ(s.MediaFrameExtra2, 0);
    EXPECT_EQ(s.MediaFrameExtra3, 0);
    EXPECT_EQ(s.Volume, 500);
    EXPECT_TRUE(s.AutoSizeVideo);
    EXPECT_TRUE(s.AlwaysFullScreen);
    EXPECT_EQ(s.MediaReferenceResolution, 0);
    EXPECT_EQ(s.TextPosition, 0);
    EXPECT_FALSE(s.UseScreen);
    EXPECT_FALSE(s.VurJukebox);
    EXPECT_TRUE(s.PathBox);
    EXPECT_TRUE(s.MultipleViewers);
    EXPECT_EQ(s.PhotoCdStep, 3);
    EXPECT_TRUE(s.FastRefresh);
    EXPECT_EQ(s.Pad55, 0);
    EXPECT_EQ(s.Reserved132, (std::array<uint8_t, 12>{}));
    EXPECT_FALSE(DefaultViewSettings(8, start).FastRefresh);
    EXPECT_TRUE(DefaultViewSettings(9, start).FastRefresh);
}

namespace {
struct RepairCase {
    const char* name;
    std::function<void(ViewSettings&)> set;
    int bitsPerPixel;
    std::function<void(const ViewSettings&)> check;
};
} // namespace

TEST(ViewSettings, RepairsOnRead) {
    const std::vector<RepairCase> cases = {
        {"delay 70000", [](auto& s) { s.SlideshowDelay = 70000; }, 24,
         [](auto& s) { EXPECT_EQ(s.SlideshowDelay, 1000); }},
        {"delay 60001", [](auto& s) { s.SlideshowDelay = 60001; }, 24,
         [](auto& s) { EXPECT_EQ(s.SlideshowDelay, 1000); }},
        {"delay 60000 kept", [](auto& s) { s.SlideshowDelay = 60000; }, 24,
         [](auto& s) { EXPECT_EQ(s.SlideshowDelay, 60000); }},
        {"delay 1 kept", [](auto& s) { s.SlideshowDelay = 1; }, 24,
         [](auto& s) { EXPECT_EQ(s.SlideshowDelay, 1); }},
        {"delay 0 kept", [](auto& s) { s.SlideshowDelay = 0; }, 24,
         [](auto& s) { EXPECT_EQ(s.SlideshowDelay, 0); }},
        {"delay negative", [](auto& s) { s.SlideshowDelay = -5; }, 24,
         [](auto& s) { EXPECT_EQ(s.SlideshowDelay, 1000); }},
        {"jpeg palette 7", [](auto& s) { s.JpegPalette = 7; }, 24,
         [](auto& s) { EXPECT_EQ(s.JpegPalette, 3); }},
        {"jpeg palette -1", [](auto& s) { s.JpegPalette = -1; }, 24,
         [](auto& s) { EXPECT_EQ(s.JpegPalette, 3); }},
        {"jpeg palette 0 kept", [](auto& s) { s.JpegPalette = 0; }, 24,
         [](auto& s) { EXPECT_EQ(s.JpegPalette, 0); }},
        {"fax 9", [](auto& s) { s.FaxQuality = 9; }, 24,
         [](auto& s) { EXPECT_EQ(s.FaxQuality, 3); }},
        {"fax -4", [](auto& s) { s.FaxQuality = -4; }, 24,
         [](auto& s) { EXPECT_EQ(s.FaxQuality, 0); }},
        {"fax 2 kept", [](auto& s) { s.FaxQuality = 2; }, 24,
         [](auto& s) { EXPECT_EQ(s.FaxQuality, 2); }},
        {"volume 0", [](auto& s) { s.Volume = 0; }, 24, [](auto& s) { EXPECT_EQ(s.Volume, 1); }},
        {"volume -7", [](auto& s) { s.Volume = -7; }, 24, [](auto& s) { EXPECT_EQ(s.Volume, 1); }},
        {"volume 5000", [](auto& s) { s.Volume = 5000; }, 24,
         [](auto& s) { EXPECT_EQ(s.Volume, 1000); }},
        {"effects speed 4", [](auto& s) { s.EffectsSpeed = 4; }, 24,
         [](auto& s) { EXPECT_EQ(s.EffectsSpeed, 1); }},
        {"svga palette 3", [](auto& s) { s.SvgaPalette = 3; }, 24,
         [](auto& s) { EXPECT_EQ(s.SvgaPalette, 0); }},
        {"text position -1", [](auto& s) { s.TextPosition = -1; }, 24,
         [](auto& s) { EXPECT_EQ(s.TextPosition, 0); }},
        {"photo cd step 7", [](auto& s) { s.PhotoCdStep = 7; }, 24,
         [](auto& s) { EXPECT_EQ(s.PhotoCdStep, 3); }},
        {"photo cd step 6 kept", [](auto& s) { s.PhotoCdStep = 6; }, 24,
         [](auto& s) { EXPECT_EQ(s.PhotoCdStep, 6); }},
        {"fast refresh on 8 bits", [](auto& s) { s.FastRefresh = true; }, 8,
         [](auto& s) { EXPECT_FALSE(s.FastRefresh); }},
        {"fast refresh on 9 bits", [](auto& s) { s.FastRefresh = true; }, 9,
         [](auto& s) { EXPECT_TRUE(s.FastRefresh); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ViewSettings s = DefaultViewSettings(24, {});
        s.Volume = 500;
        c.set(s);
        RepairViewSettings(s, c.bitsPerPixel);
        c.check(s);
    }
}

TEST(ViewSettings, RepairLeavesAGoodRecordAlone) {
    ViewSettings s = ViewSettings::FromBytes(patternBytes());
    s.SlideshowDelay = 2500;
    s.JpegPalette = 1;
    s.FaxQuality = 2;
    s.Volume = 700;
    s.EffectsSpeed = 3;
    s.SvgaPalette = 2;
    s.TextPosition = 1;
    s.PhotoCdStep = 0;
    s.FastRefresh = true;
    ViewSettings repaired = s;
    RepairViewSettings(repaired, 32);
    EXPECT_EQ(repaired, s);
}
