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

// For components already known to lie in 0..255.
inline HlsColor RgbToHlsUnchecked(int r, int g, int b) {
    const int mx = std::max(r, std::max(g, b));
    const int mn = std::min(r, std::min(g, b));
    const int sum = mx + mn;
    HlsColor hls;
    hls.L = (sum * 3600 + 255) / 510;
    if (mx == mn) {
        hls.S = 0;
        hls.H = 2400;
        return hls;
    }
    const int d = mx - mn;
    if (hls.L <= 1800)
        hls.S = DivSmall(d * 3600 + sum / 2, sum);
    else
        hls.S = DivSmall(d * 3600 + (510 - sum) / 2, 510 - sum);
    const int rd = DivSmall(d / 2 + (mx - r) * 600, d);
    const int gd = DivSmall(d / 2 + (mx - g) * 600, d);
    const int bd = DivSmall(d / 2 + (mx - b) * 600, d);
    int h;
    if (r == mx)
        h = bd - gd;
    else if (g == mx)
        h = rd + 1200 - bd;
    else
        h = gd + 2400 - rd;
    if (h < 0) h = Abs(h + 3600);
    if (h > 3600) h = Abs(h - 3600);
    hls.H = h;
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
