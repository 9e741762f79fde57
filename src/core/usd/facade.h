// The USD operations the analysis uses, behind a small facade. Inside the host application the
// USD library is the host's own, reached through the interpreter; elsewhere usd-core.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "util/confinement.h"

namespace scanflow {

// What one walk over a stage reports of each prim, in traversal order (every prim, inactive
// and unloaded ones included).
struct UsdAttribute {
    std::string name;       // property name
    std::string base_name;  // attribute base name
    enum Kind { Other, Text, Asset } kind = Other;
    std::string text;      // Text: the value
    std::string resolved;  // Asset: resolved path
    std::string written;   // Asset: path as written
    bool time_sampled = false;
    std::string sample_path;  // the asset or text value at time 0, when time-sampled
    // Asset: where a path relative to its layer lies when the library did not resolve it.
    std::string anchored;
    bool operator==(const UsdAttribute&) const = default;
};

struct UsdSpec {
    std::string layer_real_path;
    std::string first_sublayer;      // of the layer holding this prim spec, as written; "" if none
    std::vector<std::string> items;  // reference then payload asset paths, six list operations each
    bool operator==(const UsdSpec&) const = default;
};

struct UsdPrim {
    std::string path;
    bool has_variant_sets = false;
    // Variant selections applied while walking: set, variant, whether it took.
    std::vector<std::tuple<std::string, std::string, bool>> selections;
    std::vector<std::string> clip_asset_paths;  // resolved
    std::string clip_manifest;                  // resolved
    std::vector<std::string> clip_set_paths;    // per clip set: assetPaths, then manifestAssetPath
    std::vector<UsdSpec> specs;
    std::vector<UsdAttribute> attributes;
    bool operator==(const UsdPrim&) const = default;
};

struct UsdStageWalk {
    std::vector<std::string> root_sublayers;
    // Shared: the walk of a stage that is another's without its root layer holds that stage's
    // records of the prims the root layer does not name.
    std::vector<std::shared_ptr<const UsdPrim>> prims;
};

// Variant selections to apply to a prim with variant sets, given its path. An empty chooser
// applies none.
using VariantChooser =
    std::function<std::vector<std::pair<std::string, std::string>>(const std::string& prim_path)>;

class UsdFacade {
public:
    virtual ~UsdFacade() = default;
    // Opens the layer file as a stage and lists, over every prim (inactive and unloaded ones
    // included) that has variant sets, each set's name and current selection, in traversal order.
    virtual std::vector<std::pair<std::string, std::string>> variant_selections(
        const std::string& layer_path) = 0;
    // The external references (sublayers, references, payloads) written in a layer file.
    virtual std::vector<std::string> external_references(const std::string& layer_path) = 0;
    // Opens the stage and walks it, applying the chosen variant selections as it goes.
    virtual UsdStageWalk walk_stage(const std::string& path, const VariantChooser& choose) = 0;
    // The stage's start and end time codes.
    virtual std::pair<double, double> time_codes(const std::string& path) = 0;
    // The library's version, "major.minor.patch".
    virtual std::string version() = 0;
    // Starts loading the library in the background where loading costs time, so that it
    // overlaps other work; the first use waits for it.
    virtual void load_ahead() {}
    // Between the two, nothing the facade reads changes: layers stay open and what was read of
    // them is kept. After end_run every layer is read again.
    virtual void begin_run() {}
    virtual void end_run() {}
    // Within a run, what was kept of the layers read so far is let go of, once the caller reads
    // no more of them: a layer read after this is read again.
    virtual void let_go() {}
    // Layers outside the confinement's roots are not opened; null: every layer may be.
    virtual void confine(std::shared_ptr<const Confinement> confinement) { (void)confinement; }
};

// The facade itself, or an error ("no Usd") when the USD library is absent (null).
UsdFacade& require_usd(UsdFacade* facade);

}  // namespace scanflow
