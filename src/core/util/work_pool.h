// Independent work on a bounded number of threads, results kept in the order of the inputs.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace scanflow {

// The number of threads the machine runs at once (at least 1).
unsigned machine_threads();

// Runs `task(i)` for every i in [0, count) on at most `workers` threads, the calling thread
// among them. The first failure is rethrown once every task that started has ended; tasks not
// started by then are skipped.
void parallel_for(size_t count, unsigned workers, const std::function<void(size_t)>& task);

// Sorts `items` by `less` on up to `workers` threads: the parts sorted side by side, then merged.
template <class T, class Less = std::less<T>>
void parallel_sort(std::vector<T>& items, unsigned workers, Less less = Less()) {
    size_t parts = std::max<size_t>(1, std::min<size_t>(workers, items.size() / 4096 + 1));
    std::vector<size_t> bounds;
    for (size_t p = 0; p <= parts; ++p) bounds.push_back(items.size() * p / parts);
    auto at = [&](size_t i) { return items.begin() + static_cast<std::ptrdiff_t>(i); };
    parallel_for(parts, workers,
                 [&](size_t p) { std::sort(at(bounds[p]), at(bounds[p + 1]), less); });
    for (size_t p = 1; p < parts; ++p)
        std::inplace_merge(at(0), at(bounds[p]), at(bounds[p + 1]), less);
}

}  // namespace scanflow
