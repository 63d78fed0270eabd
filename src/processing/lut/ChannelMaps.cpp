#include "ChannelMaps.h"

#include "Histograms.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace lumara {

namespace {

LevelMap& ChannelMap(ChannelMaps& maps, int channel, const char* caller) {
    switch (channel) {
    case ChannelRed:
        return maps.RedMap;
    case ChannelGreen:
        return maps.GreenMap;
    case ChannelBlue:
        return maps.BlueMap;
    default:
        throw std::out_of_range(std::string(caller) + ": channel " + std::to_string(channel) +
                                " is not 0 (red), 1 (green) or 2 (blue)");
    }
}

uint8_t ToLevel(double v) {
    return static_cast<uint8_t>(std::clamp(RoundHalfEven(std::clamp(v, -1.0, 256.0)), 0, 255));
}

uint8_t ToLevel(int64_t v) {
    return static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255));
}

void ZeroEntryZero(ChannelMaps& maps) {
    maps.RedMap[0] = 0;
    maps.GreenMap[0] = 0;
    maps.BlueMap[0] = 0;
}

// Writes t[i] = value for first <= i <= last, skipping levels outside the table.
void FillLevels(LevelMap& t, int64_t first, int64_t last, uint8_t value) {
    first = std::max<int64_t>(first, 0);
    last = std::min<int64_t>(last, 255);
    for (int64_t i = first; i <= last; ++i)
        t[static_cast<size_t>(i)] = value;
}

bool IsLevel(int64_t i) {
    return i >= 0 && i <= 255;
}

// 255 * (i / top)^(100 / gamma) scaled to top, the shape shared by the gamma
// and mid-tone tables.
double GammaCurve(int i, int top, int gamma) {
    const double g = std::max(gamma, 1) / 100.0;
    return top * std::exp(std::log(static_cast<double>(i) / top) / g);
}

} // namespace

LevelMap& ChannelMaps::Map(int channel) {
    return ChannelMap(*this, channel, "ChannelMaps::Map");
}

const LevelMap& ChannelMaps::Map(int channel) const {
    return ChannelMap(const_cast<ChannelMaps&>(*this), channel, "ChannelMaps::Map");
}

WideLevelMap& ChannelMaps::WideMap(int channel) {
    switch (channel) {
    case ChannelRed:
        return WideRedMap;
    case ChannelGreen:
        return WideGreenMap;
    case ChannelBlue:
        return WideBlueMap;
    default:
        throw std::out_of_range("ChannelMaps::WideMap: channel " + std::to_string(channel) +
                                " is not 0 (red), 1 (green) or 2 (blue)");
    }
}

int RoundHalfEven(double value) {
    // The default floating-point environment rounds to nearest, ties to even.
    return static_cast<int>(std::nearbyint(value));
}

void ResetMaps(ChannelMaps& maps) {
    for (int i = 0; i < 256; ++i) {
        maps.RedMap[i] = static_cast<uint8_t>(i);
        maps.GreenMap[i] = static_cast<uint8_t>(i);
        maps.BlueMap[i] = static_cast<uint8_t>(i);
    }
}

void SetGammaLUT(ChannelMaps& maps, int gamma, int channel) {
    LevelMap& t = ChannelMap(maps, channel, "SetGammaLUT");
    for (int i = 1; i < 256; ++i)
        t[i] = ToLevel(GammaCurve(i, 255, gamma));
    ZeroEntryZero(maps);
}

namespace {

// Brightness as an integer percentage 0..200 (100 for brightness 0).
int BrightPercent(int brightness) {
    return static_cast<int>((int64_t{brightness} + 127) * 100 / 127);
}

} // namespace

void SetBrightLUT(ChannelMaps& maps, int brightness, int channel) {
    LevelMap& t = ChannelMap(maps, channel, "SetBrightLUT");
    const int percent = BrightPercent(brightness);
    for (int i = 1; i < 256; ++i)
        t[i] = ToLevel(static_cast<double>(i) * percent / 100.0);
    ZeroEntryZero(maps);
}

void SetBrightLUTex(ChannelMaps& maps, int brightness, int channel) {
    ChannelMap(maps, channel, "SetBrightLUTex"); // validates the channel
    WideLevelMap& t = maps.WideMap(channel);
    const int percent = BrightPercent(brightness);
    constexpr double lo = std::numeric_limits<int16_t>::min();
    constexpr double hi = std::numeric_limits<int16_t>::max();
    for (int i = 1; i < 256; ++i)
        t[i] = static_cast<int16_t>(
            RoundHalfEven(std::clamp(static_cast<double>(i) * percent / 100.0, lo, hi)));
    maps.WideRedMap[0] = 0;
    maps.WideGreenMap[0] = 0;
    maps.WideBlueMap[0] = 0;
}

void SetShiftLUT(ChannelMaps& maps, int shift, int channel) {
    LevelMap& t = ChannelMap(maps, channel, "SetShiftLUT");
    for (int i = 1; i < 256; ++i)
        t[i] = ToLevel(int64_t{i} + shift);
    ZeroEntryZero(maps);
}

void SetContrastLUT(ChannelMaps& maps, int contrast, int channel) {
    LevelMap& t = ChannelMap(maps, channel, "SetContrastLUT");
    // Strength 0..100 in percent. Positive contrast spreads the levels from
    // the pivot, zero and negative contrast pull them in; -127 gives strength
    // 100, which flattens every level onto the pivot. (Taking the direction
    // from the strength instead would turn -127 into the identity.)
    const int64_t p = contrast;
    const bool increase = p > 0;
    const int64_t strength = increase ? (p + 127) * 100 / 127 - 100 : (p < 0 ? -p : p) * 100 / 127;
    const double d = static_cast<double>(strength);
    for (int i = 1; i < 256; ++i) {
        double v = i;
        if (increase) {
            if (v > 127)
                v = v + d * (v - 128) / 100.0;
            else
                v = v - d * (127 - v) / 100.0;
        } else {
            if (v > 127)
                v = std::max(128.0, v - d * (v - 128) / 100.0);
            else
                v = std::min(128.0, v + d * (127 - v) / 100.0);
        }
        t[i] = ToLevel(v);
    }
    ZeroEntryZero(maps);
}

void SetSupressLUT(ChannelMaps& maps, int low, int high, int channel) {
    LevelMap& t = ChannelMap(maps, channel, "SetSupressLUT");
    const double span = static_cast<double>(int64_t{high} - low);
    for (int i = 0; i < 256; ++i) {
        const double v =
            static_cast<double>(RoundHalfEven(std::clamp(i * span / 255.0, -1e6, 1e6)));
        t[i] = ToLevel(static_cast<int64_t>(v) + low);
    }
}

void SetStretchLUT(ChannelMaps& maps, int low, int high, int channel) {
    LevelMap& t = ChannelMap(maps, channel, "SetStretchLUT");
    FillLevels(t, 0, low, 0);
    FillLevels(t, high, 255, 255);
    if (high <= low) return;
    const int64_t span = int64_t{high} - low;
    for (int64_t j = 0; j < span; ++j) {
        if (!IsLevel(low + j)) continue;
        t[static_cast<size_t>(low + j)] = ToLevel(static_cast<double>(j) * 255.0 / span);
    }
}

void SetLoRemap(ChannelMaps& maps, int low, int median, int channel) {
    LevelMap& t = ChannelMap(maps, channel, "SetLoRemap");
    FillLevels(t, 0, low, 0);
    const int64_t span = int64_t{median} - low;
    for (int64_t j = 0; j < span; ++j) {
        if (!IsLevel(low + j)) continue;
        t[static_cast<size_t>(low + j)] = ToLevel(static_cast<double>(j) * median / span);
    }
}

void SetHiRemap(ChannelMaps& maps, int high, int median, int channel) {
    LevelMap& t = ChannelMap(maps, channel, "SetHiRemap");
    FillLevels(t, high, 255, 255);
    const int64_t span = int64_t{high} - median;
    for (int64_t j = 0; j < span; ++j) {
        if (!IsLevel(median + j)) continue;
        const double step =
            std::clamp(static_cast<double>(j) * (255 - int64_t{median}) / span, -1e6, 1e6);
        t[static_cast<size_t>(median + j)] =
            ToLevel(std::min<int64_t>(255, median + int64_t{RoundHalfEven(step)}));
    }
}

void SetEqLUT(ChannelMaps& maps, int centre, int band, int channel, int gain) {
    LevelMap& t = ChannelMap(maps, channel, "SetEqLUT");
    if (gain == 0) {
        ResetMaps(maps);
        return;
    }
    t.fill(0);
    // A band below 1 would divide by zero; the narrowest bump is one level wide.
    const int64_t halfWidth = std::max(band, 1);
    const int64_t lo = int64_t{centre} - halfWidth;
    const int64_t hi = int64_t{centre} + halfWidth;
    const int64_t magnitude = gain < 0 ? -int64_t{gain} : int64_t{gain};
    const int64_t peak = std::clamp<int64_t>(centre + magnitude, 0, 255);
    const double amplitude = static_cast<double>(peak - lo);
    const double pi = std::acos(-1.0);
    for (int64_t e = std::max<int64_t>(lo, 0); e <= std::min<int64_t>(hi, 255); ++e) {
        const double bump = amplitude * std::sin(pi * static_cast<double>(e - lo) /
                                                 (2.0 * static_cast<double>(halfWidth)));
        t[static_cast<size_t>(e)] = ToLevel(static_cast<int64_t>(std::trunc(bump)));
    }
    for (int i = 0; i < 256; ++i) {
        const int b = t[i] * t[i] / 255;
        t[i] = ToLevel(gain > 0 ? int64_t{i} + b : int64_t{i} - b);
    }
}

void SetMidToneLUT(ChannelMaps& maps, int gamma) {
    maps.GreenMap[0] = 0;
    for (int i = 1; i < 128; ++i)
        maps.GreenMap[i] = ToLevel(GammaCurve(i, 127, gamma));
}

void SetZeroMaps(ChannelMaps& maps, const Histograms& hist) {
    const HistogramArray* counts[3] = {&hist.HistRed, &hist.HistGreen, &hist.HistBlue};
    for (int ch = 0; ch < 3; ++ch) {
        LevelMap& t = maps.Map(ch);
        int used = 0;
        for (int i = 0; i < 256; ++i) {
            t[i] = static_cast<uint8_t>(used);
            if ((*counts[ch])[i] > 0) ++used;
        }
    }
}

} // namespace lumara
