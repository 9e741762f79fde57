// A farm machine analysing a customer's scene: the scene decides which paths are looked at and
// which variables are expanded, so under confinement only files below the given roots are
// listed, stated or read, and only the allowed environment variables are expanded. Off unless
// roots are given.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "util/flavour.h"

namespace scanflow {

class Confinement {
public:
    // Roots and variable names as the option gives them, comma-separated; roots that do not
    // exist admit nothing.
    static std::shared_ptr<const Confinement> from_lists(std::string_view roots,
                                                         std::string_view variables);

    // Whether a path, with its links followed, lies below a root; `real` is that path as the
    // system resolves it.
    bool admits_real(const std::string& real) const;
    // Whether an environment variable may be expanded: the host application's own, and those
    // the option names.
    bool admits_variable(const std::string& name) const;
    const std::vector<std::string>& roots() const { return roots_; }

private:
    std::vector<std::string> roots_;  // resolved, without a trailing separator
    std::set<std::string> variables_;
};

// The host application's own environment variables, which a confined run still expands.
bool host_variable(const std::string& name);

}  // namespace scanflow
