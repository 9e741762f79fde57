#include "util/file_handle.h"

#include <cerrno>
#include <cstring>

#include "base/errors.h"

namespace scanflow {

FileHandle open_for_reading(const std::string& path) {
    FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file) throw FileError(path, "cannot open " + path + ": " + std::strerror(errno));
    return file;
}

}  // namespace scanflow
