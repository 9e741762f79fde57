// The layer files a USD layer names: its sublayers, references and payloads, recursively.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "usd/facade.h"
#include "util/environment.h"
#include "util/flavour.h"
#include "util/fs_cache.h"

namespace scanflow {

// The directories the variables `env_i` hold, in their order; unset ones are left out.
std::vector<std::string> layer_search_dirs(const std::vector<std::string>& env_i,
                                           const Environment& env);

// What each layer file names, located, kept for one walk of nested files: there a deep stage's
// layers are reached again from every layer above them.
class LayerLinks {
public:
    struct Layer;
    struct Named {
        std::string path;
        bool file = false;
        Layer* layer = nullptr;  // its own entry, once looked up
    };
    struct Layer {
        bool read = false;
        bool exists = false;
        bool file = false;
        std::vector<Named> named;  // for a file: the layers it names, where they lie
        uint64_t reach = 0;        // the last reach that collected it
    };
    // The layer at `path`, read on first use.
    const Layer& of(const std::string& path, UsdFacade& usd,
                    const std::vector<std::string>& search_dirs, DirCache& listings, Flavour f);
    // Appends `path` (when it exists) and every layer it names, recursively, each once and in
    // the order a depth-first walk meets them, to `out`, which points into `path` and the kept
    // links. A layer in `given` is neither collected nor opened, and each layer is opened at
    // most once.
    void reach(const std::string& path, UsdFacade& usd, const std::vector<std::string>& search_dirs,
               DirCache& listings, Flavour f, const std::set<std::string>& given,
               std::vector<const std::string*>& out);

private:
    Layer& entry(const std::string& path);
    Layer& read(Layer& layer, const std::string& path, UsdFacade& usd,
                const std::vector<std::string>& search_dirs, DirCache& listings, Flavour f);

    std::unordered_map<std::string, Layer> known_;
    uint64_t reaches_ = 0;
};

// Adds `usd_path` and the external layers it names, recursively, to `allLayer`. A reference
// that does not exist beside the layer is taken from the last of `search_dirs`; a missing layer
// is listed but not opened, and each layer is opened once. With `links`, what a layer names is
// read from there.
void get_refe_layer(const std::string& usd_path, std::set<std::string>& allLayer, UsdFacade& usd,
                    const std::vector<std::string>& search_dirs, DirCache& listings, Flavour f,
                    LayerLinks* links = nullptr);

}  // namespace scanflow
