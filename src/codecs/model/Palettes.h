#pragma once
// The built-in palettes. Colours are 0x00RRGGBB.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumara {

using Palette = std::vector<uint32_t>;

const std::array<uint32_t, 16>& DefaultPalette16();
const std::array<uint32_t, 256>& DefaultPalette256();
// count gray steps from black to white (count 2, 16 or 256).
Palette GrayPalette(int count);

inline uint32_t MakeColor(int r, int g, int b)
{
    return (uint32_t(r & 255) << 16) | (uint32_t(g & 255) << 8) | uint32_t(b & 255);
}
inline int RedOf(uint32_t c) { return int((c >> 16) & 255); }
inline int GreenOf(uint32_t c) { return int((c >> 8) & 255); }
inline int BlueOf(uint32_t c) { return int(c & 255); }

// Index of the palette entry nearest to color (squared distance, first wins).
int NearestPaletteIndex(const uint32_t* palette, int count, uint32_t color);

} // namespace lumara
