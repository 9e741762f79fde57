// The variables of the environment the analysis runs in. Subsystems read them through the object
// a run hands down, never from the process directly, so that a test gives them any values
// without changing the process's environment, and a confined run can narrow what a scene may
// expand.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace scanflow {

class Confinement;

class Environment {
public:
    using Lookup = std::function<std::optional<std::string>(const std::string&)>;

    explicit Environment(Lookup lookup) : lookup_(std::move(lookup)) {}

    // The process's own variables (names without case on Windows, as the system has them).
    static Environment process();
    // Exactly these variables and no other.
    static Environment of(std::map<std::string, std::string> values);

    std::optional<std::string> get(const std::string& name) const { return lookup_(name); }
    // The value, "" when unset.
    std::string text(const std::string& name) const { return get(name).value_or(""); }

    // What a scene may expand: under a confinement only the variables it allows, else all.
    Environment confined(std::shared_ptr<const Confinement> confinement) const;

private:
    Lookup lookup_;
};

}  // namespace scanflow
