// An open file that closes itself, so that a reader whose construction fails on a corrupt input
// leaks nothing.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "base/budgets.h"

namespace scanflow {

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// The lines of an open file, as std::getline gives them: without their line break, the last one
// also when no line break ends it.
class LineReader {
public:
    explicit LineReader(FileHandle file, size_t kept = budget::kLineBytes)
        : file_(std::move(file)), kept_(kept) {}
    // The next line without its line break; at most `kept` bytes of it.
    bool next(std::string& line);
    // Whether the line last read was longer than what was kept of it.
    bool cut() const { return cut_; }

private:
    FileHandle file_;
    size_t kept_;
    bool cut_ = false;
    std::string block_;
    size_t pos_ = 0;
    bool at_end_ = false;
};

// Opens `path` for reading bytes; a FileError naming the path when it cannot or when it is not a
// regular file (a FIFO or a device named by a scene is never read).
FileHandle open_for_reading(const std::string& path);

}  // namespace scanflow
