#pragma once
// The channel maps: one 256-entry byte table per colour channel, filled by the
// table builders below and pushed through the image by the appliers
// (LutFilters.h). The maps belong to the document and keep their contents
// between commands: each builder overwrites exactly the entries it names and
// every other entry keeps what the previous builder left there. Callers that
// need a clean start call ResetMaps (or SetEqLUT with gain 0) first.
//
// GreenMap doubles as the lightness map of LuminanceFilter and the first stage
// of the saturation map, BlueMap as its second stage.
//
// Channel index: 0 = red, 1 = green, 2 = blue; any other index raises
// std::out_of_range. The builders take no other precautions about their
// arguments beyond never writing outside a table: callers keep them within the
// ranges of the operation table (PointOperations.h).

#include <array>
#include <cstdint>

namespace lumara {

enum LutChannel : int { ChannelRed = 0, ChannelGreen = 1, ChannelBlue = 2 };

using LevelMap = std::array<uint8_t, 256>;
using WideLevelMap = std::array<int16_t, 256>;

struct ChannelMaps {
    // All zero until a builder fills them.
    LevelMap RedMap{};
    LevelMap GreenMap{};
    LevelMap BlueMap{};
    // Brightness products not clamped to 255, for the white balance.
    WideLevelMap WideRedMap{};
    WideLevelMap WideGreenMap{};
    WideLevelMap WideBlueMap{};

    LevelMap& Map(int channel);
    const LevelMap& Map(int channel) const;
    WideLevelMap& WideMap(int channel);
};

// Rounds to the nearest integer, halves to even (0.5 -> 0, 1.5 -> 2).
int RoundHalfEven(double value);

// All three maps become the identity.
void ResetMaps(ChannelMaps& maps);

// t[i] = rounded 255 * (i / 255)^(100 / gamma) for i = 1..255; entry 0 of all
// three maps = 0. gamma in hundredths, 1..500; 100 is the identity. A gamma
// below 1 acts as 1.
void SetGammaLUT(ChannelMaps& maps, int gamma, int channel);

// Percentage P = (brightness + 127) * 100 div 127 (0..200);
// t[i] = min(255, rounded i * P / 100) for i = 1..255; entry 0 of all three = 0.
void SetBrightLUT(ChannelMaps& maps, int brightness, int channel);

// The same products, unclamped, into the channel's wide map; entry 0 of all
// three wide maps = 0.
void SetBrightLUTex(ChannelMaps& maps, int brightness, int channel);

// t[i] = i + shift clamped to 0..255 for i = 1..255; entry 0 of all three = 0.
void SetShiftLUT(ChannelMaps& maps, int shift, int channel);

// Contrast -127..127 about a pivot between 127 and 128: positive values push
// levels away from it (127 doubles the distance), negative values pull them
// towards it (-127 leaves only 127 and 128). 0 and 1 are the identity.
// Entries 1..255; entry 0 of all three maps = 0.
void SetContrastLUT(ChannelMaps& maps, int contrast, int channel);

// t[i] = rounded i * (high - low) / 255 + low for i = 0..255.
void SetSupressLUT(ChannelMaps& maps, int low, int high, int channel);

// t[0..low] = 0, t[high..255] = 255, and a linear ramp between; with
// high <= low only the two fills (a threshold at low when high = low).
void SetStretchLUT(ChannelMaps& maps, int low, int high, int channel);

// t[0..low] = 0 and a ramp from 0 at low towards median at median; entries
// from median upward are left alone.
void SetLoRemap(ChannelMaps& maps, int low, int median, int channel);

// t[high..255] = 255 and a ramp from median at median towards 255 at high;
// entries below median are left alone.
void SetHiRemap(ChannelMaps& maps, int high, int median, int channel);

// Parametric equaliser: gain 0 makes all three maps the identity. Otherwise
// the channel's map lifts (gain > 0) or lowers (gain < 0) the levels within
// band of centre by the square, over 255, of a half-sine bump of height
// band + |gain|; levels outside the bump keep their value.
void SetEqLUT(ChannelMaps& maps, int centre, int band, int channel, int gain);

// GreenMap[i] = rounded 127 * (i / 127)^(100 / gamma) for i = 1..127,
// GreenMap[0] = 0; entries 128..255 left alone. A gamma below 1 acts as 1.
void SetMidToneLUT(ChannelMaps& maps, int gamma);

// Map Zero: map[i] = the number of levels below i that the channel's
// histogram uses, for each channel (histogram from DoCalcHistogram).
struct Histograms;
void SetZeroMaps(ChannelMaps& maps, const Histograms& hist);

} // namespace lumara
