// The JPEG settings record and the Save As scale rule.

#include "codecs/jpeg/TJpegSettings.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

using namespace lumara;

TEST(JpegSettings, DefaultsAreBaselineWithOptimizedFloatDctAndScale48) {
    const TJpegSettings s;
    EXPECT_FALSE(s.Progressive);
    EXPECT_FALSE(s.Subsample);
    EXPECT_TRUE(s.OptimizeCoding);
    EXPECT_TRUE(s.HighAccuracy);
    EXPECT_EQ(s.SmoothingType, 0);
    EXPECT_EQ(s.SmoothingAmount, 0);
    EXPECT_EQ(s.Scale, 48);
    EXPECT_TRUE(s.Loaded());
    EXPECT_EQ(s.LibjpegSmoothing(), 0);
}

TEST(JpegSettings, NotLoadedUntilRead) {
    const TJpegSettings s = TJpegSettings::NotLoaded();
    EXPECT_EQ(s.Scale, -1);
    EXPECT_FALSE(s.Loaded());
}

TEST(JpegSettings, DefaultRecordBytes) {
    const std::array<uint8_t, 16> expected = {0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 48, 0, 0, 0};
    EXPECT_EQ(TJpegSettings().Serialize(), expected);
}

TEST(JpegSettings, RecordLayoutByteForByte) {
    TJpegSettings s;
    s.Progressive = true;
    s.Subsample = true;
    s.OptimizeCoding = false;
    s.HighAccuracy = false;
    s.SmoothingType = 2;
    s.SmoothingAmount = 0x000000C8;
    s.Scale = 0x000000FF;
    const std::array<uint8_t, 16> expected = {1, 1, 0, 0, 2, 0, 0, 0, 0xC8, 0, 0, 0, 0xFF, 0, 0, 0};
    const auto bytes = s.Serialize();
    EXPECT_EQ(bytes, expected);

    const auto back = TJpegSettings::Parse(bytes.data(), bytes.size());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->Serialize(), bytes);
    EXPECT_TRUE(back->Progressive);
    EXPECT_TRUE(back->Subsample);
    EXPECT_FALSE(back->OptimizeCoding);
    EXPECT_FALSE(back->HighAccuracy);
    EXPECT_EQ(back->SmoothingType, 2);
    EXPECT_EQ(back->SmoothingAmount, 200);
    EXPECT_EQ(back->Scale, 255);
}

TEST(JpegSettings, NotLoadedScaleIsWrittenAsMinusOne) {
    const auto bytes = TJpegSettings::NotLoaded().Serialize();
    EXPECT_EQ(bytes[12], 0xFF);
    EXPECT_EQ(bytes[13], 0xFF);
    EXPECT_EQ(bytes[14], 0xFF);
    EXPECT_EQ(bytes[15], 0xFF);
}

TEST(JpegSettings, WrongSizeIsTreatedAsMissing) {
    const std::array<uint8_t, 17> bytes{};
    EXPECT_FALSE(TJpegSettings::Parse(bytes.data(), 15).has_value());
    EXPECT_FALSE(TJpegSettings::Parse(bytes.data(), 17).has_value());
    EXPECT_FALSE(TJpegSettings::Parse(nullptr, 16).has_value());
}

TEST(JpegSettings, DamagedFieldsComeBackInRange) {
    struct Case {
        uint8_t type;
        int32_t amount;
        int32_t scale;
        int expectType, expectAmount, expectScale;
    };
    const Case cases[] = {
        {3, -5, 0, 0, 0, 1},
        {1, 300, 400, 1, 255, 255},
        {2, 255, -1, 2, 255, 1},
        {0, 17, 99, 0, 17, 99},
    };
    for (const Case& c : cases) {
        TJpegSettings s;
        s.SmoothingAmount = c.amount;
        s.Scale = c.scale;
        auto bytes = s.Serialize();
        bytes[4] = c.type;
        const auto back = TJpegSettings::Parse(bytes.data(), bytes.size());
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(back->SmoothingType, c.expectType);
        EXPECT_EQ(back->SmoothingAmount, c.expectAmount);
        EXPECT_EQ(back->Scale, c.expectScale);
    }
}

TEST(JpegSettings, BooleansAreAnyNonZeroByte) {
    std::array<uint8_t, 16> bytes = TJpegSettings().Serialize();
    bytes[0] = 0x80;
    bytes[2] = 0;
    const auto s = TJpegSettings::Parse(bytes.data(), bytes.size());
    ASSERT_TRUE(s.has_value());
    EXPECT_TRUE(s->Progressive);
    EXPECT_FALSE(s->OptimizeCoding);
    EXPECT_EQ(s->Serialize()[0], 1);
}

TEST(JpegSettings, WizardScaleIsCappedAt255) {
    const std::pair<int, int> cases[] = {{400, 255}, {512, 255}, {255, 255}, {1, 1}, {48, 48}};
    for (auto [position, stored] : cases) {
        TJpegSettings s;
        s.SetScaleFromWizard(position);
        EXPECT_EQ(s.Scale, stored) << position;
    }
}

TEST(JpegSettings, OnlyStandardSmoothingReachesLibjpeg) {
    TJpegSettings s;
    s.SmoothingAmount = 40;
    const std::pair<uint8_t, int> cases[] = {{0, 40}, {1, 0}, {2, 0}};
    for (auto [type, expected] : cases) {
        s.SmoothingType = type;
        EXPECT_EQ(s.LibjpegSmoothing(), expected) << int(type);
    }
}

TEST(JpegSettings, SaveAsScaleFromCompressionValue) {
    const std::pair<int, int> cases[] = {{25, 193}, {61, 102}, {62, 99},
                                         {1, 255},  {50, 130}, {100, 2}};
    for (auto [compression, scale] : cases)
        EXPECT_EQ(SaveAsJpegScale(compression), scale) << compression;
}
