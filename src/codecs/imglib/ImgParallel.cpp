#include "ImgParallel.h"

#include "ImgLib.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace lumara {

namespace {
std::atomic<int> gThreadCount{0};

// Below this many steps a job is not worth a thread start.
constexpr int64_t kParallelWork = int64_t(1) << 21;
constexpr int kMaxThreads = 16;
} // namespace

void ImgSetThreadCount(int count) {
    gThreadCount = std::clamp(count, 0, kMaxThreads);
}

int ImgThreadsFor(int64_t work) {
    const int fixed = gThreadCount;
    if (fixed > 0) return fixed;
    if (work < kParallelWork) return 1;
    const unsigned cores = std::thread::hardware_concurrency();
    return std::clamp(int(cores), 1, kMaxThreads);
}

void ForEachRowBand(int rows, int threads, const std::function<void(int, int)>& body) {
    if (rows <= 0) return;
    threads = std::clamp(threads, 1, rows);
    if (threads == 1) {
        body(0, rows);
        return;
    }
    std::exception_ptr failure;
    std::mutex failureLock;
    auto run = [&](int first, int last) {
        try {
            body(first, last);
        } catch (...) {
            std::lock_guard<std::mutex> guard(failureLock);
            if (!failure) failure = std::current_exception();
        }
    };
    std::vector<std::thread> workers;
    workers.reserve(size_t(threads - 1));
    int first = 0;
    for (int t = 0; t < threads; ++t) {
        const int last = int(int64_t(rows) * (t + 1) / threads);
        if (t == threads - 1) {
            run(first, last); // the calling thread takes the last band
        } else {
            try {
                workers.emplace_back(run, first, last);
            } catch (const std::system_error&) {
                run(first, last); // no thread to be had: do the band here
            }
        }
        first = last;
    }
    for (auto& w : workers)
        w.join();
    if (failure) std::rethrow_exception(failure);
}

} // namespace lumara
