#pragma once
// Splitting the rows of an output image over cores. Every output row is
// computed from the source alone, so the split never changes a result.

#include <cstdint>
#include <functional>

namespace lumara {

// Threads for a job of about `work` inner-loop steps: the count set with
// ImgSetThreadCount, or with automatic choice one thread for small jobs and
// the machine's cores for large ones.
int ImgThreadsFor(int64_t work);

// Calls body(first, last) for consecutive bands of [0, rows) on up to
// `threads` threads and waits for all. An exception from a band is rethrown
// here after every thread has ended.
void ForEachRowBand(int rows, int threads, const std::function<void(int, int)>& body);

} // namespace lumara
