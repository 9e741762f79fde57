// An open file that closes itself, so that a reader whose construction fails on a corrupt input
// leaks nothing.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace scanflow {

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` for reading bytes; a FileError naming the path when it cannot.
FileHandle open_for_reading(const std::string& path);

}  // namespace scanflow
