#include "PointOperations.h"

#include "LutFilters.h"

namespace lumara {

namespace {

void BuildPerChannel(ChannelMaps& maps, void (*build)(ChannelMaps&, int, int), int red, int green,
                     int blue) {
    build(maps, red, ChannelRed);
    build(maps, green, ChannelGreen);
    build(maps, blue, ChannelBlue);
}

bool IsSelected(int channel, int selection) {
    return selection == kAllChannels || selection == channel;
}

} // namespace

void ApplyGamma(Bitmap& bitmap, ChannelMaps& maps, int red, int green, int blue) {
    BuildPerChannel(maps, SetGammaLUT, red, green, blue);
    ColorFilter(bitmap, maps);
}

void ApplyGammaSupress(Bitmap& bitmap, ChannelMaps& maps, int red, int green, int blue) {
    BuildPerChannel(maps, SetGammaLUT, red, green, blue);
    NegColorFilter(bitmap, maps);
}

void ApplyGammaSaturation(Bitmap& bitmap, ChannelMaps& maps, int gamma) {
    SetStretchLUT(maps, 0, 255, ChannelGreen);
    SetGammaLUT(maps, gamma, ChannelBlue);
    SaturationFilter(bitmap, maps);
}

void ApplyBrightness(Bitmap& bitmap, ChannelMaps& maps, int red, int green, int blue) {
    BuildPerChannel(maps, SetBrightLUT, red, green, blue);
    ColorFilter(bitmap, maps);
}

void ApplyShift(Bitmap& bitmap, ChannelMaps& maps, int red, int green, int blue) {
    BuildPerChannel(maps, SetShiftLUT, red, green, blue);
    ColorFilter(bitmap, maps);
}

void ApplyContrast(Bitmap& bitmap, ChannelMaps& maps, int red, int green, int blue) {
    BuildPerChannel(maps, SetContrastLUT, red, green, blue);
    ColorFilter(bitmap, maps);
}

std::array<int, 3> ApplyZero(Bitmap& bitmap, ChannelMaps& maps, Histograms& hist) {
    DoCalcHistogram(bitmap, hist, true, false);
    const std::array<int, 3> shifts = ZeroStartShifts(hist);
    ApplyShift(bitmap, maps, shifts[0], shifts[1], shifts[2]);
    return shifts;
}

void ApplySupress(Bitmap& bitmap, ChannelMaps& maps, int low, int high) {
    for (int ch = 0; ch < 3; ++ch)
        SetSupressLUT(maps, low, high, ch);
    ColorFilter(bitmap, maps);
}

void ApplyEnhance(Bitmap& bitmap, ChannelMaps& maps, int low, int high) {
    for (int ch = 0; ch < 3; ++ch)
        SetStretchLUT(maps, low, high, ch);
    ColorFilter(bitmap, maps);
}

void ApplyLighting(Bitmap& bitmap, ChannelMaps& maps, int low, int high) {
    SetStretchLUT(maps, low, high, ChannelGreen);
    LuminanceFilter(bitmap, maps);
}

void ApplySaturation(Bitmap& bitmap, ChannelMaps& maps, int low, int high) {
    // The saturation command starts from clean maps before it measures.
    ResetMaps(maps);
    SetStretchLUT(maps, low, high, ChannelGreen);
    SetGammaLUT(maps, 100, ChannelBlue);
    SaturationFilter(bitmap, maps);
}

void ApplyShadows(Bitmap& bitmap, ChannelMaps& maps, int red, int green, int blue) {
    SetStretchLUT(maps, red, 255, ChannelRed);
    SetStretchLUT(maps, green, 255, ChannelGreen);
    SetStretchLUT(maps, blue, 255, ChannelBlue);
    ColorFilter(bitmap, maps);
}

void ApplyHighlights(Bitmap& bitmap, ChannelMaps& maps, int red, int green, int blue) {
    SetStretchLUT(maps, 0, red, ChannelRed);
    SetStretchLUT(maps, 0, green, ChannelGreen);
    SetStretchLUT(maps, 0, blue, ChannelBlue);
    ColorFilter(bitmap, maps);
}

void ApplyUnWash(Bitmap& bitmap) {
    MultiplyRGB(bitmap);
}

void ApplyUnCook(Bitmap& bitmap) {
    UnWashMore(bitmap);
}

void ApplyAttenuate(Bitmap& bitmap) {
    MultiplyLuminance(bitmap);
}

void ApplyParametricEq(Bitmap& bitmap, ChannelMaps& maps, int centre, int band, int gain,
                       int channel) {
    SetEqLUT(maps, centre, band, ChannelRed, 0);
    for (int ch = 0; ch < 3; ++ch)
        if (IsSelected(ch, channel)) SetEqLUT(maps, centre, band, ch, gain);
    ColorFilter(bitmap, maps);
}

void ApplyLimit(Bitmap& bitmap, ChannelMaps& maps, int shadows, int median, int highlight,
                int channel) {
    // Both ramps go into one set of maps and one pass, so every level is
    // remapped once: passing the image through the low ramp a second time
    // would move the black point above the one chosen.
    ResetMaps(maps);
    const bool lowRamp = int64_t{median} - shadows > 3;
    const bool highRamp = int64_t{highlight} - median > 3;
    for (int ch = 0; ch < 3; ++ch) {
        if (!IsSelected(ch, channel)) continue;
        if (lowRamp) SetLoRemap(maps, shadows, median, ch);
        if (highRamp) SetHiRemap(maps, highlight, median, ch);
    }
    if (lowRamp || highRamp) ColorFilter(bitmap, maps);
}

void ApplyMapZero(Bitmap& bitmap, ChannelMaps& maps, Histograms& hist) {
    DoCalcHistogram(bitmap, hist, false, false);
    ResetMaps(maps);
    SetZeroMaps(maps, hist);
    ColorFilter(bitmap, maps);
}

std::array<int, 3> ApplyCenter(Bitmap& bitmap, ChannelMaps& maps, Histograms& hist) {
    DoCalcHistogram(bitmap, hist, true, false);
    const std::array<int, 3> shifts = CenterShifts(hist);
    ApplyShift(bitmap, maps, shifts[0], shifts[1], shifts[2]);
    return shifts;
}

void ApplyNegative(Bitmap& bitmap) {
    InvertBitmap(bitmap);
}

// ---------------------------------------------------------------------------

namespace {

constexpr PointParameter GammaParam(std::string_view name, std::string_view lowLabel,
                                    std::string_view highLabel, int batchMin = 1) {
    return PointParameter{name, 1, 500, 100, batchMin, 500, 10, 1, lowLabel, highLabel};
}

constexpr PointParameter SignedParam(std::string_view name) {
    return PointParameter{name, -127, 127, 0, -127, 127, 8, 1, "-127 (less)", "+127 (more)"};
}

constexpr PointParameter LevelParam(std::string_view name, int initial, std::string_view lowLabel,
                                    std::string_view highLabel) {
    return PointParameter{name, 0, 255, initial, 0, 255, 8, 1, lowLabel, highLabel};
}

constexpr PointParameter kLowLevel = LevelParam("low", 0, "0 (less)", "255 (more)");
constexpr PointParameter kHighLevel = LevelParam("high", 255, "0 (more)", "255 (less)");

constexpr std::array<PointParameter, 3> Rgb(PointParameter p) {
    PointParameter red = p, green = p, blue = p;
    red.name = "red";
    green.name = "green";
    blue.name = "blue";
    return {red, green, blue};
}

constexpr std::array<PointParameter, 3> kEqParams = {
    PointParameter{"centre", 0, 255, 127, 0, 255, 8, 1, "0 (dark)", "255 (bright)"},
    PointParameter{"band", 7, 127, 63, 7, 127, 8, 1, "7 (narrow)", "127 (wide)"},
    PointParameter{"gain", -127, 127, 0, -127, 127, 8, 1, "-127 (cut)", "+127 (boost)"},
};

constexpr std::array<PointParameter, 3> kLimitParams = {
    LevelParam("shadows", 0, "0 (less)", "255 (more)"),
    LevelParam("median", 128, "0 (low)", "255 (high)"),
    LevelParam("highlight", 255, "0 (more)", "255 (less)"),
};

template <int Channel> void RunEq(Bitmap& b, ChannelMaps& m, Histograms&, PointValues& v) {
    ApplyParametricEq(b, m, v[0], v[1], v[2], Channel);
}

template <int Channel> void RunLimit(Bitmap& b, ChannelMaps& m, Histograms&, PointValues& v) {
    ApplyLimit(b, m, v[0], v[1], v[2], Channel);
}

constexpr std::string_view kBusyBrightness = "Adjusting Brightness ...";
constexpr std::string_view kBusyEnhance = "Enhancing ...";

const PointOperation kOperations[] = {
    {"GAMMA",
     {100, 101},
     "Gamma ...",
     3,
     Rgb(GammaParam("", "1 (dark)", "500 (bright)")),
     [](Bitmap& b, ChannelMaps& m, Histograms&, PointValues& v) {
         ApplyGamma(b, m, v[0], v[1], v[2]);
     }},
    {"GAMMA_SUPRESS",
     {102, 0},
     "Gamma ...",
     3,
     Rgb(GammaParam("", "1 (bright)", "500 (dark)")),
     [](Bitmap& b, ChannelMaps& m, Histograms&, PointValues& v) {
         ApplyGammaSupress(b, m, v[0], v[1], v[2]);
     }},
    {"GAMMA_SATURATION",
     {103, 0},
     "Gamma ...",
     1,
     {GammaParam("saturation", "1 (less)", "500 (more)", 0)},
     [](Bitmap& b, ChannelMaps& m, Histograms&, PointValues& v) {
         ApplyGammaSaturation(b, m, v[0]);
     }},
    {"BRIGHTNESS",
     {110, 111},
     kBusyBrightness,
     3,
     Rgb(SignedParam("")),
     [](Bitmap& b, ChannelMaps& m, Histograms&, PointValues& v) {
         ApplyBrightness(b, m, v[0], v[1], v[2]);
     }},
    {"SHIFT",
     {112, 113},
     kBusyBrightness,
     3,
     Rgb(SignedParam("")),
     [](Bitmap& b, ChannelMaps& m, Histograms&, PointValues& v) {
         ApplyShift(b, m, v[0], v[1], v[2]);
     }},
    {"CONTRAST",
     {120, 121},
     "Adjusting Contrast ...",
     3,
     Rgb(SignedParam("")),
     [](Bitmap& b, ChannelMaps& m, Histograms&, PointValues& v) {
         ApplyContrast(b, m, v[0], v[1], v[2]);
     }},
    {"ZERO",
     {0, 0},
     kBusyBrightness,
     0,
     {},
     [](Bitmap& b, ChannelMaps& m, Histograms& h, PointValues& v) { v = ApplyZero(b, m, h); }},
    {"SUPRESS",
     {134, 0},
     kBusyEnhance,
     2,
     {kLowLevel, kHighLevel},
     [](Bitmap& b, ChannelMaps& m, Histograms&, PointValues& v) {
         ApplySupress(b, m, v[0], v[1]);
     }},
    {"ENHANCE",
     {130, 0},
     kBusyEnhance,
     2,
     {kLowLevel, kHighLevel},
     [](Bitmap& b, ChannelMaps& m, Histograms&, PointValues& v) {
         ApplyEnhance(b, m, v[0], v[1]);
     }},
    {"LIGHTING",
     {133, 0},
     kBusyEnhance,
     2,
     {kLowLevel, kHighLevel},
     [](Bitmap& b, ChannelMaps& m, Histograms&, PointValues& v) {
         ApplyLighting(b, m, v[0], v[1]);
     }},
    {"SATURATION",
     {135, 0},
     kBusyEnhance,
     2,
     {kLowLevel, kHighLevel},
     [](Bitmap& b, ChannelMaps& m, Histograms&, PointValues& v) {
         ApplySaturation(b, m, v[0], v[1]);
     }},
    {"SHADOWS",
     {131, 0},
     kBusyEnhance,
     3,
     Rgb(kLowLevel),
     [](Bitmap& b, ChannelMaps& m, Histograms&, PointValues& v) {
         ApplyShadows(b, m, v[0], v[1], v[2]);
     }},
    {"HIGHLIGHTS",
     {132, 0},
     kBusyEnhance,
     3,
     Rgb(kHighLevel),
     [](Bitmap& b, ChannelMaps& m, Histograms&, PointValues& v) {
         ApplyHighlights(b, m, v[0], v[1], v[2]);
     }},
    {"UNWASH",
     {0, 0},
     "",
     0,
     {},
     [](Bitmap& b, ChannelMaps&, Histograms&, PointValues&) { ApplyUnWash(b); }},
    {"UNCOOK",
     {0, 0},
     "",
     0,
     {},
     [](Bitmap& b, ChannelMaps&, Histograms&, PointValues&) { ApplyUnCook(b); }},
    {"ATTENUATE",
     {0, 0},
     "",
     0,
     {},
     [](Bitmap& b, ChannelMaps&, Histograms&, PointValues&) { ApplyAttenuate(b); }},
    {"PARAMETRIC_EQ_ALL", {140, 0}, "Parametric EQ ...", 3, kEqParams, RunEq<kAllChannels>},
    {"PARAMETRIC_EQ_RED", {141, 0}, "Parametric EQ ...", 3, kEqParams, RunEq<ChannelRed>},
    {"PARAMETRIC_EQ_GRN", {142, 0}, "Parametric EQ ...", 3, kEqParams, RunEq<ChannelGreen>},
    {"PARAMETRIC_EQ_BLU", {143, 0}, "Parametric EQ ...", 3, kEqParams, RunEq<ChannelBlue>},
    {"LIMIT_ALL", {400, 0}, "Limiting ...", 3, kLimitParams, RunLimit<kAllChannels>},
    {"LIMIT_RED", {401, 0}, "Limiting ...", 3, kLimitParams, RunLimit<ChannelRed>},
    {"LIMIT_GRN", {402, 0}, "Limiting ...", 3, kLimitParams, RunLimit<ChannelGreen>},
    {"LIMIT_BLU", {403, 0}, "Limiting ...", 3, kLimitParams, RunLimit<ChannelBlue>},
    {"ZEROMAP",
     {0, 0},
     "",
     0,
     {},
     [](Bitmap& b, ChannelMaps& m, Histograms& h, PointValues&) { ApplyMapZero(b, m, h); }},
    {"CENTER",
     {0, 0},
     "",
     0,
     {},
     [](Bitmap& b, ChannelMaps& m, Histograms& h, PointValues& v) { v = ApplyCenter(b, m, h); }},
    {"NEGATIVE",
     {0, 0},
     "",
     0,
     {},
     [](Bitmap& b, ChannelMaps&, Histograms&, PointValues&) { ApplyNegative(b); }},
};

} // namespace

std::span<const PointOperation> PointOperations() {
    return kOperations;
}

const PointOperation* FindPointOperation(std::string_view keyword) {
    for (const PointOperation& op : kOperations)
        if (op.keyword == keyword) return &op;
    return nullptr;
}

const PointOperation* FindPointOperationForDialog(int dialogType) {
    if (dialogType == 0) return nullptr;
    for (const PointOperation& op : kOperations)
        for (int type : op.dialogTypes)
            if (type == dialogType) return &op;
    return nullptr;
}

bool PointValuesInRange(const PointOperation& op, const PointValues& values) {
    for (int i = 0; i < op.paramCount; ++i) {
        const PointParameter& p = op.params[static_cast<size_t>(i)];
        if (values[static_cast<size_t>(i)] < p.batchMin ||
            values[static_cast<size_t>(i)] > p.batchMax)
            return false;
    }
    return true;
}

} // namespace lumara
