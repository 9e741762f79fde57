#include "util/environment.h"

#include "base/os.h"
#include "util/confinement.h"

namespace scanflow {

Environment Environment::process() {
    return Environment([](const std::string& name) { return os::get_env(name); });
}

Environment Environment::of(std::map<std::string, std::string> values) {
    return Environment([values = std::move(values)](const std::string& name) {
        auto it = values.find(name);
        return it == values.end() ? std::nullopt : std::optional<std::string>(it->second);
    });
}

Environment Environment::confined(std::shared_ptr<const Confinement> confinement) const {
    if (!confinement) return *this;
    return Environment([inner = lookup_, confinement](const std::string& name) {
        return confinement->admits_variable(name) ? inner(name) : std::nullopt;
    });
}

}  // namespace scanflow
