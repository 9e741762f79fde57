#include "util/work_pool.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace scanflow {

unsigned machine_threads() {
    return std::max(1u, std::thread::hardware_concurrency());
}

void parallel_for(size_t count, unsigned workers, const std::function<void(size_t)>& task) {
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr failure;
    std::mutex failure_mutex;
    // Indices are handed out in blocks, so that the threads do not meet at every task.
    size_t block = std::max<size_t>(1, std::min<size_t>(64, count / (8 * std::max(1u, workers))));
    auto work = [&] {
        while (!failed) {
            size_t first = next.fetch_add(block);
            if (first >= count) return;
            size_t last = std::min(count, first + block);
            for (size_t i = first; i < last && !failed; ++i) {
                try {
                    task(i);
                } catch (...) {
                    std::lock_guard lock(failure_mutex);
                    if (!failure) failure = std::current_exception();
                    failed = true;
                }
            }
        }
    };
    size_t threads = std::min<size_t>(std::max(1u, workers), count);
    std::vector<std::thread> pool;
    for (size_t t = 1; t < threads; ++t) pool.emplace_back(work);
    if (count > 0) work();
    for (auto& thread : pool) thread.join();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace scanflow
