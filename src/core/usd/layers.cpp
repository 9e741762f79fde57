#include "usd/layers.h"

#include <algorithm>

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

LayerLinks::Layer& LayerLinks::entry(const std::string& path) {
    return known_.try_emplace(path).first->second;
}

LayerLinks::Layer& LayerLinks::read(Layer& layer, const std::string& path, UsdFacade& usd,
                                    const std::vector<std::string>& search_dirs, DirCache& listings,
                                    Flavour f) {
    if (layer.read) return layer;
    layer.read = true;
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

const LayerLinks::Layer& LayerLinks::of(const std::string& path, UsdFacade& usd,
                                        const std::vector<std::string>& search_dirs,
                                        DirCache& listings, Flavour f) {
    return read(entry(path), path, usd, search_dirs, listings, f);
}

void LayerLinks::reach(const std::string& path, UsdFacade& usd,
                       const std::vector<std::string>& search_dirs, DirCache& listings, Flavour f,
                       const std::set<std::string>& given, std::vector<const std::string*>& out) {
    if (path.empty()) return;
    Layer& top = entry(path);
    if (!read(top, path, usd, search_dirs, listings, f).exists) return;
    // A deep stage reaches the same layers again at every level: each entry remembers the
    // last reach that collected it, so telling a new layer takes no lookup.
    const uint64_t now = ++reaches_;
    top.reach = now;
    out.push_back(&path);
    auto collect = [&](Named& named) {
        if (!named.layer) named.layer = &entry(named.path);
        if (named.layer->reach == now) return false;
        named.layer->reach = now;
        if (!given.empty() && given.count(named.path)) return false;
        out.push_back(&named.path);
        return true;
    };
    // Layers still to open, depth first; a layer collected already is never opened again, so
    // cycles end.
    std::vector<std::pair<Layer*, const std::string*>> todo{{&top, &path}};
    while (!todo.empty()) {
        auto [layer, at] = todo.back();
        todo.pop_back();
        if (!read(*layer, *at, usd, search_dirs, listings, f).file) continue;
        size_t mark = todo.size();
        for (auto& named : layer->named)
            if (collect(named) && named.file) todo.emplace_back(named.layer, &named.path);
        std::reverse(todo.begin() + static_cast<std::ptrdiff_t>(mark), todo.end());
    }
}

void get_refe_layer(const std::string& usd_path, std::set<std::string>& allLayer, UsdFacade& usd,
                    const std::vector<std::string>& search_dirs, DirCache& listings, Flavour f,
                    LayerLinks* links) {
    LayerLinks own;
    std::vector<const std::string*> reached;
    (links ? *links : own).reach(usd_path, usd, search_dirs, listings, f, allLayer, reached);
    for (const std::string* path : reached) allLayer.insert(*path);
}

}  // namespace scanflow
