#include "render/node_facts.h"

#include <cmath>

namespace scanflow {

std::string frames_text(Node& node, Host& host) {
    auto [global_start, global_end] = host.global_frame_range();
    auto read = [&](const char* name, double fallback) {
        ParmPtr p = node.parm(name);
        return p ? p->eval().as_float() : fallback;
    };
    double f1 = read("f1", global_start), f2 = read("f2", global_end), f3 = read("f3", 1);
    long long step = f3 > 0 ? static_cast<long long>(std::trunc(f3)) : 1;
    return std::to_string(static_cast<long long>(std::trunc(f1))) + "-" +
           std::to_string(static_cast<long long>(std::trunc(f2))) + "[" + std::to_string(step) +
           "]";
}

bool gpu_platform(const std::string& platform) {
    return platform == "21" || platform == "61" || platform == "75";
}

bool is_on(const Value& v) {
    if (v.is_number()) return v.as_float() != 0;
    if (v.is_string())
        return !v.as_string().empty() && v.as_string() != "0" && v.as_string() != "off";
    return false;
}

}  // namespace scanflow
