#include "Palettes.h"

#include <cstddef>

namespace lumara {

namespace {

// Entries as blue, green, red, the order of the colour table they stand for.
constexpr uint8_t kVga16[16][3] = {{0, 0, 0},     {0, 0, 170},    {0, 170, 0},    {0, 170, 170},
                                   {170, 0, 0},   {170, 0, 170},  {170, 85, 0},   {170, 170, 170},
                                   {85, 85, 85},  {85, 85, 255},  {85, 255, 85},  {85, 255, 255},
                                   {255, 85, 85}, {255, 85, 255}, {255, 255, 85}, {255, 255, 255}};

uint32_t fromBgr(int b, int g, int r) {
    return MakeColor(r, g, b);
}

std::array<uint32_t, 256> build256() {
    std::array<uint32_t, 256> p{};
    for (int i = 0; i < 16; ++i)
        p[i] = fromBgr(kVga16[i][0], kVga16[i][1], kVga16[i][2]);
    constexpr int ramp[16] = {0,   20,  32,  44,  56,  69,  81,  97,
                              113, 130, 146, 162, 182, 203, 227, 255};
    for (int i = 0; i < 16; ++i)
        p[16 + i] = fromBgr(ramp[i], ramp[i], ramp[i]);
    p[30] = fromBgr(227, 179, 179);

    // Nine rings of 24 hues: intensities 255, 113, 65, each at three saturations.
    // A ring walks red -> magenta -> blue -> cyan -> green -> yellow -> red in
    // four steps per sextant; the first ring's steps are 0, 65, 125, 190, 255.
    constexpr int kStep[5] = {0, 65, 125, 190, 255};
    constexpr int kIntensity[3] = {255, 113, 65};
    constexpr int kSatPermille[3] = {1000, 650, 350};
    int n = 32;
    for (int in = 0; in < 3; ++in) {
        for (int s = 0; s < 3; ++s) {
            const int hi = kIntensity[in];
            const int lo = hi - hi * kSatPermille[s] / 1000;
            auto lvl = [&](int step) { return lo + (hi - lo) * kStep[step] / 255; };
            for (int h = 0; h < 24; ++h) {
                const int sextant = h / 4, k = h % 4;
                int b = 0, g = 0, r = 0;
                switch (sextant) {
                case 0:
                    r = hi;
                    b = lvl(k);
                    g = lo;
                    break; // red -> magenta
                case 1:
                    b = hi;
                    r = lvl(4 - k);
                    g = lo;
                    break; // magenta -> blue
                case 2:
                    b = hi;
                    g = lvl(k);
                    r = lo;
                    break; // blue -> cyan
                case 3:
                    g = hi;
                    b = lvl(4 - k);
                    r = lo;
                    break; // cyan -> green
                case 4:
                    g = hi;
                    r = lvl(k);
                    b = lo;
                    break; // green -> yellow
                default:
                    r = hi;
                    g = lvl(4 - k);
                    b = lo;
                    break; // yellow -> red
                }
                p[n++] = fromBgr(b, g, r);
            }
        }
    }
    // 248..255 stay zero.
    return p;
}

} // namespace

const std::array<uint32_t, 16>& DefaultPalette16() {
    static const std::array<uint32_t, 16> p = [] {
        std::array<uint32_t, 16> a{};
        for (int i = 0; i < 16; ++i)
            a[i] = fromBgr(kVga16[i][0], kVga16[i][1], kVga16[i][2]);
        return a;
    }();
    return p;
}

const std::array<uint32_t, 256>& DefaultPalette256() {
    static const std::array<uint32_t, 256> p = build256();
    return p;
}

Palette GrayPalette(int count) {
    Palette p(size_t(count > 0 ? count : 0));
    const int step = count > 1 ? 255 / (count - 1) : 0;
    for (int i = 0; i < count; ++i)
        p[size_t(i)] = MakeColor(i * step, i * step, i * step);
    return p;
}

int NearestPaletteIndex(const uint32_t* palette, int count, uint32_t color) {
    const int r = RedOf(color), g = GreenOf(color), b = BlueOf(color);
    int best = 0;
    int bestDist = 0x7fffffff;
    for (int i = 0; i < count; ++i) {
        const int dr = RedOf(palette[i]) - r, dg = GreenOf(palette[i]) - g,
                  db = BlueOf(palette[i]) - b;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDist) {
            bestDist = d;
            best = i;
            if (d == 0) break;
        }
    }
    return best;
}

} // namespace lumara
