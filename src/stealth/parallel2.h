// Work split over the cores with results that do not depend on the thread
// count: every item writes only its own outputs.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <thread>
#include <vector>

namespace kalmira::stealth {

inline unsigned WorkerThreads(unsigned wanted) {
    return wanted ? wanted : std::max(1u, std::thread::hardware_concurrency());
}

// fn(item, slot) for every item in [0, count), slot < threads naming the
// worker (for per-thread buffers). The calling thread is slot 0 and alone
// calls tick(done) after each of its items; false from tick or fn stops
// handing out items. True when every item ran and succeeded.
inline bool ParallelFor(std::size_t count, unsigned threads, const std::function<bool(std::size_t, unsigned)> &fn,
                        const std::function<bool(std::size_t)> &tick = {}) {
    std::atomic<std::size_t> next{0}, done{0};
    std::atomic<bool> stop{false};
    auto work = [&](unsigned slot) {
        for (std::size_t i; !stop.load() && (i = next.fetch_add(1)) < count;) {
            if (!fn(i, slot)) stop = true;
            const std::size_t d = done.fetch_add(1) + 1;
            if (slot == 0 && tick && !tick(d)) stop = true;
        }
    };
    threads = static_cast<unsigned>(std::min<std::size_t>(std::max(1u, threads), std::max<std::size_t>(1, count)));
    std::vector<std::thread> pool;
    for (unsigned s = 1; s < threads; ++s) pool.emplace_back(work, s);
    work(0);
    for (auto &t : pool) t.join();
    return !stop.load() && done.load() == count;
}

} // namespace kalmira::stealth
