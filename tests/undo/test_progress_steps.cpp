// The 5-percent rule of the progress bar.
#include "document/ProgressSteps.h"

#include <gtest/gtest.h>

#include <vector>

using namespace lumara;

namespace {

struct StepsCase {
    const char* name;
    std::vector<int> reported;
    std::vector<int> drawn;
};

std::vector<int> DrawnSteps(const std::vector<int>& reported) {
    ProgressSteps steps;
    steps.Start();
    std::vector<int> drawn;
    for (int p : reported)
        if (steps.Step(p)) drawn.push_back(p);
    return drawn;
}

} // namespace

TEST(ProgressSteps, DrawsOnlyNewMultiplesOfFive) {
    const StepsCase cases[] = {
        {"mixed steps", {1, 3, 5, 5, 7, 10}, {5, 10}},
        {"below two never draws", {0, 1, -5, -10}, {}},
        {"every percent", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {5, 10, 15}},
        {"repeat of the last only", {5, 10, 5, 10, 10}, {5, 10, 5, 10}},
        {"full run", {25, 50, 75, 100, 100}, {25, 50, 75, 100}},
        {"non-multiples", {2, 4, 6, 99, 101}, {}},
        {"beyond the end", {105}, {105}},
    };
    for (const StepsCase& c : cases)
        EXPECT_EQ(DrawnSteps(c.reported), c.drawn) << c.name;
}

TEST(ProgressSteps, StartForgetsThePreviousRun) {
    ProgressSteps steps;
    steps.Start();
    ASSERT_TRUE(steps.Step(50));
    EXPECT_FALSE(steps.Step(50));
    // A cancelled decode stopped at 50; the next one must draw its 50 again.
    steps.Start();
    EXPECT_EQ(steps.Last(), 0);
    EXPECT_TRUE(steps.Step(50));
    EXPECT_EQ(steps.Last(), 50);
}

TEST(ProgressSteps, BarWidthIsThePercentOfTheRectangle) {
    struct {
        int percent;
        int total;
        int width;
    } cases[] = {
        {5, 110, 5}, // 5 * 110 / 100 = 5.5, truncated
        {10, 110, 11}, {50, 110, 55}, {100, 110, 110}, {105, 110, 110}, // never past the panel
        {50, 0, 0},    {50, -4, 0},
    };
    for (const auto& c : cases) {
        ProgressSteps steps;
        steps.Start();
        ASSERT_TRUE(steps.Step(c.percent));
        EXPECT_EQ(steps.BarWidth(c.total), c.width) << c.percent << "% of " << c.total;
    }
    ProgressSteps none;
    none.Start();
    EXPECT_EQ(none.BarWidth(110), 0);
}
