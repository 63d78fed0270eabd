#pragma once
// The integer hue-lightness-saturation model shared by the tone, colour and
// mask operations: hue, lightness and saturation each run 0..3600 (hue in
// tenths of a degree, red at 0, green at 1200, blue at 2400). A grey has
// saturation 0 and hue 2400. Integer arithmetic only; "div" truncates.

#include <algorithm>
#include <array>
#include <cstdint>

namespace lumara {

struct HlsColor {
    int H = 0;
    int L = 0;
    int S = 0;
    bool operator==(const HlsColor&) const = default;
};

struct RgbColor {
    int r = 0;
    int g = 0;
    int b = 0;
    bool operator==(const RgbColor&) const = default;
};

namespace hls_detail {

// The divisions by a pixel-dependent divisor are done as a multiply and a
// shift: floor(n / d) exactly for 0 <= n < 2^21 and 1 <= d <= 510, which
// covers every numerator of the conversion.
constexpr std::array<uint64_t, 511> MakeReciprocals() {
    std::array<uint64_t, 511> table{};
    for (uint64_t d = 1; d < table.size(); ++d)
        table[d] = (uint64_t{1} << 40) / d + 1;
    return table;
}

inline constexpr std::array<uint64_t, 511> kReciprocal = MakeReciprocals();

inline int DivSmall(int n, int d) {
    return static_cast<int>((static_cast<uint64_t>(n) * kReciprocal[static_cast<size_t>(d)]) >> 40);
}

inline int Abs(int v) {
    return v < 0 ? -v : v;
}

// Hue of a pixel whose largest and smallest components are mx and mn, for
// components in 0..255. Written without branches on the pixel (all candidates
// computed, then selected): the hue sextant changes from pixel to pixel in any
// real picture. A grey divides by 0, which reads reciprocal 0, and gets 2400.
[[gnu::always_inline]] inline int HueOf(int r, int g, int b, int mx, int mn) {
    const int d = mx - mn;
    const int half = d / 2;
    const int rd = DivSmall(half + (mx - r) * 600, d);
    const int gd = DivSmall(half + (mx - g) * 600, d);
    const int bd = DivSmall(half + (mx - b) * 600, d);
    int h = r == mx ? bd - gd : (g == mx ? rd + 1200 - bd : gd + 2400 - rd);
    h = h < 0 ? Abs(h + 3600) : h;
    h = h > 3600 ? Abs(h - 3600) : h;
    return d == 0 ? 2400 : h;
}

// Lightness and saturation depend only on the largest and smallest component.
[[gnu::always_inline]] inline HlsColor LightnessAndSaturation(int mx, int mn) {
    const int sum = mx + mn;
    const int d = mx - mn;
    HlsColor hls;
    hls.L = (sum * 3600 + 255) / 510;
    const int divisor = hls.L <= 1800 ? sum : 510 - sum;
    hls.S = d == 0 ? 0 : DivSmall(d * 3600 + divisor / 2, divisor);
    return hls;
}

// For components already known to lie in 0..255.
[[gnu::always_inline]] inline HlsColor RgbToHlsUnchecked(int r, int g, int b) {
    const int mx = std::max(r, std::max(g, b));
    const int mn = std::min(r, std::min(g, b));
    HlsColor hls = LightnessAndSaturation(mx, mn);
    hls.H = HueOf(r, g, b, mx, mn);
    return hls;
}

inline int64_t HueToRgb(int64_t m1, int64_t m2, int64_t h) {
    if (h < 0) h = h + 3600 < 0 ? -(h + 3600) : h + 3600;
    if (h > 3600) h = h - 3600 < 0 ? -(h - 3600) : h - 3600;
    if (h < 600) return m1 + ((m2 - m1) * h + 300) / 600;
    if (h < 1800) return m2;
    if (h < 2400) return m1 + ((m2 - m1) * (2400 - h) + 300) / 600;
    return m1;
}

inline int ToByte(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, 0, 255));
}

// For hue, lightness and saturation all within 0..3600, where every
// intermediate value is non-negative and small: the same arithmetic in
// unsigned 32 bits, which the pixel passes use.
inline uint32_t HueToRgbInRange(uint32_t m1, uint32_t m2, int h) {
    h = h < 0 ? h + 3600 : h;
    h = h > 3600 ? h - 3600 : h;
    // The rising edge, the plateau at m2, the falling edge and the floor at m1
    // are one trapezoid: the position on it is min(h, 2400 - h) within 0..600.
    const int ramp = std::clamp(std::min(h, 2400 - h), 0, 600);
    return m1 + ((m2 - m1) * static_cast<uint32_t>(ramp) + 300) / 600;
}

// (v * 255 + 1800) div 3600 for v in 0..3600, the last step of each component.
constexpr std::array<uint8_t, 3601> MakeComponentBytes() {
    std::array<uint8_t, 3601> table{};
    for (uint32_t v = 0; v < table.size(); ++v)
        table[v] = static_cast<uint8_t>((v * 255 + 1800) / 3600);
    return table;
}

inline constexpr std::array<uint8_t, 3601> kComponentByte = MakeComponentBytes();

// Every v reaching here is at most 3600 (m2 never exceeds it); the clamp only
// keeps the table read inside the table.
inline int HueComponent(uint32_t v) {
    return kComponentByte[std::min<uint32_t>(v, 3600)];
}

// The two levels between which the components of a colour lie, from its
// lightness and saturation (0..3600 each).
struct HlsMix {
    uint32_t m1 = 0;
    uint32_t m2 = 0;
};

[[gnu::always_inline]] inline HlsMix MixOf(int L, int S) {
    const auto l = static_cast<uint32_t>(L);
    const auto s = static_cast<uint32_t>(S);
    // With s = 0 both m1 and m2 come out as l, which gives the grey.
    const uint32_t low = (l * (s + 3600) + 1800) / 3600;
    const uint32_t high = l + s - (l * s + 1800) / 3600;
    const uint32_t m2 = l <= 1800 ? low : high;
    return HlsMix{2 * l - m2, m2};
}

// The positions of the red, green and blue components on the trapezoid for
// each hue 0..3600, ten bits each (red lowest), so a pass looks them up
// instead of working them out per pixel.
inline uint32_t RampOf(int h) {
    h = h < 0 ? h + 3600 : h;
    h = h > 3600 ? h - 3600 : h;
    return static_cast<uint32_t>(std::clamp(std::min(h, 2400 - h), 0, 600));
}

inline const std::array<uint32_t, 3601>& HueRamps() {
    static const std::array<uint32_t, 3601> ramps = [] {
        std::array<uint32_t, 3601> table{};
        for (int h = 0; h <= 3600; ++h)
            table[static_cast<size_t>(h)] =
                RampOf(h + 1200) | RampOf(h) << 10 | RampOf(h - 1200) << 20;
        return table;
    }();
    return ramps;
}

[[gnu::always_inline]] inline int ComponentAt(HlsMix mix, uint32_t ramp) {
    return HueComponent(mix.m1 + ((mix.m2 - mix.m1) * ramp + 300) / 600);
}

// For a hue within 0..3600, with the ramp table of HueRamps().
[[gnu::always_inline]] inline RgbColor ComponentsOf(int H, HlsMix mix, const uint32_t* ramps) {
    const uint32_t packed = ramps[H];
    return RgbColor{ComponentAt(mix, packed & 1023), ComponentAt(mix, packed >> 10 & 1023),
                    ComponentAt(mix, packed >> 20)};
}

[[gnu::always_inline]] inline RgbColor ComponentsOf(int H, HlsMix mix) {
    return RgbColor{HueComponent(HueToRgbInRange(mix.m1, mix.m2, H + 1200)),
                    HueComponent(HueToRgbInRange(mix.m1, mix.m2, H)),
                    HueComponent(HueToRgbInRange(mix.m1, mix.m2, H - 1200))};
}

[[gnu::always_inline]] inline RgbColor HlsToRgbInRange(int H, int L, int S) {
    return ComponentsOf(H, MixOf(L, S));
}

inline bool InHlsRange(int v) {
    return static_cast<unsigned>(v) <= 3600u;
}

} // namespace hls_detail

// Components outside 0..255 are first brought into that range.
inline HlsColor RgbToHls(int r, int g, int b) {
    return hls_detail::RgbToHlsUnchecked(std::clamp(r, 0, 255), std::clamp(g, 0, 255),
                                         std::clamp(b, 0, 255));
}

inline HlsColor RgbToHls(RgbColor c) {
    return RgbToHls(c.r, c.g, c.b);
}

// Each component of the result is clamped to 0..255, as every caller stores
// bytes. A grey's level is rounded like the chromatic components are, so that
// RgbToHls followed by HlsToRgb gives back every colour, greys included.
inline RgbColor HlsToRgb(int H, int L, int S) {
    using namespace hls_detail;
    if (InHlsRange(H) && InHlsRange(L) && InHlsRange(S)) return HlsToRgbInRange(H, L, S);
    if (S == 0) {
        const int v = ToByte((int64_t{L} * 255 + 1800) / 3600);
        return RgbColor{v, v, v};
    }
    const int64_t l = L;
    const int64_t s = S;
    const int64_t m2 = l <= 1800 ? (l * (s + 3600) + 1800) / 3600 : l + s - (l * s + 1800) / 3600;
    const int64_t m1 = 2 * l - m2;
    return RgbColor{ToByte((HueToRgb(m1, m2, int64_t{H} + 1200) * 255 + 1800) / 3600),
                    ToByte((HueToRgb(m1, m2, int64_t{H}) * 255 + 1800) / 3600),
                    ToByte((HueToRgb(m1, m2, int64_t{H} - 1200) * 255 + 1800) / 3600)};
}

inline RgbColor HlsToRgb(HlsColor c) {
    return HlsToRgb(c.H, c.L, c.S);
}

// Lightness of the grey (v, v, v).
inline int GreyLightness(int v) {
    return (2 * std::clamp(v, 0, 255) * 3600 + 255) / 510;
}

} // namespace lumara
