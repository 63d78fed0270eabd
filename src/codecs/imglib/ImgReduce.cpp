// Colour reduction: a new palette image of at most the asked number of
// colours. The palette is chosen by median cut over a histogram of the image
// (or is the depth's default palette when asked), and the pixels are mapped
// row by row with Floyd-Steinberg error diffusion unless asked otherwise.
// Images that already have few enough colours keep them exactly.

#include "ImgHandles.h"
#include "ImgLib.h"

#include "codecs/model/Exceptions.h"
#include "codecs/model/Palettes.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <shared_mutex>
#include <unordered_map>
#include <vector>

namespace lumara {

namespace {

// One row of any surface depth as 0x00RRGGBB values.
void rowColors(const Bitmap& b, int y, uint32_t* out) {
    const uint8_t* src = b.ScanLine(y);
    const int w = b.Width();
    const Palette& pal = b.palette;
    auto entry = [&](unsigned i) { return i < pal.size() ? pal[i] : 0u; };
    switch (b.Depth()) {
    case 1:
        for (int x = 0; x < w; ++x)
            out[x] = entry((src[x >> 3] >> (7 - (x & 7))) & 1);
        break;
    case 4:
        for (int x = 0; x < w; ++x)
            out[x] = entry((src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
        break;
    case 8:
        for (int x = 0; x < w; ++x)
            out[x] = entry(src[x]);
        break;
    default:
        for (int x = 0; x < w; ++x, src += 3)
            out[x] = MakeColor(src[2], src[1], src[0]);
        break;
    }
}

// The image's colours in order of appearance, or empty when there are more
// than limit of them.
Palette fewColors(const Bitmap& b, int limit) {
    std::unordered_map<uint32_t, int> seen;
    Palette colors;
    std::vector<uint32_t> row(size_t(b.Width()));
    for (int y = 0; y < b.Height(); ++y) {
        rowColors(b, y, row.data());
        uint32_t last = 0xFFFFFFFFu;
        for (uint32_t c : row) {
            if (c == last) continue;
            last = c;
            if (seen.emplace(c, 0).second) {
                if (int(colors.size()) == limit) return {};
                colors.push_back(c);
            }
        }
    }
    return colors;
}

// ---- median cut over a 5-bit-per-channel histogram

constexpr int kBits = 5;
constexpr int kSide = 1 << kBits;

struct Cell {
    uint64_t count = 0;
    uint64_t r = 0, g = 0, b = 0;
};

inline int cellIndex(int r5, int g5, int b5) {
    return (r5 << (2 * kBits)) | (g5 << kBits) | b5;
}

struct Box {
    int lo[3], hi[3]; // inclusive cell bounds per channel (r, g, b)
    uint64_t count = 0;
};

class MedianCut {
  public:
    explicit MedianCut(const Bitmap& image) : cells_(size_t(kSide) * kSide * kSide) {
        std::vector<uint32_t> row(size_t(image.Width()));
        for (int y = 0; y < image.Height(); ++y) {
            rowColors(image, y, row.data());
            for (uint32_t c : row) {
                const int r = RedOf(c), g = GreenOf(c), b = BlueOf(c);
                Cell& cell = cells_[size_t(cellIndex(r >> 3, g >> 3, b >> 3))];
                ++cell.count;
                cell.r += uint64_t(r);
                cell.g += uint64_t(g);
                cell.b += uint64_t(b);
            }
        }
    }

    Palette Choose(int colors) {
        std::vector<Box> boxes;
        Box all{{0, 0, 0}, {kSide - 1, kSide - 1, kSide - 1}, 0};
        shrink(all);
        boxes.push_back(all);
        while (int(boxes.size()) < colors) {
            // The first half of the splits goes by population, the rest by
            // size, so both busy and rare colours get their share.
            const bool byCount = int(boxes.size()) * 2 < colors;
            int best = -1;
            uint64_t bestScore = 0;
            for (size_t i = 0; i < boxes.size(); ++i) {
                const Box& b = boxes[i];
                if (!splittable(b)) continue;
                const uint64_t score = byCount ? b.count : volume(b);
                if (best < 0 || score > bestScore) {
                    best = int(i);
                    bestScore = score;
                }
            }
            if (best < 0) break;
            Box second;
            split(boxes[size_t(best)], second);
            boxes.push_back(second);
        }
        Palette palette;
        for (const Box& b : boxes)
            palette.push_back(meanColor(b));
        return palette;
    }

  private:
    static bool splittable(const Box& b) {
        return b.count > 0 && (b.hi[0] > b.lo[0] || b.hi[1] > b.lo[1] || b.hi[2] > b.lo[2]);
    }

    // Extent weighted the way the eye weighs the channels (green most).
    static uint64_t volume(const Box& b) {
        const uint64_t r = uint64_t(b.hi[0] - b.lo[0] + 1) * 2;
        const uint64_t g = uint64_t(b.hi[1] - b.lo[1] + 1) * 3;
        const uint64_t bl = uint64_t(b.hi[2] - b.lo[2] + 1);
        return r * r + g * g + bl * bl;
    }

    template <class F> void eachCell(const Box& b, F f) const {
        for (int r = b.lo[0]; r <= b.hi[0]; ++r)
            for (int g = b.lo[1]; g <= b.hi[1]; ++g)
                for (int bl = b.lo[2]; bl <= b.hi[2]; ++bl) {
                    const Cell& c = cells_[size_t(cellIndex(r, g, bl))];
                    if (c.count) f(r, g, bl, c);
                }
    }

    // Tightens the box to the cells that hold pixels and counts them.
    void shrink(Box& b) const {
        int lo[3] = {kSide, kSide, kSide}, hi[3] = {-1, -1, -1};
        uint64_t count = 0;
        eachCell(b, [&](int r, int g, int bl, const Cell& c) {
            const int v[3] = {r, g, bl};
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], v[k]);
                hi[k] = std::max(hi[k], v[k]);
            }
            count += c.count;
        });
        b.count = count;
        if (count == 0) return;
        for (int k = 0; k < 3; ++k) {
            b.lo[k] = lo[k];
            b.hi[k] = hi[k];
        }
    }

    // Splits box at the population median of its longest weighted side.
    void split(Box& box, Box& second) const {
        static const int kWeight[3] = {2, 3, 1};
        int axis = 0, longest = -1;
        for (int k = 0; k < 3; ++k) {
            const int len = (box.hi[k] - box.lo[k]) * kWeight[k];
            if (box.hi[k] > box.lo[k] && len > longest) {
                longest = len;
                axis = k;
            }
        }
        std::array<uint64_t, kSide> slice{};
        eachCell(box, [&](int r, int g, int bl, const Cell& c) {
            const int v[3] = {r, g, bl};
            slice[size_t(v[axis])] += c.count;
        });
        uint64_t acc = 0;
        int cut = box.lo[axis];
        for (int v = box.lo[axis]; v < box.hi[axis]; ++v) {
            acc += slice[size_t(v)];
            cut = v;
            if (acc * 2 >= box.count) break;
        }
        second = box;
        box.hi[axis] = cut;
        second.lo[axis] = cut + 1;
        shrink(box);
        shrink(second);
    }

    uint32_t meanColor(const Box& b) const {
        uint64_t n = 0, r = 0, g = 0, bl = 0;
        eachCell(b, [&](int, int, int, const Cell& c) {
            n += c.count;
            r += c.r;
            g += c.g;
            bl += c.b;
        });
        if (n == 0) return 0;
        return MakeColor(int((r + n / 2) / n), int((g + n / 2) / n), int((bl + n / 2) / n));
    }

    std::vector<Cell> cells_;
};

// The default palette of a depth, for the fixed-palette method: black and
// white, the 16 standard colours, or a colour cube with grays filling up.
Palette fixedPalette(int colors) {
    if (colors <= 2) return {0x000000, 0xFFFFFF};
    if (colors <= 16) {
        const auto& p16 = DefaultPalette16();
        return Palette(p16.begin(), p16.begin() + colors);
    }
    int side = 2;
    while ((side + 1) * (side + 1) * (side + 1) <= colors)
        ++side;
    Palette p;
    for (int r = 0; r < side; ++r)
        for (int g = 0; g < side; ++g)
            for (int b = 0; b < side; ++b)
                p.push_back(
                    MakeColor(r * 255 / (side - 1), g * 255 / (side - 1), b * 255 / (side - 1)));
    const int grays = colors - int(p.size());
    for (int i = 1; i <= grays; ++i) {
        const int v = i * 255 / (grays + 1);
        p.push_back(MakeColor(v, v, v));
    }
    return p;
}

// Nearest palette entry of a colour, remembered per 6-bit cell.
class NearestCache {
  public:
    explicit NearestCache(const Palette& palette)
        : palette_(palette), cache_(size_t(1) << 18, int16_t(-1)) {}

    int Find(int r, int g, int b) {
        const size_t key = (size_t(r >> 2) << 12) | (size_t(g >> 2) << 6) | size_t(b >> 2);
        int16_t& slot = cache_[key];
        if (slot < 0)
            slot =
                int16_t(NearestPaletteIndex(palette_.data(), int(palette_.size()),
                                            MakeColor((r & ~3) | 2, (g & ~3) | 2, (b & ~3) | 2)));
        return slot;
    }

  private:
    const Palette& palette_;
    std::vector<int16_t> cache_;
};

void putIndex(uint8_t* row, int x, int depth, int index) {
    if (depth == 8) {
        row[x] = uint8_t(index);
    } else if (depth == 4) {
        row[x >> 1] |= uint8_t((x & 1) ? index : index << 4);
    } else if (index) {
        row[x >> 3] |= uint8_t(0x80 >> (x & 7));
    }
}

Bitmap mapExact(const Bitmap& src, const Palette& palette, int depth) {
    std::unordered_map<uint32_t, int> index;
    for (size_t i = 0; i < palette.size(); ++i)
        index.emplace(palette[i], int(i));
    Bitmap out(src.Width(), src.Height(), depth);
    out.palette = palette;
    std::vector<uint32_t> row(size_t(src.Width()));
    for (int y = 0; y < src.Height(); ++y) {
        rowColors(src, y, row.data());
        uint8_t* dst = out.ScanLine(y);
        uint32_t last = 0xFFFFFFFFu;
        int lastIndex = 0;
        for (int x = 0; x < src.Width(); ++x) {
            if (row[size_t(x)] != last) {
                last = row[size_t(x)];
                lastIndex = index.at(last);
            }
            putIndex(dst, x, depth, lastIndex);
        }
    }
    return out;
}

Bitmap mapDithered(const Bitmap& src, const Palette& palette, int depth, bool dither) {
    const int w = src.Width();
    Bitmap out(w, src.Height(), depth);
    out.palette = palette;
    NearestCache nearest(palette);
    std::vector<uint32_t> row(static_cast<size_t>(w));
    // Error carried to the current and the next row, per channel, one pixel
    // of margin on each side.
    std::vector<int> errThis(size_t(w + 2) * 3, 0), errNext(size_t(w + 2) * 3, 0);
    for (int y = 0; y < src.Height(); ++y) {
        rowColors(src, y, row.data());
        uint8_t* dst = out.ScanLine(y);
        std::fill(errNext.begin(), errNext.end(), 0);
        for (int x = 0; x < w; ++x) {
            const uint32_t c = row[size_t(x)];
            int v[3] = {RedOf(c), GreenOf(c), BlueOf(c)};
            int* e = &errThis[size_t(x + 1) * 3];
            if (dither)
                for (int k = 0; k < 3; ++k)
                    v[k] = std::clamp(v[k] + ((e[k] + 8) >> 4), 0, 255);
            const int index = nearest.Find(v[0], v[1], v[2]);
            putIndex(dst, x, depth, index);
            if (!dither) continue;
            const uint32_t p = palette[size_t(index)];
            const int got[3] = {RedOf(p), GreenOf(p), BlueOf(p)};
            for (int k = 0; k < 3; ++k) {
                const int err = v[k] - got[k];
                errThis[size_t(x + 2) * 3 + size_t(k)] += err * 7;
                errNext[size_t(x) * 3 + size_t(k)] += err * 3;
                errNext[size_t(x + 1) * 3 + size_t(k)] += err * 5;
                errNext[size_t(x + 2) * 3 + size_t(k)] += err;
            }
        }
        errThis.swap(errNext);
    }
    return out;
}

} // namespace

HIMG ImgReduceColors(HIMG image, int colors, int flags) {
    auto entry = LookupImage(image);
    if (!entry) return 0;
    if (colors < 2 || colors > 256) {
        SetImgStatus("Invalid number of colors");
        return 0;
    }
    try {
        std::shared_lock<std::shared_mutex> guard(entry->lock);
        const Bitmap& src = entry->Current();
        const int depth = colors <= 2 ? 1 : colors <= 16 ? 4 : 8;
        Bitmap result;
        Palette exact = fewColors(src, colors);
        if (!exact.empty()) {
            result = mapExact(src, exact, depth);
        } else {
            const Palette palette = (flags & kReduceFixedPalette) ? fixedPalette(colors)
                                                                  : MedianCut(src).Choose(colors);
            result = mapDithered(src, palette, depth, (flags & kReduceNoDither) == 0);
        }
        result.xPelsPerMeter = src.xPelsPerMeter;
        result.yPelsPerMeter = src.yPelsPerMeter;
        guard.unlock();
        return RegisterImage(std::move(result));
    } catch (const EOutOfMemory&) {
        SetImgStatus("Out of memory");
    } catch (const std::bad_alloc&) {
        SetImgStatus("Out of memory");
    }
    return 0;
}

} // namespace lumara
