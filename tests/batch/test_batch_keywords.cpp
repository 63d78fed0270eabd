#include "batch/language/BatchKeywords.h"

#include "document/Document.h"
#include "processing/lut/PointOperations.h"

#include <gtest/gtest.h>

using namespace lumara;

namespace {

struct RecordingHost : BatchHost {
    std::vector<std::string> saves;
    int refreshes = 0;
    bool answerAbort = false;
    std::vector<std::string> questions;
    bool Save(const std::string& suffix) override
    {
        saves.push_back(suffix);
        return true;
    }
    bool AskAbort(const std::string& q) override
    {
        questions.push_back(q);
        return answerAbort;
    }
    void Refresh() override { ++refreshes; }
};

void gradient(Document& d)
{
    d.NewImage(16, 4, 24);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 16; ++x) {
            uint8_t* p = d.surface.ScanLine(y) + 3 * x;
            p[0] = uint8_t(x * 16);
            p[1] = uint8_t(y * 60);
            p[2] = uint8_t(255 - x * 16);
        }
    d.state.ImageWidth = 16;
    d.state.ImageHeight = 4;
    d.state.ImageBitsPerPixel = 24;
}

} // namespace

TEST(BatchKeywords, EveryRowHasAnActionAndSaneRanges)
{
    for (const BatchKeyword& k : BatchKeywords()) {
        SCOPED_TRACE(std::string(k.keyword));
        EXPECT_TRUE(bool(k.perform));
        EXPECT_FALSE(k.keyword.empty());
        for (int a = 0; a < k.argCount; ++a) EXPECT_LE(k.ranges[size_t(a)].min, k.ranges[size_t(a)].max);
        EXPECT_EQ(FindBatchKeyword(k.keyword), &k);
    }
    EXPECT_NE(FindBatchKeyword("GAMMA"), nullptr);
    EXPECT_EQ(FindBatchKeyword("gamma"), nullptr);
    EXPECT_EQ(FindBatchKeyword("NO_SUCH"), nullptr);
}

TEST(BatchKeywords, GammaLineGivesTheSamePixelsAsTheOperation)
{
    Document viaLine;
    gradient(viaLine);
    Document direct;
    gradient(direct);
    RecordingHost host;
    BatchContext ctx{viaLine, host};
    BatchLineParser parser;
    EXPECT_EQ(PerformBatchLine("gamma=120, 110,100", parser, ctx), LineOutcome::Performed);
    ApplyGamma(direct.surface, direct.maps, 120, 110, 100);
    EXPECT_TRUE(viaLine.surface.SamePixels(direct.surface));
    EXPECT_TRUE(viaLine.state.ImageModified);
    EXPECT_EQ(host.refreshes, 1);
}

TEST(BatchKeywords, OutcomesOfBadLines)
{
    Document d;
    gradient(d);
    const Bitmap before = d.surface;
    RecordingHost host;
    BatchContext ctx{d, host};
    BatchLineParser parser;
    EXPECT_EQ(PerformBatchLine("BRIGHTNESS=200,0,0", parser, ctx), LineOutcome::OutOfRange);
    EXPECT_EQ(PerformBatchLine("GAMMA=120,110,100 ", parser, ctx), LineOutcome::InvalidField);
    EXPECT_EQ(PerformBatchLine("FROBNICATE=1", parser, ctx), LineOutcome::Unknown);
    EXPECT_EQ(PerformBatchLine("", parser, ctx), LineOutcome::Empty);
    EXPECT_TRUE(d.surface.SamePixels(before));
    EXPECT_FALSE(d.state.ImageModified);
}

TEST(BatchKeywords, SaveSuffixes)
{
    Document d;
    gradient(d);
    RecordingHost host;
    BatchContext ctx{d, host};
    PerformBatchScript({"SAVE", "SAVE=_web"}, ctx);
    EXPECT_EQ(host.saves, (std::vector<std::string>{"", "_web"}));
}

TEST(BatchKeywords, LineWithoutEqualsUsesTheFieldsBefore)
{
    // NEGATIVE takes no fields; a following GAMMA line without "=" reuses 120,110,100.
    Document a;
    gradient(a);
    Document b;
    gradient(b);
    RecordingHost host;
    BatchContext ctx{a, host};
    PerformBatchScript({"GAMMA=120,110,100", "NEGATIVE", "GAMMA"}, ctx);
    ApplyGamma(b.surface, b.maps, 120, 110, 100);
    ApplyNegative(b.surface);
    ApplyGamma(b.surface, b.maps, 120, 110, 100);
    EXPECT_TRUE(a.surface.SamePixels(b.surface));
}

TEST(BatchKeywords, PromptEndsTheRunOnYes)
{
    Document d;
    gradient(d);
    d.state.CurrentFile = "/photos/holiday/a.jpg";
    RecordingHost host;
    host.answerAbort = true;
    BatchContext ctx{d, host};
    std::vector<int> seen;
    PerformBatchScript({"PROMPT_HAS_FILESTRING=holiday", "NEGATIVE"}, ctx,
                       [&](int n, const std::string&, LineOutcome) { seen.push_back(n); });
    EXPECT_EQ(seen, std::vector<int>{1});
    EXPECT_EQ(host.questions, std::vector<std::string>{"holiday"});
    EXPECT_FALSE(d.state.ImageModified);
    EXPECT_FALSE(d.state.BatchRunning);
}

TEST(BatchKeywords, PaletteImagesArePromotedFirst)
{
    Document d;
    d.NewImage(4, 4, 8);
    d.state.ImageBitsPerPixel = 8;
    RecordingHost host;
    BatchContext ctx{d, host};
    BatchLineParser parser;
    EXPECT_EQ(PerformBatchLine("NEGATIVE", parser, ctx), LineOutcome::Performed);
    EXPECT_EQ(d.surface.Depth(), 24);
    EXPECT_EQ(d.state.ImageBitsPerPixel, 24);
    EXPECT_EQ(d.surface.PixelColor(0, 0), 0xFFFFFFu); // default palette entry 0 is black
}
