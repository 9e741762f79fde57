#include "usd_pxr.h"

#include <pybind11/eval.h>

#include "base/errors.h"
#include "pyutil.h"

namespace scanflow::py_bridge {

namespace {

// The walks over pxr objects, run by the interpreter that holds them; they hand back plain
// lists and dictionaries.
const char* kHelpers = R"py(
from pxr import Usd, Sdf

def _items(sequence):
    # By index: iterating the library's list proxies ends each list with an index error raised
    # and unwound in C++.
    return [sequence[i] for i in range(len(sequence))]

def _asset(value):
    resolved = getattr(value, "resolvedPath", None)
    if resolved is None:
        return None
    return (resolved or "", getattr(value, "path", "") or "")

def external_references(path):
    layer = Sdf.Layer.FindOrOpen(path)
    if layer is None:
        raise RuntimeError("USD cannot open layer " + path)
    return list(layer.GetExternalReferences())

def variant_selections(path):
    stage = Usd.Stage.Open(path)
    if stage is None:
        raise RuntimeError("USD cannot open " + path)
    out = []
    for prim in stage.TraverseAll():
        if not prim.HasVariantSets():
            continue
        same = stage.GetPrimAtPath(prim.GetPath())
        sets = same.GetVariantSets()
        for name in sets.GetNames():
            out.append((name, sets.GetVariantSet(name).GetVariantSelection()))
    return out

def version():
    return ".".join(str(part) for part in Usd.GetVersion())

def time_codes(path):
    stage = Usd.Stage.Open(path)
    if stage is None:
        raise RuntimeError("USD cannot open " + path)
    return (stage.GetStartTimeCode(), stage.GetEndTimeCode())

_LISTS = ("addedItems", "appendedItems", "deletedItems", "explicitItems", "orderedItems", "prependedItems")

def _record(stage, prim, choose):
    rec = {"path": prim.GetPrimPath().pathString, "has_variant_sets": prim.HasVariantSets(), "selections": [],
           "clip_asset_paths": [], "clip_manifest": "", "clip_set_paths": [], "specs": [], "attributes": []}
    changed = False
    if rec["has_variant_sets"]:
        for vset, name in choose(rec["path"]):
            ok = False
            try:
                ok = bool(prim.GetVariantSet(vset).SetVariantSelection(name))
            except Exception:
                ok = False
            changed = changed or ok
            rec["selections"].append((vset, name, ok))
    clips = Usd.ClipsAPI(prim)
    # A clip file that does not resolve is reported as written, to be found missing.
    for asset in _items(clips.GetClipAssetPaths() or []):
        rec["clip_asset_paths"].append(asset.resolvedPath or asset.path)
    manifest = clips.GetClipManifestAssetPath()
    rec["clip_manifest"] = ((manifest.resolvedPath or manifest.path) if manifest else "").strip().replace("\\", "/")
    for _, clip in (clips.GetClips() or {}).items():
        for asset in _items(clip.get("assetPaths", []) or []):
            rec["clip_set_paths"].append(asset.resolvedPath or asset.path)
        if clip.get("manifestAssetPath"):
            rec["clip_set_paths"].append(clip["manifestAssetPath"].resolvedPath or clip["manifestAssetPath"].path)
    for spec in prim.GetPrimStack():
        items = []
        for list_name, present in (("referenceList", spec.hasReferences), ("payloadList", spec.hasPayloads)):
            if not present:
                continue
            ops = getattr(spec, list_name)
            for op in _LISTS:
                for item in _items(getattr(ops, op)):
                    items.append(item.assetPath)
        layer = spec.layer
        subs = _items(layer.subLayerPaths)
        rec["specs"].append({"layer_real_path": layer.realPath or "", "first_sublayer": subs[0] if subs else "",
                             "items": items})
    for name in prim.GetPropertyNames():
        attr = prim.GetAttribute(name)
        if not attr:
            continue
        try:
            value = attr.Get()
        except Exception:
            continue
        entry = {"name": name, "base_name": attr.GetBaseName(), "kind": 0, "text": "", "resolved": "",
                 "written": "", "time_sampled": False, "sample_path": ""}
        if isinstance(value, str):
            entry["kind"], entry["text"] = 1, value
        else:
            asset = _asset(value)
            if asset is not None:
                entry["kind"], (entry["resolved"], entry["written"]) = 2, asset
        try:
            if attr.GetTimeSamples():
                entry["time_sampled"] = True
                sample = attr.Get(0)
                entry["sample_path"] = getattr(sample, "path", sample) if sample is not None else ""
        except Exception:
            pass
        if entry["kind"] or entry["time_sampled"]:
            rec["attributes"].append(entry)
    return rec, changed

def walk_stage(path, choose):
    stage = Usd.Stage.Open(path)
    if stage is None:
        raise RuntimeError("USD cannot open " + path)
    done, records = set(), []
    # A selection changes what lies below the prim: walk again, skipping prims already seen.
    again = True
    while again:
        again = False
        for prim in list(stage.TraverseAll()):
            key = prim.GetPrimPath().pathString
            if key in done:
                continue
            done.add(key)
            rec, changed = _record(stage, prim, choose)
            records.append(rec)
            if changed:
                again = True
                break
    return {"root_sublayers": _items(stage.GetRootLayer().subLayerPaths), "prims": records}
)py";

// A failure here is left for the first use to report.
const char* kLoadAhead = R"py(
import threading

def _load():
    try:
        import pxr.Usd
    except Exception:
        pass

threading.Thread(target=_load, name="pxr import").start()
)py";

std::vector<std::string> strings_of(const py::handle& list) {
    std::vector<std::string> out;
    for (auto item : list) out.push_back(text_of(item));
    return out;
}

// The library is imported when the analysis first needs it: importing it costs more time and
// memory than most analyses spend on USD.
class PxrFacade : public UsdFacade {
public:
    std::vector<std::pair<std::string, std::string>> variant_selections(
        const std::string& layer_path) override {
        return call_python([&] {
            std::vector<std::pair<std::string, std::string>> out;
            for (auto item : fn("variant_selections")(to_pystr(layer_path))) {
                auto pair = item.cast<py::tuple>();
                out.emplace_back(text_of(pair[0]), text_of(pair[1]));
            }
            return out;
        });
    }

    std::vector<std::string> external_references(const std::string& layer_path) override {
        return call_python(
            [&] { return strings_of(fn("external_references")(to_pystr(layer_path))); });
    }

    std::pair<double, double> time_codes(const std::string& path) override {
        return call_python([&] {
            auto pair = fn("time_codes")(to_pystr(path)).cast<py::tuple>();
            return std::make_pair(pair[0].cast<double>(), pair[1].cast<double>());
        });
    }

    void load_ahead() override {
        call_python([&] {
            if (helpers_ || loading_) return;
            // A thread of the interpreter's own: the first use's import waits for it on the
            // module's import lock, and the interpreter does not end before it does.
            py::dict scope;
            py::exec(kLoadAhead, scope);
            loading_ = true;
        });
    }

    std::string version() override {
        return call_python([&] { return text_of(fn("version")()); });
    }

    UsdStageWalk walk_stage(const std::string& path, const VariantChooser& choose) override {
        return call_python([&] {
            py::cpp_function chooser([&choose](const py::object& prim_path) {
                py::list out;
                for (const auto& [set, name] : choose(text_of(prim_path)))
                    out.append(py::make_tuple(to_pystr(set), to_pystr(name)));
                return out;
            });
            py::dict walked = fn("walk_stage")(to_pystr(path), chooser);
            UsdStageWalk walk;
            walk.root_sublayers = strings_of(walked["root_sublayers"]);
            for (auto item : walked["prims"]) {
                py::dict rec = item.cast<py::dict>();
                UsdPrim prim;
                prim.path = text_of(rec["path"]);
                prim.has_variant_sets = rec["has_variant_sets"].cast<bool>();
                for (auto sel : rec["selections"]) {
                    auto t = sel.cast<py::tuple>();
                    prim.selections.emplace_back(text_of(t[0]), text_of(t[1]), t[2].cast<bool>());
                }
                prim.clip_asset_paths = strings_of(rec["clip_asset_paths"]);
                prim.clip_manifest = text_of(rec["clip_manifest"]);
                prim.clip_set_paths = strings_of(rec["clip_set_paths"]);
                for (auto s : rec["specs"]) {
                    py::dict spec = s.cast<py::dict>();
                    prim.specs.push_back(UsdSpec{text_of(spec["layer_real_path"]),
                                                 text_of(spec["first_sublayer"]),
                                                 strings_of(spec["items"])});
                }
                for (auto a : rec["attributes"]) {
                    py::dict attr = a.cast<py::dict>();
                    UsdAttribute out;
                    out.name = text_of(attr["name"]);
                    out.base_name = text_of(attr["base_name"]);
                    out.kind = static_cast<UsdAttribute::Kind>(attr["kind"].cast<int>());
                    out.text = text_of(attr["text"]);
                    out.resolved = text_of(attr["resolved"]);
                    out.written = text_of(attr["written"]);
                    out.time_sampled = attr["time_sampled"].cast<bool>();
                    out.sample_path = text_of(attr["sample_path"]);
                    prim.attributes.push_back(std::move(out));
                }
                walk.prims.push_back(std::move(prim));
            }
            return walk;
        });
    }

private:
    // Called with the interpreter lock held.
    py::object fn(const char* name) {
        if (!helpers_) {
            try {
                py::module_::import("pxr.Usd");
                py::dict scope;
                py::exec(kHelpers, scope);
                helpers_ = std::make_unique<PyRef>(std::move(scope));
            } catch (py::error_already_set& e) {
                throw Error(
                    "no Usd: the USD library (pxr) does not import (" + describe(e).second + ")",
                    "ImportError");
            }
        }
        return helpers_->get()[name];
    }
    std::unique_ptr<PyRef> helpers_;
    bool loading_ = false;
};

}  // namespace

std::shared_ptr<UsdFacade> make_pxr_facade() {
    py::gil_scoped_acquire gil;
    try {
        py::object find_spec = py::module_::import("importlib.util").attr("find_spec");
        if (find_spec("pxr.Usd").is_none()) return nullptr;
        return std::make_shared<PxrFacade>();
    } catch (py::error_already_set&) {
        return nullptr;  // a broken pxr package
    }
}

}  // namespace scanflow::py_bridge
