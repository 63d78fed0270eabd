#include "document/Document.h"
#include "document/FastPaint.h"

#include <gtest/gtest.h>

using namespace lumara;

struct PlanCase {
    const char* name;
    int bw, bh, cw, ch;
    TRect clip;
    bool oneBit;
    FastCopyPlan::Kind kind;
    TRect expectedClip;
    TRect expectedSource;
};

class FastScaledCopy : public testing::TestWithParam<PlanCase> {};

TEST_P(FastScaledCopy, PlansTheCopy)
{
    const PlanCase& c = GetParam();
    const FastCopyPlan p = PlanFastScaledCopy(c.bw, c.bh, c.cw, c.ch, c.clip, c.oneBit);
    EXPECT_EQ(p.kind, c.kind);
    EXPECT_EQ(p.clip, c.expectedClip);
    EXPECT_EQ(p.source, c.expectedSource);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FastScaledCopy,
    testing::Values(
        // 100 by 100 shown at 300 by 300: a 20-pixel clip widens to 21, a multiple of 3.
        PlanCase{"enlargeWidensTo21", 100, 100, 300, 300, {10, 0, 30, 30}, false,
                 FastCopyPlan::Kind::Enlarge, {10, 0, 31, 30}, {3, 0, 10, 10}},
        // At the right edge there is no room to the right: it grows to the left.
        PlanCase{"enlargeWidensLeftAtEdge", 100, 100, 300, 300, {285, 0, 299, 30}, false,
                 FastCopyPlan::Kind::Enlarge, {284, 0, 299, 30}, {95, 0, 100, 10}},
        PlanCase{"enlargeWidensHeight", 100, 100, 300, 300, {0, 5, 30, 12}, false,
                 FastCopyPlan::Kind::Enlarge, {0, 5, 30, 14}, {0, 2, 10, 5}},
        PlanCase{"enlargeBelowTwiceKeepsClip", 100, 100, 150, 150, {0, 0, 7, 7}, false,
                 FastCopyPlan::Kind::Enlarge, {0, 0, 7, 7}, {0, 0, 5, 5}},
        PlanCase{"sameHeightIsOneToOne", 200, 100, 200, 100, {5, 6, 25, 26}, false,
                 FastCopyPlan::Kind::OneToOne, {5, 6, 25, 26}, {5, 6, 25, 26}},
        PlanCase{"reduceByRows", 1000, 1000, 100, 100, {10, 10, 20, 20}, false,
                 FastCopyPlan::Kind::ReduceByRows, {10, 10, 20, 20}, {100, 100, 200, 200}},
        PlanCase{"reduceOneBitInOneCopy", 1000, 1000, 100, 100, {0, 0, 100, 100}, true,
                 FastCopyPlan::Kind::ReduceWhole, {0, 0, 100, 100}, {0, 0, 1000, 1000}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FastScaledCopy, OneSourceRowPerDestinationRow)
{
    EXPECT_EQ(SourceRowForDestRow(0, 1000, 100), 0);
    EXPECT_EQ(SourceRowForDestRow(1, 1000, 100), 10);
    EXPECT_EQ(SourceRowForDestRow(99, 1000, 100), 990);
    EXPECT_EQ(SourceRowForDestRow(2, 3, 2), 2); // never past the last row
}

TEST(StandardDraw, Rectangles)
{
    EXPECT_EQ(StandardDrawRect(300, 200, 50, 40, true, false), (TRect{0, 0, 300, 200}));
    EXPECT_EQ(StandardDrawRect(300, 200, 50, 40, false, true), (TRect{125, 80, 175, 120}));
    // A bitmap larger than the control starts at a negative offset.
    EXPECT_EQ(StandardDrawRect(100, 100, 301, 200, false, true), (TRect{-100, -50, 201, 150}));
    EXPECT_EQ(StandardDrawRect(100, 100, 30, 20, false, false), (TRect{0, 0, 30, 20}));
}

TEST(MulDiv, RoundsHalfAwayFromZero)
{
    EXPECT_EQ(MulDiv(10, 100, 300), 3);
    EXPECT_EQ(MulDiv(5, 1, 2), 3);
    EXPECT_EQ(MulDiv(-5, 1, 2), -3);
    EXPECT_EQ(MulDiv(7, 3, 0), -1);
    EXPECT_EQ(MulDiv(2000000000, 3, 4), 1500000000);
}

TEST(Document, BlankImage)
{
    Document d;
    d.state.ImageModified = true;
    d.MakeBlank(0x123456, true);
    EXPECT_EQ(d.state.CurrentFile, "Untitled");
    EXPECT_EQ(d.state.ImageWidth, 16);
    EXPECT_EQ(d.state.ImageHeight, 16);
    EXPECT_EQ(d.state.ImageBitsPerPixel, 24);
    EXPECT_TRUE(d.state.ImageLoaded);
    EXPECT_FALSE(d.state.ImageModified);
    EXPECT_EQ(d.surface.Width(), 16);
    EXPECT_EQ(d.surface.Depth(), 24);
    EXPECT_EQ(d.surface.PixelColor(15, 15), 0x123456u);
    EXPECT_EQ(d.ImageDescription(), "16x16(24) dib");
}

TEST(Document, BlankWithoutRenameKeepsTheName)
{
    Document d;
    d.state.CurrentFile = "/pics/a.vur";
    d.MakeBlank(0, false);
    EXPECT_EQ(d.state.CurrentFile, "/pics/a.vur");
}

TEST(Document, DescriptionOfAReducedDecode)
{
    Document d;
    d.state.ImageWidth = 800;
    d.state.ImageHeight = 600;
    d.state.FullWidth = 1600;
    d.state.FullHeight = 1200;
    d.state.ReducedDecode = true;
    d.state.ReductionFactor = 2;
    d.state.ImageBitsPerPixel = 24;
    EXPECT_EQ(d.ImageDescription(), "1600x1200(24) [1:2] dib");
    d.surface.handleType = HandleType::DDB;
    EXPECT_EQ(d.ImageDescription(), "1600x1200(24) [1:2] ddb");
}

TEST(Document, EnsureTwentyFourOnDeviceDependentKeepsPixels)
{
    Document d;
    d.NewImage(3, 2, 8);
    d.surface.SetPixelIndex(1, 1, 9); // default palette entry 9: red 255, green 85, blue 85
    d.surface.handleType = HandleType::DDB;
    d.state.ImageBitsPerPixel = 8;
    d.Ensure24();
    EXPECT_EQ(d.surface.handleType, HandleType::DIB);
    EXPECT_EQ(d.surface.Depth(), 24);
    EXPECT_EQ(d.state.ImageBitsPerPixel, 24);
    EXPECT_EQ(d.surface.PixelColor(1, 1), d.surface.PixelColor(1, 1));
    EXPECT_EQ(d.surface.PixelColor(1, 1), Bitmap(1, 1, 8).palette[9]);
}

TEST(Document, MakeDeviceDependentOnTrueColourScreen)
{
    Document d;
    d.state.DisplayBitsPerPixel = 32;
    d.NewImage(4, 4, 4);
    d.state.ImageBitsPerPixel = 4;
    d.MakeDeviceDependent();
    EXPECT_EQ(d.surface.handleType, HandleType::DDB);
    EXPECT_EQ(d.state.ImageBitsPerPixel, 24);
    EXPECT_EQ(d.DeviceIndependentCopyAtDepth(8), 8);
    EXPECT_EQ(d.surface.handleType, HandleType::DIB);
    EXPECT_EQ(d.surface.Depth(), 8);
}

TEST(Document, MakeDeviceDependentOnEightBitScreen)
{
    Document d;
    d.state.DisplayBitsPerPixel = 8;
    d.NewImage(4, 4, 1);
    d.state.ImageBitsPerPixel = 1;
    d.MakeDeviceDependent();
    EXPECT_EQ(d.surface.handleType, HandleType::DDB);
    EXPECT_EQ(d.state.ImageBitsPerPixel, 8);
}

TEST(Document, TransferFromLibraryDrawsAtTheImageDepth)
{
    ASSERT_TRUE(ImgInit());
    Bitmap src(5, 3, 8);
    src.palette.assign(256, 0);
    src.palette[7] = 0x10A0F0;
    src.SetPixelIndex(4, 2, 7);
    Document d;
    d.state.ImgHandle = ImgFromBitmap(src);
    ASSERT_NE(d.state.ImgHandle, 0u);
    ASSERT_TRUE(d.TransferFromLibrary(true, false));
    EXPECT_EQ(d.state.ImgHandle, 0u); // closed unless kept
    EXPECT_EQ(d.state.ImageWidth, 5);
    EXPECT_EQ(d.state.ImageHeight, 3);
    EXPECT_EQ(d.state.ImageBitsPerPixel, 8);
    EXPECT_EQ(d.surface.Depth(), 8);
    EXPECT_EQ(d.surface.PixelIndex(4, 2), 7);
    EXPECT_EQ(d.surface.PixelColor(4, 2), 0x10A0F0u);
}

TEST(Document, TransferKeepsTheHandleWhenAsked)
{
    ASSERT_TRUE(ImgInit());
    Document d;
    d.state.ImgHandle = ImgFromBitmap(Bitmap(2, 2, 24));
    ASSERT_TRUE(d.TransferFromLibrary(true, true));
    EXPECT_NE(d.state.ImgHandle, 0u);
    d.CloseLibraryImage();
    EXPECT_EQ(d.state.ImgHandle, 0u);
}

TEST(Document, FailedTransferLeavesTheSurface)
{
    Document d;
    d.MakeBlank(0xFFFFFF, true);
    d.state.ImgHandle = 0x7fff1234; // not open
    EXPECT_FALSE(d.TransferFromLibrary(true, false));
    EXPECT_EQ(d.surface.Width(), 16);
    EXPECT_FALSE(ImgGetStatus().empty());
}

#include "document/RtfText.h"

TEST(RtfText, ReducesRichTextToItsText)
{
    struct Case {
        const char* rtf;
        const char* text;
    } cases[] = {
        {"{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 Hello\\par World}", "Hello\nWorld"},
        {"{\\rtf1 a\\tab b\\line c}", "a\tb\nc"},
        {"{\\rtf1 caf\\'e9 \\{x\\} back\\\\slash}", "caf\xC3\xA9 {x} back\\slash"},
        {"{\\rtf1\\uc1 \\u8364?uro}", "\xE2\x82\xACuro"},
        {"{\\rtf1 {\\*\\generator Tool 1.0;}{\\info{\\title T}}body}", "body"},
        {"{\\rtf1 {\\colortbl;\\red0\\green0\\blue0;}x\\emdash y}", "x\xE2\x80\x94y"},
        {"plain text, not rtf", "plain text, not rtf"},
        {"{\\rtf1 unbalanced }}} end", "unbalanced  end"},
        {"{\\rtf1 \\'", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(RtfToText(c.rtf), c.text) << c.rtf;
}
