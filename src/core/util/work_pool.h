// Independent work on a bounded number of threads, results kept in the order of the inputs.
#pragma once

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

// Sorts `items` on up to `workers` threads: the parts sorted side by side, then merged.
void parallel_sort(std::vector<std::string>& items, unsigned workers);

}  // namespace scanflow
