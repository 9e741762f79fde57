#include "usd/stage_refs.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "base/console.h"
#include "base/os.h"
#include "base/text.h"
#include "base/timed.h"
#include "host/value_json.h"
#include "usd/layers.h"
#include "util/json.h"
#include "util/paths.h"
#include "util/sequence_key.h"

namespace scanflow {

namespace {

// abspath: normalised, and against the working directory when relative.
std::string abspath(const std::string& path, Flavour f) {
    if (isabs(path, f)) return normpath(path, f);
    return normpath(join(os::current_directory(), path, f), f);
}

// The files found, in any order and any number of times; sorted once at the end, which costs
// less than keeping a deep stage's thousands of names in order as they come.
struct Found {
    std::vector<std::string> paths;
    void insert(std::string path) { paths.push_back(std::move(path)); }
};

// What the scan recorded for this layer file, one entry per recording.
std::vector<const LayerVariants*> recorded_for(const std::string& stage_file,
                                               const RecordedVariants& need_varian_usd) {
    std::vector<const LayerVariants*> out;
    for (const auto& layer : need_varian_usd)
        if (layer.layer == stage_file) out.push_back(&layer);
    return out;
}

// A set or variant name as the host gave it, numbers in their record form.
std::string picked_name(const Value& v) {
    return value_text(value_json(v));
}

// The set and variant each recording picks for a prim: its pattern is the prim's path.
VariantChooser variant_chooser(std::vector<const LayerVariants*> recorded) {
    return [recorded = std::move(recorded)](const std::string& prim_path) {
        std::vector<std::pair<std::string, std::string>> picks;
        for (const LayerVariants* layer : recorded)
            for (const RecordedVariant& v : layer->variants)
                if (v.for_prims && v.key == prim_path)
                    picks.emplace_back(picked_name(v.variantset), picked_name(v.variantname));
        return picks;
    };
}

void print_selections(const UsdPrim& prim) {
    for (const auto& [set, name, ok] : prim.selections)
        console::print(ok ? prim.path + " set " + set + " ====> " + name
                          : prim.path + " set " + set + " to " + name + " failed!!!");
}

void add_clips(const UsdPrim& prim, const std::string& stage_dir, Flavour f, Found& result) {
    auto add = [&](const std::string& p) {
        if (p.empty()) return;
        std::string forward = slashes_forward(p);
        result.insert(isabs(forward, f)
                          ? forward
                          : slashes_forward(normpath(join(stage_dir, forward, f), f)));
    };
    for (const auto& p : prim.clip_asset_paths) add(p);
    for (const auto& p : prim.clip_set_paths) add(p);
    add(prim.clip_manifest);
}

// References and payloads of every prim spec.
void add_spec_references(const UsdPrim& prim, const std::string& stage_dir, DirCache& listings,
                         Flavour f, Found& result) {
    for (const auto& spec : prim.specs)
        for (const auto& item : spec.items)
            if (!item.empty())  // an internal reference names no file
                result.insert(resolve_ref(spec.layer_real_path, spec.first_sublayer, item,
                                          stage_dir, listings, f));
}

// The file an attribute names, if any: a text with "/" in a file-like property, or an asset.
std::optional<std::string> attribute_file(const UsdAttribute& attr) {
    bool named_file = attr.name.find("file") != std::string::npos ||
                      attr.name.find("input") != std::string::npos ||
                      attr.name.find("primvars") != std::string::npos;
    if (attr.kind == UsdAttribute::Text && attr.text.find('/') != std::string::npos && named_file)
        return attr.text;
    if (attr.kind == UsdAttribute::Asset)
        return attr.resolved.empty() ? attr.written : attr.resolved;
    return std::nullopt;
}

// What an attribute's file path stands for: itself when absolute; the path with its first
// component read as an environment variable, when one of that name is set; and the files of its
// name in the prim's layer directories and the texture search paths. A rooted path stops after
// the first. Returns whether it stood for anything.
bool add_attribute_file(std::string file_path, const std::set<std::string>& dirs,
                        const Environment& variables, DirCache& listings, Flavour f,
                        Found& result) {
    bool found = false;
    if (isabs(file_path, f)) {
        result.insert(abspath(file_path, f));
        found = true;
    }
    std::string forward = slashes_forward(file_path);
    std::string env_name = forward.substr(0, forward.find('/'));
    if (env_name.empty()) return found;  // a rooted path
    size_t first = forward.find(env_name);
    size_t second = forward.find(env_name, first + env_name.size());
    std::string rest = forward.substr(
        first + env_name.size(),
        second == std::string::npos ? std::string::npos : second - first - env_name.size());
    if (auto value = variables.get(env_name)) {
        file_path = *value + "/" + rest;
        result.insert(file_path);
        found = true;
    }
    std::string base = basename(slashes_forward(file_path), Flavour{false});
    // A relative path in a folder of its layer ("./tex/a.<UDIM>.exr", which the library does
    // not resolve) is found with its folder, besides by its name alone.
    bool in_folder = !isabs(forward, f) && forward.find('/') != std::string::npos &&
                     forward.find('/') + 1 < forward.size() && forward != base;
    for (const auto& dir : dirs) {
        for (const std::string& name : {base, in_folder ? forward : std::string()}) {
            if (name.empty()) continue;
            std::string joined = normpath(join(dir, name, f), f);
            for (auto& m : glob_file(sequence_key(joined), listings, f)) {
                result.insert(m);
                found = true;
            }
            if (listings.exists(joined)) {
                result.insert(joined);
                found = true;
            }
        }
    }
    return found;
}

void add_time_sampled_files(const UsdPrim& prim, const std::string& stage_file,
                            const std::string& stage_dir, DirCache& listings, Flavour f,
                            Found& result) {
    for (const auto& attr : prim.attributes) {
        if (!attr.time_sampled || (attr.base_name != "filename" && attr.base_name != "filePath"))
            continue;
        std::string path = resolve_ref(stage_file, "", attr.sample_path, stage_dir, listings, f);
        result.insert(path);
        if (ends_with(path, ".bgeo.sc")) {
            std::string stem = path.substr(0, path.size() - 8);
            for (const char* ext : {".usd", ".USD"})
                if (listings.exists(stem + ext)) result.insert(stem + ext);
        }
    }
}

// The files the prim's attributes stand for: the same wherever the prim is walked.
std::vector<std::string> attribute_files(const UsdPrim& prim, const StageInputs& in) {
    Found found;
    std::set<std::string> dirs(in.texture_searchpaths.begin(), in.texture_searchpaths.end());
    for (const auto& spec : prim.specs)
        dirs.insert(slashes_forward(dirname(spec.layer_real_path, in.flavour)));
    for (const auto& attr : prim.attributes) {
        auto file = attribute_file(attr);
        if (!file) continue;
        // A path relative to its layer that is nowhere is missing beside that layer.
        if (!add_attribute_file(*file, dirs, in.variables, in.listings, in.flavour, found) &&
            !attr.anchored.empty())
            found.insert(slashes_forward(attr.anchored));
    }
    return std::move(found.paths);
}

void add_prim_files(const std::shared_ptr<const UsdPrim>& prim, const std::string& stage_file,
                    const std::string& stage_dir, const StageInputs& in, StageMemo& memo,
                    Found& result) {
    print_selections(*prim);
    add_clips(*prim, stage_dir, in.flavour, result);
    add_spec_references(*prim, stage_dir, in.listings, in.flavour, result);
    auto [at, added] = memo.prim_files.try_emplace(prim.get());
    if (added) at->second = {prim, attribute_files(*prim, in)};
    for (const auto& file : at->second.files) result.insert(file);
    add_time_sampled_files(*prim, stage_file, stage_dir, in.listings, in.flavour, result);
}

}  // namespace

std::string resolve_ref(const std::string& layer_real_path, const std::string& first_sublayer,
                        const std::string& reference, const std::string& dir_path,
                        DirCache& listings, Flavour f) {
    std::string anchor = first_sublayer.empty() ? layer_real_path : first_sublayer;
    std::string dir = dirname(anchor, f);
    if (!isabs(dir, f)) dir = normpath(join(dir_path, dir, f), f);
    // Resolved against the anchor's directory without changing the process's working directory.
    if (listings.isdir(dir))
        return slashes_forward(isabs(reference, f) ? normpath(reference, f)
                                                   : normpath(join(dir, reference, f), f));
    console::print("local not exists " + dir);
    return slashes_forward(abspath(reference, f));
}

void StageMemo::let_go_of_unheld() {
    if (prim_files.size() < next_look) return;
    for (auto it = prim_files.begin(); it != prim_files.end();)
        it = it->second.prim.use_count() == 1 ? prim_files.erase(it) : std::next(it);
    next_look = std::max<size_t>(1024, 2 * prim_files.size());
}

std::vector<std::string> get_stage_references(const std::string& stage_file, const StageInputs& in,
                                              StageMemo* memo) {
    return timed(2, "get_stage_references", [&] {
        const Flavour f = in.flavour;
        UsdFacade& usd = require_usd(in.usd);
        StageMemo own;
        StageMemo& kept = memo ? *memo : own;
        Found result;
        {
            std::vector<const std::string*> reached;
            kept.layers.reach(stage_file, usd, in.layer_search_dirs, in.listings, f, {}, reached);
            result.paths.reserve(reached.size());
            for (const std::string* path : reached) result.insert(*path);
        }

        std::vector<const LayerVariants*> recorded = recorded_for(stage_file, in.need_varian_usd);
        console::print("This usd has a variant, with a value of " +
                       variants_repr(in.need_varian_usd, stage_file));
        UsdStageWalk walk = usd.walk_stage(
            stage_file, recorded.empty() ? VariantChooser{} : variant_chooser(std::move(recorded)));

        std::string stage_dir = dirname(stage_file, f);
        for (const auto& sub : walk.root_sublayers) {
            std::string path = isabs(sub, f) ? sub : normpath(join(stage_dir, sub, f), f);
            if (in.listings.exists(path)) result.insert(path);
        }
        for (const auto& prim : walk.prims)
            add_prim_files(prim, stage_file, stage_dir, in, kept, result);
        kept.let_go_of_unheld();

        std::vector<std::string> out = std::move(result.paths);
        for (auto& path : out) std::replace(path.begin(), path.end(), '\\', '/');
        std::sort(out.begin(), out.end());
        out.erase(std::unique(out.begin(), out.end()), out.end());
        out.shrink_to_fit();  // a deep walk holds the lists of every stage above the one it reads
        return out;
    });
}

}  // namespace scanflow
