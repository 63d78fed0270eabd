#include "ColorQuantizer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace lumara {

namespace {

// Colours are counted with 5 bits per channel.
constexpr int kBits = 5;
constexpr int kLevels = 1 << kBits;
constexpr int kShift = 8 - kBits;

inline int binOf(int r, int g, int b) {
    return (r >> kShift) << (2 * kBits) | (g >> kShift) << kBits | (b >> kShift);
}

struct Box {
    int lo[3], hi[3]; // inclusive bin ranges for r, g, b
    uint64_t count;
};

void shrink(Box& box, const std::vector<uint32_t>& hist) {
    int lo[3] = {kLevels, kLevels, kLevels}, hi[3] = {-1, -1, -1};
    uint64_t count = 0;
    for (int r = box.lo[0]; r <= box.hi[0]; ++r)
        for (int g = box.lo[1]; g <= box.hi[1]; ++g)
            for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                const uint32_t n = hist[size_t(r << (2 * kBits) | g << kBits | b)];
                if (!n) continue;
                count += n;
                const int v[3] = {r, g, b};
                for (int c = 0; c < 3; ++c) {
                    lo[c] = std::min(lo[c], v[c]);
                    hi[c] = std::max(hi[c], v[c]);
                }
            }
    box.count = count;
    if (count)
        for (int c = 0; c < 3; ++c) {
            box.lo[c] = lo[c];
            box.hi[c] = hi[c];
        }
}

uint64_t sliceCount(const Box& box, int axis, int v, const std::vector<uint32_t>& hist) {
    Box s = box;
    s.lo[axis] = s.hi[axis] = v;
    uint64_t n = 0;
    for (int r = s.lo[0]; r <= s.hi[0]; ++r)
        for (int g = s.lo[1]; g <= s.hi[1]; ++g)
            for (int b = s.lo[2]; b <= s.hi[2]; ++b)
                n += hist[size_t(r << (2 * kBits) | g << kBits | b)];
    return n;
}

// Bayer 4x4, centred on zero, in units of a sixteenth of a histogram bin.
constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

class InverseMap {
  public:
    explicit InverseMap(const Palette& palette)
        : palette_(palette), map_(size_t(1) << (3 * kBits), -1) {}
    int operator()(int r, int g, int b) {
        int16_t& slot = map_[size_t(binOf(r, g, b))];
        if (slot < 0) {
            const int step = 1 << kShift;
            const int cr = (r >> kShift) * step + step / 2, cg = (g >> kShift) * step + step / 2,
                      cb = (b >> kShift) * step + step / 2;
            slot = int16_t(
                NearestPaletteIndex(palette_.data(), int(palette_.size()), MakeColor(cr, cg, cb)));
        }
        return slot;
    }

  private:
    const Palette& palette_;
    std::vector<int16_t> map_;
};

} // namespace

Palette MedianCutPalette(const Bitmap& bgr, int colors) {
    std::vector<uint32_t> hist(size_t(1) << (3 * kBits), 0);
    for (int y = 0; y < bgr.Height(); ++y) {
        const uint8_t* p = bgr.ScanLine(y);
        for (int x = 0; x < bgr.Width(); ++x, p += 3) {
            uint32_t& n = hist[size_t(binOf(p[2], p[1], p[0]))];
            if (n != UINT32_MAX) ++n;
        }
    }
    std::vector<Box> boxes;
    Box all{{0, 0, 0}, {kLevels - 1, kLevels - 1, kLevels - 1}, 0};
    shrink(all, hist);
    if (all.count == 0) return {};
    boxes.push_back(all);
    while (int(boxes.size()) < colors) {
        // The most populated box that can still be split.
        int best = -1;
        for (int i = 0; i < int(boxes.size()); ++i) {
            const Box& b = boxes[size_t(i)];
            if (b.lo[0] == b.hi[0] && b.lo[1] == b.hi[1] && b.lo[2] == b.hi[2]) continue;
            if (best < 0 || b.count > boxes[size_t(best)].count) best = i;
        }
        if (best < 0) break;
        Box box = boxes[size_t(best)];
        int axis = 0;
        for (int c = 1; c < 3; ++c)
            if (box.hi[c] - box.lo[c] > box.hi[axis] - box.lo[axis]) axis = c;
        // Split at the median along the longest side.
        uint64_t seen = 0;
        int cut = box.lo[axis];
        for (int v = box.lo[axis]; v < box.hi[axis]; ++v) {
            seen += sliceCount(box, axis, v, hist);
            cut = v;
            if (seen * 2 >= box.count) break;
        }
        Box a = box, b = box;
        a.hi[axis] = cut;
        b.lo[axis] = cut + 1;
        shrink(a, hist);
        shrink(b, hist);
        boxes[size_t(best)] = a;
        if (b.count) boxes.push_back(b);
    }
    Palette palette;
    palette.reserve(boxes.size());
    for (const Box& box : boxes) {
        uint64_t n = 0, sr = 0, sg = 0, sb = 0;
        for (int r = box.lo[0]; r <= box.hi[0]; ++r)
            for (int g = box.lo[1]; g <= box.hi[1]; ++g)
                for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                    const uint64_t c = hist[size_t(r << (2 * kBits) | g << kBits | b)];
                    n += c;
                    sr += c * uint64_t(r);
                    sg += c * uint64_t(g);
                    sb += c * uint64_t(b);
                }
        const int step = 1 << kShift;
        auto level = [&](uint64_t sum) {
            return std::min(255, int((sum * step + n * step / 2) / n));
        };
        palette.push_back(MakeColor(level(sr), level(sg), level(sb)));
    }
    return palette;
}

void MapToPalette(const Bitmap& bgr, Bitmap& target, const Palette& palette, int dither) {
    const int w = bgr.Width(), h = bgr.Height();
    Palette pal = palette;
    if (pal.size() > 256) pal.resize(256);
    if (pal.empty()) pal.push_back(0);
    target.Create(w, h, 8);
    target.palette = pal;
    target.xPelsPerMeter = bgr.xPelsPerMeter;
    target.yPelsPerMeter = bgr.yPelsPerMeter;
    InverseMap nearest(pal);

    if (dither == 0 || dither == 2) {
        // Ordered dither spreads over about one palette step: the mean
        // distance of an entry to its nearest neighbour.
        int spread = 0;
        if (dither == 0 && pal.size() > 1) {
            long long total = 0;
            for (size_t i = 0; i < pal.size(); ++i) {
                int best = 255;
                for (size_t j = 0; j < pal.size(); ++j) {
                    if (i == j) continue;
                    const int dist = std::max({std::abs(RedOf(pal[i]) - RedOf(pal[j])),
                                               std::abs(GreenOf(pal[i]) - GreenOf(pal[j])),
                                               std::abs(BlueOf(pal[i]) - BlueOf(pal[j]))});
                    best = std::min(best, dist);
                }
                total += best;
            }
            spread = int(total / (long long)pal.size());
        }
        for (int y = 0; y < h; ++y) {
            const uint8_t* p = bgr.ScanLine(y);
            uint8_t* out = target.ScanLine(y);
            const int* bayer = kBayer[y & 3];
            for (int x = 0; x < w; ++x, p += 3) {
                if (dither == 2) {
                    out[x] = uint8_t(nearest(p[2], p[1], p[0]));
                } else {
                    const int d = (2 * bayer[x & 3] - 15) * spread / 32;
                    out[x] =
                        uint8_t(nearest(std::clamp(p[2] + d, 0, 255), std::clamp(p[1] + d, 0, 255),
                                        std::clamp(p[0] + d, 0, 255)));
                }
            }
        }
        return;
    }

    // Floyd-Steinberg with serpentine rows; errors of this row and the next.
    std::vector<int> cur(size_t(w + 2) * 3, 0), next(size_t(w + 2) * 3, 0);
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = bgr.ScanLine(y);
        uint8_t* out = target.ScanLine(y);
        std::fill(next.begin(), next.end(), 0);
        const bool rtl = (y & 1) != 0;
        for (int i = 0; i < w; ++i) {
            const int x = rtl ? w - 1 - i : i;
            const int dir = rtl ? -1 : 1;
            const uint8_t* p = row + 3 * x;
            int* e = &cur[size_t(x + 1) * 3];
            const int r = std::clamp(p[2] + e[0] / 16, 0, 255);
            const int g = std::clamp(p[1] + e[1] / 16, 0, 255);
            const int b = std::clamp(p[0] + e[2] / 16, 0, 255);
            const int idx = nearest(r, g, b);
            out[x] = uint8_t(idx);
            const uint32_t c = pal[size_t(idx)];
            const int err[3] = {r - RedOf(c), g - GreenOf(c), b - BlueOf(c)};
            for (int k = 0; k < 3; ++k) {
                cur[size_t(x + 1 + dir) * 3 + size_t(k)] += err[k] * 7;
                next[size_t(x + 1 - dir) * 3 + size_t(k)] += err[k] * 3;
                next[size_t(x + 1) * 3 + size_t(k)] += err[k] * 5;
                next[size_t(x + 1 + dir) * 3 + size_t(k)] += err[k];
            }
        }
        std::swap(cur, next);
    }
}

} // namespace lumara
