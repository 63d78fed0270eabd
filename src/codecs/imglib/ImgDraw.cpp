// Drawing an image stretched into a surface bitmap at the bitmap's own depth
// and palette: indices are copied when both agree, colours are matched to
// the nearest palette entry otherwise.

#include "ImgHandles.h"
#include "ImgLib.h"
#include "ImgParallel.h"

#include "codecs/model/Exceptions.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <shared_mutex>
#include <vector>

namespace lumara {

namespace {

template <int Depth> inline int readIndex(const uint8_t* row, int x) {
    if constexpr (Depth == 8)
        return row[x];
    else if constexpr (Depth == 4)
        return (x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4);
    else
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

template <int Depth> inline void writeIndex(uint8_t* row, int x, int v) {
    if constexpr (Depth == 8) {
        row[x] = uint8_t(v);
    } else if constexpr (Depth == 4) {
        uint8_t& b = row[x >> 1];
        b = (x & 1) ? uint8_t((b & 0xF0) | v) : uint8_t((b & 0x0F) | (v << 4));
    } else {
        uint8_t& b = row[x >> 3];
        const uint8_t bit = uint8_t(0x80 >> (x & 7));
        b = v ? uint8_t(b | bit) : uint8_t(b & ~bit);
    }
}

// What one drawn row needs: the source row, the target row, the source
// column of each target column from x0 on, and the colour tables.
struct RowJob {
    const uint8_t* src;
    uint8_t* dst;
    const int* map;
    int x0;
    int count;
    bool contiguous; // map[i] == map[0] + i
};

// Nearest palette entry of 24-bit colours, exactly as NearestPaletteIndex
// finds it but without searching the whole palette for every pixel: colour
// space is cut into 8x8x8 cells, and each cell lists, when first needed, only
// the entries that can be nearest to some colour inside it (in palette order,
// so ties still go to the first entry). The last matches are remembered per
// colour in a small direct-mapped table, as photos repeat colours a lot.
// One per thread.
class NearestMatcher {
  public:
    NearestMatcher(const Palette& palette, int usable)
        : entries_(palette.begin(),
                   palette.begin() + std::clamp<int>(usable, 0, int(palette.size()))),
          keys_(kCacheSize, kEmpty), values_(kCacheSize) {}

    int Find(uint32_t color) {
        const size_t h = (color * 2654435761u) >> (32 - kCacheBits);
        if (keys_[h] == color) return values_[h];
        const int v = search(color);
        keys_[h] = color;
        values_[h] = uint8_t(v);
        return v;
    }

  private:
    static constexpr int kCells = 512;
    static constexpr int kCacheBits = 13;
    static constexpr size_t kCacheSize = size_t(1) << kCacheBits;
    static constexpr uint32_t kEmpty = 0xFFFFFFFFu;

    int search(uint32_t color) {
        const int r = RedOf(color), g = GreenOf(color), b = BlueOf(color);
        const int cell = ((r >> 5) << 6) | ((g >> 5) << 3) | (b >> 5);
        if (!built_[size_t(cell)]) buildCell(cell);
        int best = 0, bestDist = INT32_MAX;
        for (uint8_t i : cells_[size_t(cell)]) {
            const uint32_t e = entries_[i];
            const int dr = RedOf(e) - r, dg = GreenOf(e) - g, db = BlueOf(e) - b;
            const int d = dr * dr + dg * dg + db * db;
            if (d < bestDist) {
                bestDist = d;
                best = i;
                if (d == 0) break;
            }
        }
        return best;
    }

    void buildCell(int cell) {
        const int lo[3] = {(cell >> 6) * 32, ((cell >> 3) & 7) * 32, (cell & 7) * 32};
        auto bounds = [&](uint32_t c, int& nearSq, int& farSq) {
            const int v[3] = {RedOf(c), GreenOf(c), BlueOf(c)};
            nearSq = farSq = 0;
            for (int k = 0; k < 3; ++k) {
                const int a = lo[k], b = lo[k] + 31;
                const int n = v[k] < a ? a - v[k] : v[k] > b ? v[k] - b : 0;
                const int f = std::max(std::abs(v[k] - a), std::abs(v[k] - b));
                nearSq += n * n;
                farSq += f * f;
            }
        };
        // No colour of the cell is farther than `bound` from its nearest
        // entry, so entries whose nearest point is farther never win.
        int bound = INT32_MAX;
        for (uint32_t c : entries_) {
            int nearSq, farSq;
            bounds(c, nearSq, farSq);
            bound = std::min(bound, farSq);
        }
        std::vector<uint8_t>& list = cells_[size_t(cell)];
        for (size_t i = 0; i < entries_.size(); ++i) {
            int nearSq, farSq;
            bounds(entries_[i], nearSq, farSq);
            if (nearSq <= bound) list.push_back(uint8_t(i));
        }
        built_[size_t(cell)] = true;
    }

    std::vector<uint32_t> entries_;
    std::array<std::vector<uint8_t>, kCells> cells_;
    std::array<bool, kCells> built_{};
    std::vector<uint32_t> keys_;
    std::vector<uint8_t> values_;
};

template <int SD, int DD> void indexRow(const RowJob& j, const uint8_t* lut) {
    if constexpr (SD == DD && SD == 8) {
        if (!lut && j.contiguous) {
            std::memcpy(j.dst + j.x0, j.src + j.map[0], size_t(j.count));
            return;
        }
    }
    for (int i = 0; i < j.count; ++i) {
        int v = readIndex<SD>(j.src, j.map[i]);
        if (lut) v = lut[v];
        writeIndex<DD>(j.dst, j.x0 + i, v);
    }
}

template <int SD> void paletteTo24Row(const RowJob& j, const uint8_t* bgr) {
    uint8_t* d = j.dst + size_t(j.x0) * 3;
    for (int i = 0; i < j.count; ++i, d += 3)
        std::memcpy(d, bgr + 3 * readIndex<SD>(j.src, j.map[i]), 3);
}

void rgbTo24Row(const RowJob& j) {
    uint8_t* d = j.dst + size_t(j.x0) * 3;
    if (j.contiguous) {
        std::memcpy(d, j.src + size_t(j.map[0]) * 3, size_t(j.count) * 3);
        return;
    }
    for (int i = 0; i < j.count; ++i, d += 3)
        std::memcpy(d, j.src + size_t(j.map[i]) * 3, 3);
}

template <int DD> void rgbToIndexRow(const RowJob& j, NearestMatcher& cache) {
    for (int i = 0; i < j.count; ++i) {
        const uint8_t* s = j.src + size_t(j.map[i]) * 3;
        writeIndex<DD>(j.dst, j.x0 + i, cache.Find(MakeColor(s[2], s[1], s[0])));
    }
}

template <int SD>
void dispatchPaletteSource(const RowJob& j, int destDepth, const uint8_t* lut, const uint8_t* bgr) {
    switch (destDepth) {
    case 24:
        paletteTo24Row<SD>(j, bgr);
        break;
    case 8:
        indexRow<SD, 8>(j, lut);
        break;
    case 4:
        indexRow<SD, 4>(j, lut);
        break;
    default:
        indexRow<SD, 1>(j, lut);
        break;
    }
}

// Source index of each target index, at pixel centres, for a span of
// `total` target pixels of which [first, last] are drawn.
std::vector<int> columnMap(int srcStart, int srcCount, int64_t destStart, int64_t total, int first,
                           int last) {
    std::vector<int> map(size_t(last - first + 1));
    for (int x = first; x <= last; ++x) {
        const __int128 k = 2 * (__int128(x) - destStart) + 1;
        const int64_t s = int64_t(k * srcCount / (2 * __int128(total)));
        map[size_t(x - first)] = srcStart + int(std::min<int64_t>(s, srcCount - 1));
    }
    return map;
}

void drawBitmap(const Bitmap& src, const TRect& sr, Bitmap& dest, const TRect& destRect, int64_t dw,
                int64_t dh) {
    const int x0 = int(std::max<int64_t>(destRect.Left, 0));
    const int x1 = int(std::min<int64_t>(destRect.Right, dest.Width() - 1));
    const int y0 = int(std::max<int64_t>(destRect.Top, 0));
    const int y1 = int(std::min<int64_t>(destRect.Bottom, dest.Height() - 1));
    if (x1 < x0 || y1 < y0) return; // wholly outside the bitmap: nothing to draw

    const std::vector<int> mapX = columnMap(sr.Left, sr.Width(), destRect.Left, dw, x0, x1);
    const std::vector<int> mapY = columnMap(sr.Top, sr.Height(), destRect.Top, dh, y0, y1);
    const bool contiguous = dw == sr.Width();

    const int sd = src.Depth(), dd = dest.Depth();
    const bool samePalette = sd == dd && (sd == 24 || src.palette == dest.palette);

    // Colour tables of the source indices: their colours (for 24-bit
    // targets) and their nearest target entries (for palette targets).
    std::array<uint8_t, 256 * 3> bgr{};
    std::array<uint8_t, 256> lut{};
    if (sd != 24) {
        const int usable = std::min<int>(int(dest.palette.size()), dd == 24 ? 0 : 1 << dd);
        for (int i = 0; i < (1 << sd); ++i) {
            const uint32_t c = size_t(i) < src.palette.size() ? src.palette[size_t(i)] : 0;
            bgr[size_t(3 * i)] = uint8_t(BlueOf(c));
            bgr[size_t(3 * i + 1)] = uint8_t(GreenOf(c));
            bgr[size_t(3 * i + 2)] = uint8_t(RedOf(c));
            if (dd != 24)
                lut[size_t(i)] = uint8_t(NearestPaletteIndex(dest.palette.data(), usable, c));
        }
    }
    const uint8_t* indexLut = samePalette ? nullptr : lut.data();

    const int64_t work = int64_t(x1 - x0 + 1) * (y1 - y0 + 1);
    ForEachRowBand(y1 - y0 + 1, ImgThreadsFor(work * (sd == 24 && dd != 24 ? 8 : 1)),
                   [&](int first, int last) {
                       std::unique_ptr<NearestMatcher> cache;
                       if (sd == 24 && dd != 24)
                           cache = std::make_unique<NearestMatcher>(dest.palette, 1 << dd);
                       for (int r = first; r < last; ++r) {
                           const RowJob j{src.ScanLine(mapY[size_t(r)]),
                                          dest.ScanLine(y0 + r),
                                          mapX.data(),
                                          x0,
                                          x1 - x0 + 1,
                                          contiguous};
                           switch (sd) {
                           case 24:
                               switch (dd) {
                               case 24:
                                   rgbTo24Row(j);
                                   break;
                               case 8:
                                   rgbToIndexRow<8>(j, *cache);
                                   break;
                               case 4:
                                   rgbToIndexRow<4>(j, *cache);
                                   break;
                               default:
                                   rgbToIndexRow<1>(j, *cache);
                                   break;
                               }
                               break;
                           case 8:
                               dispatchPaletteSource<8>(j, dd, indexLut, bgr.data());
                               break;
                           case 4:
                               dispatchPaletteSource<4>(j, dd, indexLut, bgr.data());
                               break;
                           default:
                               dispatchPaletteSource<1>(j, dd, indexLut, bgr.data());
                               break;
                           }
                       }
                   });
}

} // namespace

bool ImgDrawImage(HIMG image, Bitmap& dest, const TRect& destRect, const TRect* sourceRect) {
    auto entry = LookupImage(image);
    if (!entry) return false;
    if (dest.Empty()) {
        SetImgStatus("Invalid bitmap");
        return false;
    }
    // Right and bottom are inclusive: (0, 0, w - 1, h - 1) covers w by h.
    const int64_t dw = int64_t(destRect.Right) - destRect.Left + 1;
    const int64_t dh = int64_t(destRect.Bottom) - destRect.Top + 1;
    if (dw <= 0 || dh <= 0) {
        SetImgStatus("Invalid rectangle");
        return false;
    }
    try {
        std::shared_lock<std::shared_mutex> guard(entry->lock);
        const Bitmap& src = entry->Current();
        TRect sr;
        if (!ClipSourceRect(src, sourceRect, sr)) return false;
        drawBitmap(src, sr, dest, destRect, dw, dh);
        return true;
    } catch (const EOutOfMemory&) {
        SetImgStatus("Out of memory");
    } catch (const std::bad_alloc&) {
        SetImgStatus("Out of memory");
    }
    return false;
}

} // namespace lumara
