#pragma once
// Splitting the rows of an image over the machine's cores. Each band of rows is
// processed exactly as a single thread would process it, so a pixel operation
// gives byte-identical results however the rows are split; only large images
// are split, small ones (previews) stay on the calling thread.

#include <cstdint>
#include <functional>

namespace lumara {

struct RowThreading {
    int maxThreads = 0;          // 0: one per hardware thread
    int64_t minPixels = 1 << 18; // images below this many pixels run on one thread
};

RowThreading GetRowThreading();
// Process-wide; a program that already runs one image per core (a batch over
// many files) sets maxThreads to 1.
void SetRowThreading(const RowThreading& threading);

// How many bands an image of height rows and pixels pixels is split into.
int RowBandCount(int height, int64_t pixels);

// Calls fn(band, firstRow, endRow) for bands contiguous bands covering rows
// [0, height), band 0 on the calling thread and the others on their own
// threads, and returns when all are done. An exception thrown by fn is
// rethrown here after every band has finished.
void RunRowBands(int bands, int height, const std::function<void(int, int, int)>& fn);

// fn(firstRow, endRow) over all rows, split when the image is large.
template <class Fn> void ParallelRows(int height, int64_t pixels, Fn&& fn) {
    const int bands = RowBandCount(height, pixels);
    if (bands <= 1) {
        if (height > 0) fn(0, height);
        return;
    }
    RunRowBands(bands, height, [&fn](int, int y0, int y1) { fn(y0, y1); });
}

} // namespace lumara
