// The USD operations the analysis uses, behind a small facade. Inside the host application the
// USD library is the host's own, reached through the interpreter; elsewhere usd-core.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace scanflow {

class UsdFacade {
public:
    virtual ~UsdFacade() = default;
    // Opens the layer file as a stage and lists, over every prim (inactive and unloaded ones
    // included) that has variant sets, each set's name and current selection, in traversal order.
    virtual std::vector<std::pair<std::string, std::string>> variant_selections(
        const std::string& layer_path) = 0;
};

// The facade of this process; an Error ("no Usd") when the USD library is absent.
UsdFacade& usd();
void set_usd(std::shared_ptr<UsdFacade> facade);

}  // namespace scanflow
