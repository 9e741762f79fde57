#include "util/file_handle.h"

#include <algorithm>

#include "base/errors.h"
#include "base/os.h"

namespace scanflow {

bool LineReader::next(std::string& line) {
    line.clear();
    cut_ = false;
    bool any = false;
    auto keep = [&](size_t from, size_t count) {
        size_t room = kept_ - line.size();
        if (count > room) cut_ = true;
        line.append(block_, from, std::min(count, room));
    };
    while (true) {
        if (pos_ == block_.size()) {
            if (at_end_) return any;
            block_.resize(1 << 16);
            size_t n = std::fread(block_.data(), 1, block_.size(), file_.get());
            block_.resize(n);
            pos_ = 0;
            if (n == 0) {
                at_end_ = true;
                return any;
            }
        }
        size_t newline = block_.find('\n', pos_);
        any = true;
        if (newline == std::string::npos) {
            keep(pos_, block_.size() - pos_);
            pos_ = block_.size();
            continue;
        }
        keep(pos_, newline - pos_);
        pos_ = newline + 1;
        return true;
    }
}

FileHandle open_for_reading(const std::string& path) {
    std::string why;
    FileHandle file(os::open_regular(path, &why));
    if (!file) throw FileError(path, "cannot open " + path + ": " + why);
    return file;
}

}  // namespace scanflow
