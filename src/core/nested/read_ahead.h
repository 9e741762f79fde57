// Nested files read ahead on the pool while the analysis goes through them in its own order:
// when it comes to a file, the names are ready, or being read, or it reads the file itself.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace scanflow {

class ReadAhead {
public:
    using Reader = std::function<std::vector<std::string>()>;

    // `threads` read ahead, none when it is 1. The caller is not counted: it goes through the
    // files in order, mostly waiting for names being read, and reads a file itself only when
    // no reader has started it.
    explicit ReadAhead(unsigned threads);
    ~ReadAhead();  // what is still queued is dropped
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Queues the reading of `key` (once), to run with the trace chain `frames`.
    void submit(const std::string& key, Reader reader, std::vector<std::string> frames);
    // The names read for `key`, waiting for them or reading them here; the reader's failure is
    // raised here. nullopt when `key` was never submitted. Each key is taken once.
    std::optional<std::vector<std::string>> take(const std::string& key);

private:
    struct Task {
        Reader reader;
        std::vector<std::string> frames;
        enum State { Queued, Running, Done } state = Queued;
        bool taken = false;
        std::vector<std::string> names;
        std::exception_ptr failure;
    };
    void work();
    static void run(Task& task);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::unordered_map<std::string, std::unique_ptr<Task>> tasks_;
    std::deque<Task*> queue_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace scanflow
