// The file system the listing cache reads: the machine's own, or another with the same questions
// (tests give one held in memory, with Windows-shaped paths on any machine). Paths follow the
// rules of its flavour.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/os.h"
#include "util/flavour.h"

namespace scanflow {

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // The rules its paths follow: separators, drives, and whether names compare without case.
    virtual Flavour flavour() const = 0;
    // Calls `each` for every entry of `dir` but "." and "..".
    virtual os::ListError list_directory(
        const std::string& dir, const std::function<void(const os::DirItem&)>& each) const = 0;
    // What a path names once links are followed.
    virtual os::Facts stat(const std::string& path) const = 0;
    // Whether the path itself exists (a link that leads nowhere does).
    virtual bool exists_itself(const std::string& path) const = 0;
    // The path with every link, "." and ".." resolved; nothing when it does not exist.
    virtual std::optional<std::string> real_path(const std::string& path) const = 0;
    // Where relative paths start.
    virtual std::string current_directory() const = 0;
};

// The file system of the machine the process runs on.
const FileSystem& machine_file_system();

}  // namespace scanflow
