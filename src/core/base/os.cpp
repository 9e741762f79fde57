// What the seam does the same way on every system, over its platform's own calls.
#include "base/os.h"

namespace scanflow::os {

std::optional<std::string> read_file(const std::string& path, std::string* why) {
    std::FILE* file = open_regular(path, why);
    if (file == nullptr) return std::nullopt;
    std::string data;
    char block[1 << 16];
    while (size_t n = std::fread(block, 1, sizeof block, file)) data.append(block, n);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        *why = "read error";
        return std::nullopt;
    }
    return data;
}

}  // namespace scanflow::os
