#include "batch/language/BatchLine.h"

#include <gtest/gtest.h>

#include <vector>

using namespace lumara;

struct LineCase {
    const char* name;
    std::vector<std::string> before; // lines parsed first in the same run
    std::string line;
    std::string keyword;
    std::array<int, 3> fields;
    std::string text;
    bool valid;
    bool hasArgument;
};

class BatchLineSyntax : public testing::TestWithParam<LineCase> {};

TEST_P(BatchLineSyntax, Parses)
{
    const LineCase& c = GetParam();
    BatchLineParser parser;
    for (const auto& l : c.before) parser.Parse(l);
    const BatchInstruction i = parser.Parse(c.line);
    EXPECT_EQ(i.valid, c.valid);
    EXPECT_EQ(i.keyword, c.keyword);
    if (c.valid) EXPECT_EQ(i.fields, c.fields);
    EXPECT_EQ(i.text, c.text);
    EXPECT_EQ(i.hasArgument, c.hasArgument);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BatchLineSyntax,
    testing::Values(
        LineCase{"lowerCaseWithSpacedFields", {}, "gamma=120, 110,100", "GAMMA", {120, 110, 100},
                 "gamma=120, 110,100", true, true},
        LineCase{"trailingSpaceInvalidatesTheLine", {}, "GAMMA=120,110,100 ", "GAMMA", {}, "GAMMA=120,110,100 ",
                 false, true},
        LineCase{"outOfRangeStillParses", {}, "BRIGHTNESS=200,0,0", "BRIGHTNESS", {200, 0, 0},
                 "BRIGHTNESS=200,0,0", true, true},
        LineCase{"negativeFields", {}, "SHIFT=-5,-127,3", "SHIFT", {-5, -127, 3}, "SHIFT=-5,-127,3",
                 true, true},
        LineCase{"missingFieldsAreZero", {}, "DEFOCUS=40", "DEFOCUS", {40, 0, 0}, "DEFOCUS=40", true,
                 true},
        LineCase{"emptyFieldsAreZero", {}, "ENHANCE=,5,", "ENHANCE", {0, 5, 0}, "ENHANCE=,5,", true,
                 true},
        LineCase{"thirdFieldTakesTheRest", {}, "X=1,2,3,4", "X", {}, "X=1,2,3,4", false, true},
        LineCase{"notANumber", {}, "GAMMA=a,1,1", "GAMMA", {}, "GAMMA=a,1,1", false, true},
        LineCase{"textmarkKeepsCase", {}, "TEXTMARK_TOPLEFT=(c) My Photos", "TEXTMARK_TOPLEFT",
                 {0, 0, 0}, "(c) My Photos", true, true},
        LineCase{"textmarkLowerCaseKeyword", {}, "textmark_topright=Hello, World",
                 "TEXTMARK_TOPRIGHT", {0, 0, 0}, "Hello, World", true, true},
        LineCase{"saveAlone", {}, "SAVE", "SAVE", {0, 0, 0}, "SAVE", true, false},
        LineCase{"saveWithSuffix", {}, "Save=_Small", "SAVE", {0, 0, 0}, "_Small", true, true},
        LineCase{"promptKeepsText", {}, "PROMPT_FILESTRING=Holiday 2019", "PROMPT_FILESTRING",
                 {0, 0, 0}, "Holiday 2019", true, true},
        LineCase{"lineWithoutEqualsKeepsPreviousFields", {"GAMMA=120,110,100"}, "negative",
                 "NEGATIVE", {120, 110, 100}, "negative", true, false},
        LineCase{"invalidLineDoesNotChangeCarriedFields", {"GAMMA=1,2,3", "GAMMA=x"}, "ZERO", "ZERO",
                 {1, 2, 3}, "ZERO", true, false},
        LineCase{"textLineKeepsCarriedFields", {"GAMMA=4,5,6", "SAVE"}, "ZERO", "ZERO", {4, 5, 6},
                 "ZERO", true, false},
        LineCase{"equalsFirstIsNotAnArgument", {}, "=5", "=5", {0, 0, 0}, "=5", true, false}),
    [](const auto& info) { return std::string(info.param.name); });
