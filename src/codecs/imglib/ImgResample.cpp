#include "ImgResample.h"

#include "ImgParallel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace lumara {

namespace {

// Weights are fixed point with 14 fraction bits; the vertical pass keeps 7
// extra bits of precision for the horizontal one.
constexpr int kWeightBits = 14;
constexpr int kOne = 1 << kWeightBits;
constexpr int kMidBits = 7;
constexpr int kFinalShift = 2 * kWeightBits - kMidBits;

// Source index for each target index, sampling at pixel centres.
std::vector<int> nearestMap(int srcStart, int srcCount, int dstCount) {
    std::vector<int> map(static_cast<size_t>(dstCount));
    for (int i = 0; i < dstCount; ++i) {
        const int64_t s = ((2 * int64_t(i) + 1) * srcCount) / (2 * int64_t(dstCount));
        map[size_t(i)] = srcStart + int(std::min<int64_t>(s, srcCount - 1));
    }
    return map;
}

// The filter of one axis: `count` weights per target pixel starting at
// start[i] (relative to the rectangle), every window inside the source.
struct Taps {
    int count = 1;
    std::vector<int32_t> start;
    std::vector<int16_t> weight;
};

double cubicWeight(double x) {
    // Catmull-Rom (a = -0.5): interpolates, so sizes that land on source
    // pixels reproduce them.
    x = std::fabs(x);
    if (x < 1) return (1.5 * x - 2.5) * x * x + 1;
    if (x < 2) return ((-0.5 * x + 2.5) * x - 4) * x + 2;
    return 0;
}

double linearWeight(double x) {
    x = std::fabs(x);
    return x < 1 ? 1 - x : 0;
}

// Fixed-point weights that add up to exactly kOne, so flat areas stay flat.
void quantise(const double* f, int n, int16_t* out) {
    double sum = 0;
    for (int k = 0; k < n; ++k)
        sum += f[k];
    int total = 0, largest = 0;
    for (int k = 0; k < n; ++k) {
        const int w = int(std::lround(f[k] / sum * kOne));
        out[k] = int16_t(w);
        total += w;
        if (f[k] > f[largest]) largest = k;
    }
    out[largest] = int16_t(out[largest] + (kOne - total));
}

Taps makeTaps(int srcCount, int dstCount, ResampleKind kind) {
    Taps taps;
    const size_t n = size_t(dstCount);
    taps.start.resize(n);
    if (srcCount == dstCount) {
        taps.weight.assign(n, int16_t(kOne));
        for (size_t i = 0; i < n; ++i)
            taps.start[i] = int32_t(i);
        return taps;
    }

    // First the contiguous source range [lo, hi] of every target pixel (taps
    // beyond the edges fold onto the edge pixel), then the window width.
    std::vector<int32_t> lo(n), hi(n);
    const bool enlarge = dstCount > srcCount;
    const int radius = kind == ResampleKind::Smooth ? 2 : 1;
    const double scale = double(srcCount) / dstCount;
    for (size_t i = 0; i < n; ++i) {
        if (enlarge) {
            const double c = (double(i) + 0.5) * scale - 0.5;
            const int64_t base = int64_t(std::floor(c));
            lo[i] = int32_t(std::clamp<int64_t>(base - radius + 1, 0, srcCount - 1));
            hi[i] = int32_t(std::clamp<int64_t>(base + radius, 0, srcCount - 1));
        } else {
            // Target pixel i covers [i * src, (i + 1) * src) in units of
            // 1/dst source pixels.
            const int64_t a = int64_t(i) * srcCount, b = a + srcCount;
            lo[i] = int32_t(a / dstCount);
            hi[i] = int32_t((b - 1) / dstCount);
        }
    }
    int count = 1;
    for (size_t i = 0; i < n; ++i)
        count = std::max(count, int(hi[i] - lo[i] + 1));
    taps.count = count;
    taps.weight.assign(n * size_t(count), 0);

    std::vector<double> f(static_cast<size_t>(count));
    for (size_t i = 0; i < n; ++i) {
        const int width = hi[i] - lo[i] + 1;
        std::fill(f.begin(), f.end(), 0.0);
        if (enlarge) {
            const double c = (double(i) + 0.5) * scale - 0.5;
            const int64_t base = int64_t(std::floor(c));
            for (int64_t j = base - radius + 1; j <= base + radius; ++j) {
                const double w = kind == ResampleKind::Smooth ? cubicWeight(double(j) - c)
                                                              : linearWeight(double(j) - c);
                const int64_t idx = std::clamp<int64_t>(j, 0, srcCount - 1);
                f[size_t(idx - lo[i])] += w;
            }
        } else {
            const int64_t a = int64_t(i) * srcCount, b = a + srcCount;
            for (int j = lo[i]; j <= hi[i]; ++j) {
                const int64_t overlap = std::min<int64_t>(b, int64_t(j + 1) * dstCount) -
                                        std::max<int64_t>(a, int64_t(j) * dstCount);
                f[size_t(j - lo[i])] = double(overlap);
            }
        }
        // Windows at the far edge move left so they stay inside the source.
        const int32_t s = std::min<int32_t>(lo[i], srcCount - count);
        taps.start[i] = s;
        quantise(f.data(), width, &taps.weight[i * size_t(count) + size_t(lo[i] - s)]);
    }
    return taps;
}

// Colours of the palette entries as blue, green, red; indices past the
// palette read black, as they do on the surface.
std::array<uint8_t, 256 * 3> paletteBgr(const Palette& palette) {
    std::array<uint8_t, 256 * 3> lut{};
    for (size_t i = 0; i < palette.size() && i < 256; ++i) {
        lut[3 * i] = uint8_t(BlueOf(palette[i]));
        lut[3 * i + 1] = uint8_t(GreenOf(palette[i]));
        lut[3 * i + 2] = uint8_t(RedOf(palette[i]));
    }
    return lut;
}

// Reads pixels [left, left + count) of a row as blue, green, red bytes:
// straight from the row at 24 bits, expanded into `buffer` otherwise.
class RowReader {
  public:
    RowReader(const Bitmap& src, int left, int count)
        : src_(src), left_(left), count_(count), lut_(paletteBgr(src.palette)) {
        if (src.Depth() != 24) buffer_.resize(size_t(count) * 3);
    }

    const uint8_t* Row(int y) {
        const uint8_t* s = src_.ScanLine(y);
        if (src_.Depth() == 24) return s + size_t(left_) * 3;
        uint8_t* d = buffer_.data();
        switch (src_.Depth()) {
        case 8:
            for (int x = 0; x < count_; ++x, d += 3)
                std::memcpy(d, &lut_[3 * s[left_ + x]], 3);
            break;
        case 4:
            for (int x = left_; x < left_ + count_; ++x, d += 3) {
                const int v = (x & 1) ? (s[x >> 1] & 15) : (s[x >> 1] >> 4);
                std::memcpy(d, &lut_[3 * v], 3);
            }
            break;
        default:
            for (int x = left_; x < left_ + count_; ++x, d += 3) {
                const int v = (s[x >> 3] >> (7 - (x & 7))) & 1;
                std::memcpy(d, &lut_[3 * v], 3);
            }
            break;
        }
        return buffer_.data();
    }

  private:
    const Bitmap& src_;
    int left_;
    int count_;
    std::array<uint8_t, 256 * 3> lut_;
    std::vector<uint8_t> buffer_;
};

uint8_t clampByte(int32_t v) {
    return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

void verticalPass(RowReader& reader, int top, const Taps& tv, int y, int32_t* acc, size_t n) {
    const int count = tv.count;
    const int16_t* w = &tv.weight[size_t(y) * size_t(count)];
    const int first = top + tv.start[size_t(y)];
    bool started = false;
    for (int k = 0; k < count; ++k) {
        const int32_t wk = w[k];
        if (wk == 0) continue;
        const uint8_t* row = reader.Row(first + k);
        if (!started) {
            for (size_t i = 0; i < n; ++i)
                acc[i] = wk * int32_t(row[i]);
            started = true;
        } else {
            for (size_t i = 0; i < n; ++i)
                acc[i] += wk * int32_t(row[i]);
        }
    }
    constexpr int32_t round = 1 << (kMidBits - 1);
    for (size_t i = 0; i < n; ++i)
        acc[i] = (acc[i] + round) >> kMidBits;
}

void horizontalPass(const int32_t* mid, const Taps& th, int width, uint8_t* out) {
    const int count = th.count;
    constexpr int32_t round = 1 << (kFinalShift - 1);
    if (count == 1) {
        // Unchanged width: the weights are all kOne.
        for (int x = 0; x < width; ++x, out += 3) {
            const int32_t* t = mid + size_t(th.start[size_t(x)]) * 3;
            out[0] = clampByte((t[0] * kOne + round) >> kFinalShift);
            out[1] = clampByte((t[1] * kOne + round) >> kFinalShift);
            out[2] = clampByte((t[2] * kOne + round) >> kFinalShift);
        }
        return;
    }
    const int16_t* w = th.weight.data();
    for (int x = 0; x < width; ++x, out += 3, w += count) {
        const int32_t* t = mid + size_t(th.start[size_t(x)]) * 3;
        int32_t b = round, g = round, r = round;
        for (int k = 0; k < count; ++k, t += 3) {
            const int32_t wk = w[k];
            b += wk * t[0];
            g += wk * t[1];
            r += wk * t[2];
        }
        out[0] = clampByte(b >> kFinalShift);
        out[1] = clampByte(g >> kFinalShift);
        out[2] = clampByte(r >> kFinalShift);
    }
}

// The other order, for images that grow taller: each source row is filtered
// across once into `mid` (7 extra bits), and target rows combine those.
// Taps is the window width when known at compile time (the cubic's 4), 0 to
// read it from th.
template <int Taps_>
void horizontalToMidT(const uint8_t* row, const Taps& th, int width, int32_t* mid) {
    const int count = Taps_ ? Taps_ : th.count;
    constexpr int32_t round = 1 << (kWeightBits - kMidBits - 1);
    constexpr int shift = kWeightBits - kMidBits;
    const int16_t* w = th.weight.data();
    for (int x = 0; x < width; ++x, mid += 3, w += count) {
        const uint8_t* p = row + size_t(th.start[size_t(x)]) * 3;
        int32_t b = round, g = round, r = round;
        for (int k = 0; k < count; ++k, p += 3) {
            const int32_t wk = w[k];
            b += wk * p[0];
            g += wk * p[1];
            r += wk * p[2];
        }
        mid[0] = b >> shift;
        mid[1] = g >> shift;
        mid[2] = r >> shift;
    }
}

void horizontalToMid(const uint8_t* row, const Taps& th, int width, int32_t* mid) {
    switch (th.count) {
    case 2:
        horizontalToMidT<2>(row, th, width, mid);
        break;
    case 4:
        horizontalToMidT<4>(row, th, width, mid);
        break;
    default:
        horizontalToMidT<0>(row, th, width, mid);
        break;
    }
}

void verticalFromMid(const int32_t* const* rows, const int16_t* w, int count, size_t n,
                     int32_t* acc, uint8_t* out) {
    constexpr int32_t round = 1 << (kFinalShift - 1);
    bool started = false;
    for (int k = 0; k < count; ++k) {
        const int32_t wk = w[k];
        if (wk == 0) continue;
        const int32_t* r = rows[k];
        if (!started) {
            for (size_t i = 0; i < n; ++i)
                acc[i] = round + wk * r[i];
            started = true;
        } else {
            for (size_t i = 0; i < n; ++i)
                acc[i] += wk * r[i];
        }
    }
    for (size_t i = 0; i < n; ++i)
        out[i] = clampByte(acc[i] >> kFinalShift);
}

int darkerEntry(const Palette& palette) {
    auto luma = [&](size_t i) {
        const uint32_t c = i < palette.size() ? palette[i] : 0;
        return RedOf(c) * 299 + GreenOf(c) * 587 + BlueOf(c) * 114;
    };
    return luma(1) < luma(0) ? 1 : 0;
}

// Source spans of an axis for the bilevel reduction: reducing, the target
// pixels share the source pixels out exactly; enlarging, one pixel each.
void bilevelSpans(int srcStart, int srcCount, int dstCount, std::vector<int>& first,
                  std::vector<int>& last) {
    first.resize(size_t(dstCount));
    last.resize(size_t(dstCount));
    if (dstCount >= srcCount) {
        const std::vector<int> map = nearestMap(srcStart, srcCount, dstCount);
        for (int i = 0; i < dstCount; ++i)
            first[size_t(i)] = last[size_t(i)] = map[size_t(i)];
        return;
    }
    for (int i = 0; i < dstCount; ++i) {
        const int64_t a = int64_t(i) * srcCount / dstCount;
        const int64_t b = (int64_t(i) + 1) * srcCount / dstCount;
        first[size_t(i)] = srcStart + int(a);
        last[size_t(i)] = srcStart + int(std::max(a, b - 1));
    }
}

} // namespace

int64_t FilteredWork(int srcWidth, int srcHeight, int width, int height) {
    const int64_t tapsX = srcWidth > width ? srcWidth / std::max(width, 1) + 1 : 4;
    const int64_t tapsY = srcHeight > height ? srcHeight / std::max(height, 1) + 1 : 4;
    return int64_t(height) * (int64_t(srcWidth) * tapsY + int64_t(width) * tapsX) * 3;
}

Bitmap ScaleNearest(const Bitmap& src, const TRect& rect, int width, int height, int threads) {
    Bitmap out(width, height, src.Depth());
    out.palette = src.palette;
    out.xPelsPerMeter = src.xPelsPerMeter;
    out.yPelsPerMeter = src.yPelsPerMeter;
    const std::vector<int> mapX = nearestMap(rect.Left, rect.Width(), width);
    const std::vector<int> mapY = nearestMap(rect.Top, rect.Height(), height);
    const int depth = src.Depth();
    ForEachRowBand(height, threads, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            uint8_t* d = out.ScanLine(y);
            if (y > y0 && mapY[size_t(y)] == mapY[size_t(y) - 1]) {
                std::memcpy(d, out.ScanLine(y - 1), size_t(out.RowBytes()));
                continue;
            }
            const uint8_t* s = src.ScanLine(mapY[size_t(y)]);
            switch (depth) {
            case 24:
                for (int x = 0; x < width; ++x, d += 3)
                    std::memcpy(d, s + size_t(mapX[size_t(x)]) * 3, 3);
                break;
            case 8:
                for (int x = 0; x < width; ++x)
                    d[x] = s[mapX[size_t(x)]];
                break;
            case 4:
                for (int x = 0; x < width; ++x) {
                    const int sx = mapX[size_t(x)];
                    const int v = (sx & 1) ? (s[sx >> 1] & 15) : (s[sx >> 1] >> 4);
                    d[x >> 1] = uint8_t((x & 1) ? (d[x >> 1] | v) : (v << 4));
                }
                break;
            default:
                for (int x = 0; x < width; ++x) {
                    const int sx = mapX[size_t(x)];
                    const int v = (s[sx >> 3] >> (7 - (sx & 7))) & 1;
                    if ((x & 7) == 0) d[x >> 3] = 0;
                    d[x >> 3] = uint8_t(d[x >> 3] | (v << (7 - (x & 7))));
                }
                break;
            }
        }
    });
    return out;
}

Bitmap ScaleFiltered(const Bitmap& src, const TRect& rect, int width, int height, ResampleKind kind,
                     int threads) {
    const int sw = rect.Width(), sh = rect.Height();
    const Taps th = makeTaps(sw, width, kind);
    const Taps tv = makeTaps(sh, height, kind);
    Bitmap out(width, height, 24);
    out.xPelsPerMeter = src.xPelsPerMeter;
    out.yPelsPerMeter = src.yPelsPerMeter;
    if (height > sh) {
        // Growing taller: filtering the fewer source rows across first saves
        // most of the horizontal work. Filtered rows are kept in a ring of
        // tv.count slots, as the windows of successive rows only move down.
        ForEachRowBand(height, threads, [&](int y0, int y1) {
            RowReader reader(src, rect.Left, sw);
            const int count = tv.count;
            const size_t n = size_t(width) * 3;
            std::vector<int32_t> ring(n * size_t(count));
            std::vector<int> slotRow(static_cast<size_t>(count), -1);
            std::vector<const int32_t*> rows(static_cast<size_t>(count));
            std::vector<int32_t> acc(n);
            for (int y = y0; y < y1; ++y) {
                const int16_t* w = &tv.weight[size_t(y) * size_t(count)];
                for (int k = 0; k < count; ++k) {
                    if (w[k] == 0) continue;
                    const int r = tv.start[size_t(y)] + k;
                    const size_t slot = size_t(r % count);
                    int32_t* mid = &ring[slot * n];
                    if (slotRow[slot] != r) {
                        horizontalToMid(reader.Row(rect.Top + r), th, width, mid);
                        slotRow[slot] = r;
                    }
                    rows[size_t(k)] = mid;
                }
                verticalFromMid(rows.data(), w, count, n, acc.data(), out.ScanLine(y));
            }
        });
        return out;
    }
    ForEachRowBand(height, threads, [&](int y0, int y1) {
        RowReader reader(src, rect.Left, sw);
        const size_t n = size_t(sw) * 3;
        std::vector<int32_t> mid(n);
        for (int y = y0; y < y1; ++y) {
            verticalPass(reader, rect.Top, tv, y, mid.data(), n);
            horizontalPass(mid.data(), th, width, out.ScanLine(y));
        }
    });
    return out;
}

Bitmap ScaleBilevel(const Bitmap& src, const TRect& rect, int width, int height, bool keepDark,
                    int threads) {
    Bitmap out(width, height, 1);
    out.palette = src.palette;
    out.xPelsPerMeter = src.xPelsPerMeter;
    out.yPelsPerMeter = src.yPelsPerMeter;
    const int dark = darkerEntry(src.palette);
    const int kept = keepDark ? dark : 1 - dark;
    std::vector<int> x0, x1, y0s, y1s;
    bilevelSpans(rect.Left, rect.Width(), width, x0, x1);
    bilevelSpans(rect.Top, rect.Height(), height, y0s, y1s);
    const int left = rect.Left, sw = rect.Width();
    ForEachRowBand(height, threads, [&](int first, int last) {
        // hit[x]: some source pixel in column left + x of the row span has the kept colour.
        std::vector<uint8_t> hit(static_cast<size_t>(sw));
        for (int y = first; y < last; ++y) {
            std::fill(hit.begin(), hit.end(), uint8_t(0));
            for (int sy = y0s[size_t(y)]; sy <= y1s[size_t(y)]; ++sy) {
                const uint8_t* s = src.ScanLine(sy);
                for (int x = 0; x < sw; ++x) {
                    const int sx = left + x;
                    hit[size_t(x)] |= uint8_t((((s[sx >> 3] >> (7 - (sx & 7))) & 1) == kept));
                }
            }
            uint8_t* d = out.ScanLine(y);
            for (int x = 0; x < width; ++x) {
                bool any = false;
                for (int sx = x0[size_t(x)]; sx <= x1[size_t(x)] && !any; ++sx)
                    any = hit[size_t(sx - left)] != 0;
                const int v = any ? kept : 1 - kept;
                if ((x & 7) == 0) d[x >> 3] = 0;
                d[x >> 3] = uint8_t(d[x >> 3] | (v << (7 - (x & 7))));
            }
        }
    });
    return out;
}

} // namespace lumara
