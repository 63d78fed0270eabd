#include "LutFilters.h"

#include "Hls.h"
#include "ParallelRows.h"
#include "TrueColour.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace lumara {

namespace {

// Runs rowFn(row, width) over every row of the bitmap.
template <class RowFn> void ForEachRow(Bitmap& bitmap, const char* caller, RowFn rowFn) {
    RequireTrueColour(bitmap, caller);
    if (bitmap.Empty()) return;
    const int width = bitmap.Width();
    ParallelRows(bitmap.Height(), PixelCount(bitmap), [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            rowFn(bitmap.ScanLine(y), width);
    });
}

// Bytes in pixel order blue, green, red.
struct ByteTables {
    uint8_t blue[256];
    uint8_t green[256];
    uint8_t red[256];
};

void ApplyTables(Bitmap& bitmap, const ByteTables& tables, const char* caller) {
    ForEachRow(bitmap, caller, [&tables](uint8_t* p, int width) {
        const uint8_t* const tb = tables.blue;
        const uint8_t* const tg = tables.green;
        const uint8_t* const tr = tables.red;
        uint8_t* const end = p + 3 * static_cast<size_t>(width);
        for (; end - p >= 12; p += 12) {
            const uint8_t b0 = tb[p[0]], g0 = tg[p[1]], r0 = tr[p[2]];
            const uint8_t b1 = tb[p[3]], g1 = tg[p[4]], r1 = tr[p[5]];
            const uint8_t b2 = tb[p[6]], g2 = tg[p[7]], r2 = tr[p[8]];
            const uint8_t b3 = tb[p[9]], g3 = tg[p[10]], r3 = tr[p[11]];
            p[0] = b0, p[1] = g0, p[2] = r0;
            p[3] = b1, p[4] = g1, p[5] = r1;
            p[6] = b2, p[7] = g2, p[8] = r2;
            p[9] = b3, p[10] = g3, p[11] = r3;
        }
        for (; p < end; p += 3) {
            p[0] = tb[p[0]];
            p[1] = tg[p[1]];
            p[2] = tr[p[2]];
        }
    });
}

ByteTables TablesOf(const ChannelMaps& maps) {
    ByteTables tables;
    std::copy(maps.BlueMap.begin(), maps.BlueMap.end(), tables.blue);
    std::copy(maps.GreenMap.begin(), maps.GreenMap.end(), tables.green);
    std::copy(maps.RedMap.begin(), maps.RedMap.end(), tables.red);
    return tables;
}

// The passes through the HLS model here change only lightness or saturation
// and keep the hue. Lightness and saturation depend only on the largest and
// smallest component of a pixel, so everything of the conversion back except
// the hue is looked up per (largest, smallest) pair: m1 | m2 << 16 at
// largest * 256 + smallest, built once per pass.
using MixTable = std::vector<uint32_t>;

// adjust(HlsColor of the pair, smallest) -> the pair's new lightness and
// saturation, each within 0..3600.
template <class Adjust> MixTable BuildMixTable(Adjust adjust) {
    MixTable table(256 * 256, 0);
    for (int mx = 0; mx < 256; ++mx) {
        for (int mn = 0; mn <= mx; ++mn) {
            const HlsColor adjusted = adjust(hls_detail::LightnessAndSaturation(mx, mn), mn);
            const hls_detail::HlsMix mix = hls_detail::MixOf(adjusted.L, adjusted.S);
            table[static_cast<size_t>(mx * 256 + mn)] = mix.m1 | mix.m2 << 16;
        }
    }
    return table;
}

// Rebuilds every pixel from its own hue and its pair's entry; finish(p, colour)
// stores the result (by default the colour itself).
struct StoreColour {
    void operator()(uint8_t* p, RgbColor c) const {
        p[0] = static_cast<uint8_t>(c.b);
        p[1] = static_cast<uint8_t>(c.g);
        p[2] = static_cast<uint8_t>(c.r);
    }
};

template <class Finish = StoreColour>
void HlsPass(Bitmap& bitmap, const char* caller, const MixTable& table, Finish finish = {}) {
    const uint32_t* const mixes = table.data();
    const uint32_t* const ramps = hls_detail::HueRamps().data();
    ForEachRow(bitmap, caller, [mixes, ramps, &finish](uint8_t* p, int width) {
        for (int x = 0; x < width; ++x, p += 3) {
            const int b = p[0], g = p[1], r = p[2];
            const int mx = std::max(r, std::max(g, b));
            const int mn = std::min(r, std::min(g, b));
            const uint32_t entry = mixes[mx * 256 + mn];
            finish(p, hls_detail::ComponentsOf(hls_detail::HueOf(r, g, b, mx, mn),
                                               hls_detail::HlsMix{entry & 0xFFFF, entry >> 16},
                                               ramps));
        }
    });
}

// A map level 0..255 as a lightness or saturation 0..3600.
int LevelToHls(int level) {
    return level * 3600 / 255;
}

// A lightness or saturation 0..3600 as a map index 0..255.
int HlsToLevel(int value) {
    return std::min(255, value * 255 / 3600);
}

} // namespace

void ColorFilter(Bitmap& bitmap, const ChannelMaps& maps) {
    ApplyTables(bitmap, TablesOf(maps), "ColorFilter");
}

void ColorFilterBitmap(Bitmap& bitmap, const ChannelMaps& maps) {
    ApplyTables(bitmap, TablesOf(maps), "ColorFilterBitmap");
}

void NegColorFilter(Bitmap& bitmap, const ChannelMaps& maps) {
    ByteTables tables;
    for (int i = 0; i < 256; ++i) {
        tables.blue[i] = static_cast<uint8_t>(255 - maps.BlueMap[255 - i]);
        tables.green[i] = static_cast<uint8_t>(255 - maps.GreenMap[255 - i]);
        tables.red[i] = static_cast<uint8_t>(255 - maps.RedMap[255 - i]);
    }
    ApplyTables(bitmap, tables, "NegColorFilter");
}

void LuminanceFilter(Bitmap& bitmap, const ChannelMaps& maps) {
    RequireTrueColour(bitmap, "LuminanceFilter");
    int lightness[256];
    for (int l = 0; l < 256; ++l)
        lightness[l] = LevelToHls(maps.GreenMap[l]);
    HlsPass(bitmap, "LuminanceFilter", BuildMixTable([&lightness](HlsColor hls, int) {
                return HlsColor{0, lightness[HlsToLevel(hls.L)], hls.S};
            }));
}

void SaturationFilter(Bitmap& bitmap, const ChannelMaps& maps) {
    RequireTrueColour(bitmap, "SaturationFilter");
    int saturation[256];
    for (int s = 0; s < 256; ++s)
        saturation[s] = LevelToHls(maps.BlueMap[maps.GreenMap[s]]);
    HlsPass(bitmap, "SaturationFilter", BuildMixTable([&saturation](HlsColor hls, int) {
                return HlsColor{0, hls.L, saturation[HlsToLevel(hls.S)]};
            }));
}

void MultiplyRGB(Bitmap& bitmap) {
    ByteTables tables;
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<uint8_t>(i * i / 255);
        tables.blue[i] = tables.green[i] = tables.red[i] = v;
    }
    ApplyTables(bitmap, tables, "MultiplyRGB");
}

void MultiplyLuminance(Bitmap& bitmap) {
    RequireTrueColour(bitmap, "MultiplyLuminance");
    HlsPass(bitmap, "MultiplyLuminance", BuildMixTable([](HlsColor hls, int) {
                return HlsColor{0, std::min(3600, hls.L * hls.L / 3600), hls.S};
            }));
}

void UnWashMore(Bitmap& bitmap) {
    RequireTrueColour(bitmap, "UnWashMore");
    const MixTable table = BuildMixTable([](HlsColor hls, int smallest) {
        const int lm = GreyLightness(smallest);
        return HlsColor{0, std::min(3600, lm * lm / 3600), hls.S};
    });
    HlsPass(bitmap, "UnWashMore", table, [](uint8_t* p, RgbColor c) {
        p[0] = static_cast<uint8_t>((p[0] + c.b) / 2);
        p[1] = static_cast<uint8_t>((p[1] + c.g) / 2);
        p[2] = static_cast<uint8_t>((p[2] + c.r) / 2);
    });
}

void InvertBitmap(Bitmap& bitmap) {
    ForEachRow(bitmap, "InvertBitmap", [](uint8_t* p, int width) {
        // Eight bytes at a time; the bytes past the last pixel are left alone.
        const size_t n = 3 * static_cast<size_t>(width);
        size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            uint64_t word;
            std::memcpy(&word, p + i, 8);
            word = ~word;
            std::memcpy(p + i, &word, 8);
        }
        for (; i < n; ++i)
            p[i] = static_cast<uint8_t>(~p[i]);
    });
}

} // namespace lumara
