#include "usd/layers.h"

#include "base/text.h"

namespace scanflow {

namespace {

// Where a reference written in a layer lies: beside the layer, else in a search directory.
std::string locate_reference(const std::string& reference, const std::string& file_dir,
                             const std::vector<std::string>& search_dirs, DirCache& listings,
                             Flavour f) {
    std::string ref = isabs(reference, f) ? reference : normpath(join(file_dir, reference, f), f);
    if (!listings.exists(ref)) {
        for (const auto& dir : search_dirs)
            ref = slashes_forward(normpath(join(dir, reference, f), f));
    }
    return normpath(ref, f);
}

}  // namespace

std::vector<std::string> layer_search_dirs(const std::vector<std::string>& env_i,
                                           const Environment& env) {
    std::vector<std::string> dirs;
    for (const auto& name : env_i)
        if (auto dir = env.get(name)) dirs.push_back(*dir);
    return dirs;
}

namespace {

LayerLinks::Layer read_layer(const std::string& path, UsdFacade& usd,
                             const std::vector<std::string>& search_dirs, DirCache& listings,
                             Flavour f) {
    LayerLinks::Layer layer;
    layer.exists = listings.exists(path);
    layer.file = layer.exists && listings.isfile(path);
    if (!layer.file) return layer;
    std::string file_dir = dirname(path, f);
    for (const auto& reference : usd.external_references(path)) {
        if (reference.empty()) continue;  // an internal reference names no layer file
        std::string ref = locate_reference(reference, file_dir, search_dirs, listings, f);
        bool file = listings.isfile(ref);
        layer.named.push_back({std::move(ref), file});
    }
    return layer;
}

}  // namespace

const LayerLinks::Layer& LayerLinks::of(const std::string& path, UsdFacade& usd,
                                        const std::vector<std::string>& search_dirs,
                                        DirCache& listings, Flavour f) {
    auto found = known_.find(path);
    if (found != known_.end()) return found->second;
    return known_.emplace(path, read_layer(path, usd, search_dirs, listings, f)).first->second;
}

void get_refe_layer(const std::string& usd_path, std::set<std::string>& allLayer, UsdFacade& usd,
                    const std::vector<std::string>& search_dirs, DirCache& listings, Flavour f,
                    LayerLinks* links) {
    // Layers still to open, depth first; a layer already collected is never opened again, so
    // cycles end.
    std::vector<std::string> todo{usd_path};
    bool first = true;
    while (!todo.empty()) {
        std::string path = todo.back();
        todo.pop_back();
        if (path.empty()) continue;
        LayerLinks::Layer fresh;
        const LayerLinks::Layer& layer =
            links ? links->of(path, usd, search_dirs, listings, f)
                  : (fresh = read_layer(path, usd, search_dirs, listings, f));
        if (!layer.exists) continue;
        if (!first && allLayer.count(path) && !layer.file) continue;
        first = false;
        allLayer.insert(path);
        if (!layer.file) continue;
        std::vector<std::string> next;
        for (const auto& named : layer.named) {
            bool known = !allLayer.insert(named.path).second;
            if (!known && named.file) next.push_back(named.path);
        }
        for (auto it = next.rbegin(); it != next.rend(); ++it) todo.push_back(*it);
    }
}

}  // namespace scanflow
