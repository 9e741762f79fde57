// The files a USD layer depends on: external layers, sublayers, value clips, references and
// payloads of every prim spec, and file paths held by attributes.
#include <algorithm>
#include <cstdlib>
#include <set>

#include "drivers/analysis.h"
#include "entry/console.h"
#include "entry/state.h"
#include "entry/timed.h"
#include "usd/facade.h"
#include "util/fs_cache.h"
#include "util/paths.h"

namespace scanflow {

namespace {

std::string absolute(const std::string& path, Flavour f) {
    if (isabs(path, f)) return normpath(path, f);
    char buf[4096];
    std::string cwd = ::getcwd(buf, sizeof buf) ? buf : ".";
    return normpath(join(cwd, path, f), f);
}

}  // namespace

void AnalysUsd::get_refe_layer(const std::string& usd_path, std::set<std::string>& allLayer) {
    Flavour f = current_flavour();
    // Layers still to open, depth first; a layer already collected is never opened again, so
    // cycles end.
    std::vector<std::string> todo{usd_path};
    bool first = true;
    while (!todo.empty()) {
        std::string path = todo.back();
        todo.pop_back();
        if (path.empty() || !fs().exists(path)) continue;
        if (!first && allLayer.count(path) && !fs().isfile(path)) continue;
        first = false;
        std::string file_dir = dirname(path, f);
        allLayer.insert(path);
        if (!fs().isfile(path)) continue;
        std::vector<std::string> next;
        for (const auto& reference : usd().external_references(path)) {
            if (reference.empty()) continue;  // an internal reference names no layer file
            std::string ref =
                isabs(reference, f) ? reference : normpath(join(file_dir, reference, f), f);
            if (!fs().exists(ref)) {
                for (const auto& name : state().env_i)
                    if (const char* dir = std::getenv(name.c_str()))
                        ref = slashes_forward(normpath(join(dir, reference, f), f));
            }
            ref = normpath(ref, f);
            bool known = allLayer.count(ref) > 0;
            allLayer.insert(ref);
            if (!known && fs().isfile(ref)) next.push_back(ref);
        }
        for (auto it = next.rbegin(); it != next.rend(); ++it) todo.push_back(*it);
    }
}

std::string AnalysUsd::resolve_ref(const std::string& layer_real_path,
                                   const std::string& first_sublayer, const std::string& reference,
                                   const std::string& dir_path) {
    Flavour f = current_flavour();
    std::string anchor = first_sublayer.empty() ? layer_real_path : first_sublayer;
    std::string dir = dirname(anchor, f);
    if (!isabs(dir, f)) dir = normpath(join(dir_path, dir, f), f);
    // Resolved against the anchor's directory without changing the process's working directory.
    if (fs().isdir(dir))
        return slashes_forward(isabs(reference, f) ? normpath(reference, f)
                                                   : normpath(join(dir, reference, f), f));
    console::print("local not exists " + dir);
    return slashes_forward(absolute(reference, f));
}

std::vector<std::string> AnalysUsd::get_stage_references(const std::string& stage_file) {
    return timed(2, "get_stage_references", [&] {
        Flavour f = current_flavour();
        FsScope listings;
        std::set<std::string> result;
        get_refe_layer(stage_file, result);

        Json prim_variant = Json::array();
        for (const auto& layer : state().need_varian_usd)
            if (layer.is_object() && layer.contains(stage_file))
                prim_variant.push_back(layer[stage_file]);
        console::print("This usd has a variant, with a value of " + py_repr(prim_variant));

        std::string stage_dir = dirname(stage_file, f);
        auto chooser = [&](const std::string& prim_path) {
            std::vector<std::pair<std::string, std::string>> picks;
            for (const auto& variants : prim_variant) {
                auto hit = variants.find(prim_path);
                if (hit == variants.end() || !hit->is_object()) continue;
                picks.emplace_back(value_text(hit->value("variantset", Json(""))),
                                   value_text(hit->value("variantname", Json(""))));
            }
            return picks;
        };
        UsdStageWalk walk = usd().walk_stage(stage_file, chooser);
        for (const auto& sub : walk.root_sublayers) {
            std::string path = isabs(sub, f) ? sub : normpath(join(stage_dir, sub, f), f);
            if (fs().exists(path)) result.insert(path);
        }
        std::vector<std::string> search(state().texture_searchpaths.begin(),
                                        state().texture_searchpaths.end());
        for (const auto& prim : walk.prims) {
            for (const auto& [set, name, ok] : prim.selections)
                console::print(ok ? prim.path + " set " + set + " ====> " + name
                                  : prim.path + " set " + set + " to " + name + " failed!!!");
            auto add_clip = [&](const std::string& p) {
                if (p.empty()) return;
                std::string forward = slashes_forward(p);
                result.insert(isabs(forward, f)
                                  ? forward
                                  : slashes_forward(normpath(join(stage_dir, forward, f), f)));
            };
            for (const auto& p : prim.clip_asset_paths) add_clip(p);
            for (const auto& p : prim.clip_set_paths) add_clip(p);
            add_clip(prim.clip_manifest);
            // The directories of the layers that define this prim, and the texture search paths.
            std::set<std::string> dirs;
            for (const auto& spec : prim.specs) {
                for (const auto& item : spec.items)
                    if (!item.empty())  // an internal reference names no file
                        result.insert(resolve_ref(spec.layer_real_path, spec.first_sublayer, item,
                                                  stage_dir));
                dirs.insert(slashes_forward(dirname(spec.layer_real_path, f)));
            }
            dirs.insert(search.begin(), search.end());
            for (const auto& attr : prim.attributes) {
                std::string file_path;
                bool named_file = attr.name.find("file") != std::string::npos ||
                                  attr.name.find("input") != std::string::npos ||
                                  attr.name.find("primvars") != std::string::npos;
                if (attr.kind == UsdAttribute::Text && attr.text.find('/') != std::string::npos &&
                    named_file) {
                    file_path = attr.text;
                } else if (attr.kind == UsdAttribute::Asset) {
                    file_path = attr.resolved.empty() ? attr.written : attr.resolved;
                } else {
                    continue;
                }
                if (isabs(file_path, f)) result.insert(absolute(file_path, f));
                std::string forward = slashes_forward(file_path);
                std::string env_name = forward.substr(0, forward.find('/'));
                if (env_name.empty()) continue;  // a rooted path
                size_t first = forward.find(env_name);
                size_t second = forward.find(env_name, first + env_name.size());
                std::string rest =
                    forward.substr(first + env_name.size(), second == std::string::npos
                                                                ? std::string::npos
                                                                : second - first - env_name.size());
                if (const char* value = std::getenv(env_name.c_str())) {
                    file_path = std::string(value) + "/" + rest;
                    result.insert(file_path);
                }
                std::string base = basename(slashes_forward(file_path), Flavour{false});
                for (const auto& dir : dirs) {
                    std::string joined = normpath(join(dir, base, f), f);
                    for (auto& m : glob_file(sequence_key(joined))) result.insert(m);
                    if (fs().exists(joined)) result.insert(joined);
                }
            }
            for (const auto& attr : prim.attributes) {
                if (!attr.time_sampled ||
                    (attr.base_name != "filename" && attr.base_name != "filePath"))
                    continue;
                std::string path = resolve_ref(stage_file, "", attr.sample_path, stage_dir);
                result.insert(path);
                if (ends_with(path, ".bgeo.sc")) {
                    std::string stem = path.substr(0, path.size() - 8);
                    for (const char* ext : {".usd", ".USD"})
                        if (fs().exists(stem + ext)) result.insert(stem + ext);
                }
            }
        }
        std::vector<std::string> out;
        for (const auto& p : result) out.push_back(slashes_forward(p));
        std::sort(out.begin(), out.end());
        out.erase(std::unique(out.begin(), out.end()), out.end());
        return out;
    });
}

}  // namespace scanflow
