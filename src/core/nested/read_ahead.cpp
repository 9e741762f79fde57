#include "nested/read_ahead.h"

#include "base/errors.h"

namespace scanflow {

ReadAhead::ReadAhead(unsigned threads) {
    if (threads < 2) return;
    for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
}

ReadAhead::~ReadAhead() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (auto& worker : workers_) worker.join();
}

void ReadAhead::submit(const std::string& key, Reader reader, std::vector<std::string> frames) {
    if (workers_.empty()) return;  // nobody to read ahead
    {
        std::lock_guard lock(mutex_);
        auto& task = tasks_[key];
        if (task) return;
        task = std::make_unique<Task>();
        task->reader = std::move(reader);
        task->frames = std::move(frames);
        queue_.push_back(task.get());
    }
    changed_.notify_one();
}

void ReadAhead::run(Task& task) {
    TraceChain chain(task.frames);
    try {
        task.names = task.reader();
    } catch (...) {
        task.failure = std::current_exception();
    }
}

void ReadAhead::work() {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
        Task* task = queue_.front();
        queue_.pop_front();
        if (task->state != Task::Queued) continue;  // taken by the analysis itself
        task->state = Task::Running;
        lock.unlock();
        run(*task);
        lock.lock();
        task->state = Task::Done;
        changed_.notify_all();
    }
}

std::optional<std::vector<std::string>> ReadAhead::take(const std::string& key) {
    std::unique_lock lock(mutex_);
    auto it = tasks_.find(key);
    if (it == tasks_.end()) return std::nullopt;
    // The task stays owned here (the queue may still point at it); its names move out.
    Task& task = *it->second;
    if (task.taken) return std::nullopt;
    task.taken = true;
    if (task.state == Task::Queued) {
        // Not started yet: read it here rather than wait.
        task.state = Task::Running;
        lock.unlock();
        run(task);
        lock.lock();
        task.state = Task::Done;
    } else {
        changed_.wait(lock, [&] { return task.state == Task::Done; });
    }
    if (task.failure) std::rethrow_exception(task.failure);
    return std::move(task.names);
}

}  // namespace scanflow
