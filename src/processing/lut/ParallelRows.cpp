#include "ParallelRows.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace lumara {

namespace {

std::atomic<int> gMaxThreads{0};
std::atomic<int64_t> gMinPixels{RowThreading{}.minPixels};

int HardwareThreads() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(std::min(n, 64u));
}

} // namespace

RowThreading GetRowThreading() {
    return RowThreading{gMaxThreads.load(), gMinPixels.load()};
}

void SetRowThreading(const RowThreading& threading) {
    gMaxThreads.store(std::max(0, threading.maxThreads));
    gMinPixels.store(std::max<int64_t>(0, threading.minPixels));
}

int RowBandCount(int height, int64_t pixels) {
    if (height < 2 || pixels < gMinPixels.load()) return 1;
    const int maxThreads = gMaxThreads.load();
    const int threads = maxThreads > 0 ? maxThreads : HardwareThreads();
    return std::max(1, std::min(threads, height));
}

void RunRowBands(int bands, int height, const std::function<void(int, int, int)>& fn) {
    if (height <= 0) return;
    bands = std::clamp(bands, 1, height);
    auto rowOf = [bands, height](int band) {
        return static_cast<int>(static_cast<int64_t>(height) * band / bands);
    };

    std::exception_ptr failure;
    std::mutex failureLock;
    auto runBand = [&](int band) {
        try {
            fn(band, rowOf(band), rowOf(band + 1));
        } catch (...) {
            std::lock_guard<std::mutex> hold(failureLock);
            if (!failure) failure = std::current_exception();
        }
    };

    std::vector<std::thread> workers;
    workers.reserve(static_cast<size_t>(bands - 1));
    for (int band = 1; band < bands; ++band) {
        try {
            workers.emplace_back(runBand, band);
        } catch (const std::system_error&) {
            // No thread to be had: the band runs here instead, same result.
            runBand(band);
        }
    }
    runBand(0);
    for (std::thread& worker : workers)
        worker.join();
    if (failure) std::rethrow_exception(failure);
}

} // namespace lumara
