#include "app/settings/TOptions.h"

#include <gtest/gtest.h>

using namespace lumara;

TEST(Options, CopyOutAndBackKeepsEveryField) {
    ViewSettings r = DefaultViewSettings(24, {1, 2, 3, 4});
    r.Pad74 = {9, 9};
    r.CommonControlsLevel = 2;
    TOptions o;
    OptionsFromViewSettings(r, o);
    // The level is never read back from the record.
    EXPECT_EQ(o.CommonControlsLevel, 0);
    o.CommonControlsLevel = 2;
    ViewSettings back = r;
    back.Volume = 0; // overwritten by the copy
    OptionsToViewSettings(o, back);
    EXPECT_EQ(back, r);
}

TEST(Options, ChangedOptionsReachTheRecord) {
    ViewSettings r;
    TOptions o;
    o.SlideshowDelay = 4300;
    o.BackColor = 0x00FF8000;
    o.MediaTrackBar = false;
    o.UseScreen = true;
    o.OpenDir = "/x";
    OptionsToViewSettings(o, r);
    EXPECT_EQ(r.SlideshowDelay, 4300);
    EXPECT_EQ(r.BackColor, 0x000080FFu); // red in the record's lowest byte
    EXPECT_FALSE(r.MediaTrackBar);
    EXPECT_TRUE(r.UseScreen);
}

TEST(Options, BackColorIsRgbInTheOptionsAndBgrInTheRecord) {
    EXPECT_EQ(BackColorToQColor(0x00FF0000), QColor(255, 0, 0));
    EXPECT_EQ(BackColorToQColor(0x000000FF), QColor(0, 0, 255));
    EXPECT_EQ(BackColorToQColor(0x00336699), QColor(0x33, 0x66, 0x99));
    EXPECT_EQ(BackColorToQColor(0xFF00000F), QColor(0, 0, 0));
    EXPECT_EQ(QColorToBackColor(QColor(0x12, 0x34, 0x56)), 0x00123456u);

    ViewSettings r;
    r.BackColor = 0x00332211; // bytes 11 22 33: red 11, green 22, blue 33
    TOptions o;
    OptionsFromViewSettings(r, o);
    EXPECT_EQ(o.BackColor, 0x00112233u);
    EXPECT_EQ(BackColorToQColor(o.BackColor), QColor(0x11, 0x22, 0x33));
    // Not a plain colour: carried through unchanged.
    r.BackColor = 0x8000000F;
    OptionsFromViewSettings(r, o);
    ViewSettings back;
    OptionsToViewSettings(o, back);
    EXPECT_EQ(back.BackColor, 0x8000000Fu);
    EXPECT_EQ(QColorToBackColor(BackColorToQColor(0x00ABCDEF)), 0x00ABCDEFu);
}

TEST(Options, MediaPlayerVolumeIsLogarithmic) {
    const std::pair<int, int> cases[] = {
        {1000, 0}, {500, -693}, {1, -6908}, {0, -6908}, {-20, -6908}, {100, -2303}, {999, -1},
    };
    for (const auto& [volume, level] : cases)
        EXPECT_EQ(MediaPlayerVolume(volume), level) << volume;
}

TEST(Options, DelayLabel) {
    const std::pair<int, const char*> cases[] = {
        {1, "&Delay = 2 hours"}, {0, "&Delay = 0.0s"},      {100, "&Delay = 0.1s"},
        {1000, "&Delay = 1.0s"}, {1050, "&Delay = 1.0s"},   {1599, "&Delay = 1.5s"},
        {2, "&Delay = 0.0s"},    {60000, "&Delay = 60.0s"}, {12300, "&Delay = 12.3s"},
    };
    for (const auto& [position, text] : cases)
        EXPECT_EQ(DelayLabelText(position), text);
}
