#include "util/confinement.h"

#include "base/os.h"
#include "base/text.h"

namespace scanflow {

namespace {

std::vector<std::string> comma_list(std::string_view text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        std::string item = strip_blanks(std::string(text.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start)));
        if (!item.empty()) out.push_back(item);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return out;
}

bool separator(char c) {
    return c == '/' || (os::kWindows && c == '\\');
}

}  // namespace

std::shared_ptr<const Confinement> Confinement::from_lists(std::string_view roots,
                                                           std::string_view variables) {
    auto out = std::make_shared<Confinement>();
    for (const std::string& root : comma_list(roots)) {
        std::optional<std::string> real = os::real_path(root);
        if (!real) continue;
        while (real->size() > 1 && separator(real->back())) real->pop_back();
        out->roots_.push_back(*real);
    }
    for (const std::string& name : comma_list(variables)) out->variables_.insert(name);
    return out;
}

bool Confinement::admits_real(const std::string& real) const {
    for (const std::string& root : roots_) {
        bool same = os::kWindows ? ascii_lower(real.substr(0, root.size())) == ascii_lower(root)
                                 : real.compare(0, root.size(), root) == 0;
        if (!same) continue;
        if (real.size() == root.size() || separator(real[root.size()]) || separator(root.back()))
            return true;
    }
    return false;
}

bool Confinement::admits_variable(const std::string& name) const {
    return host_variable(name) || variables_.count(name) > 0;
}

bool host_variable(const std::string& name) {
    static const std::set<std::string> own{"HFS",   "HH",  "HB",      "HD",      "HT",
                                           "HSITE", "HIP", "HIPFILE", "HIPNAME", "JOB"};
    return own.count(name) > 0 || starts_with(name, "HOUDINI_");
}

}  // namespace scanflow
