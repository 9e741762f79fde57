#ifndef _WIN32

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/os.h"

namespace scanflow::os {

std::string current_directory() {
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return ".";
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

}  // namespace scanflow::os

#endif
