#include "scan/geo_cache.h"

#include "host/hip/geometry.h"
#include "util/flavour.h"
#include "util/json.h"

namespace scanflow {

namespace {

// What a "filenames" value holds: "[a.bgeo,b.bgeo]" with the names quoted or not.
void split_list(const std::string& value, std::vector<std::string>& out) {
    if (value.size() < 2 || value.front() != '[' || value.back() != ']') return;
    std::string inner = value.substr(1, value.size() - 2);
    size_t start = 0;
    while (start <= inner.size()) {
        size_t comma = inner.find(',', start);
        std::string part =
            inner.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        size_t b = part.find_first_not_of("\\\"");
        size_t e = part.find_last_not_of("\\\"");
        part = b == std::string::npos ? "" : part.substr(b, e - b + 1);
        out.push_back(slashes_forward(part));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
}

}  // namespace

std::vector<std::string> geometry_file_lists_from(const std::string& data,
                                                  const std::string& path) {
    Json geometry = hip::decode_geometry(data, path);
    std::vector<std::string> out;
    // Every object, in document order, without recursion: geometry can nest deeply.
    std::vector<const Json*> todo{&geometry};
    while (!todo.empty()) {
        const Json* node = todo.back();
        todo.pop_back();
        std::vector<const Json*> children;
        if (node->is_object()) {
            for (const auto& item : node->items()) {
                if (ascii_lower(item.key()) == "filenames" && item.value().is_string())
                    split_list(item.value().get<std::string>(), out);
                children.push_back(&item.value());
            }
        } else if (node->is_array()) {
            for (const auto& item : *node) children.push_back(&item);
        }
        for (auto it = children.rbegin(); it != children.rend(); ++it) todo.push_back(*it);
    }
    return out;
}

std::vector<std::string> geometry_file_lists(const std::string& path) {
    return geometry_file_lists_from(hip::read_geometry_bytes(path), path);
}

}  // namespace scanflow
