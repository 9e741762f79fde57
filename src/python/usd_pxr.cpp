#include "usd_pxr.h"

#include <pybind11/eval.h>

#include <deque>
#include <iostream>
#include <string_view>
#include <unordered_map>

#include "base/errors.h"
#include "base/os.h"
#include "pyutil.h"
#include "safe_import.h"
#include "usd/usda_text.h"
#include "util/flavour.h"

namespace scanflow::py_bridge {

namespace {

// A failure here is left for the first use to report.
const char* kLoadAhead = R"py(
import threading

def _load():
    try:
        _import_installed("pxr.Usd")
    except Exception:
        pass
    finally:
        _done()

threading.Thread(target=_load, name="pxr import").start()
)py";

std::vector<std::string> strings_of(const py::handle& list) {
    std::vector<std::string> out;
    for (auto item : list) out.push_back(text_of(item));
    return out;
}

UsdAttribute attribute_of(const py::dict& attr) {
    UsdAttribute out;
    out.name = text_of(attr["name"]);
    out.base_name = text_of(attr["base_name"]);
    out.kind = static_cast<UsdAttribute::Kind>(attr["kind"].cast<int>());
    out.text = text_of(attr["text"]);
    out.resolved = text_of(attr["resolved"]);
    out.written = text_of(attr["written"]);
    out.time_sampled = attr["time_sampled"].cast<bool>();
    out.sample_path = text_of(attr["sample_path"]);
    out.anchored = text_of(attr["anchored"]);
    return out;
}

std::shared_ptr<const UsdPrim> prim_of(const py::dict& rec) {
    auto prim = std::make_shared<UsdPrim>();
    prim->path = text_of(rec["path"]);
    prim->has_variant_sets = rec["has_variant_sets"].cast<bool>();
    for (auto sel : rec["selections"]) {
        auto t = sel.cast<py::tuple>();
        prim->selections.emplace_back(text_of(t[0]), text_of(t[1]), t[2].cast<bool>());
    }
    prim->clip_asset_paths = strings_of(rec["clip_asset_paths"]);
    prim->clip_manifest = text_of(rec["clip_manifest"]);
    prim->clip_set_paths = strings_of(rec["clip_set_paths"]);
    for (auto s : rec["specs"]) {
        py::dict spec = s.cast<py::dict>();
        prim->specs.push_back(UsdSpec{text_of(spec["layer_real_path"]),
                                      text_of(spec["first_sublayer"]), strings_of(spec["items"])});
    }
    for (auto a : rec["attributes"]) prim->attributes.push_back(attribute_of(a.cast<py::dict>()));
    return prim;
}

std::string_view root_name(const std::string& prim_path) {
    size_t end = prim_path.find('/', 1);
    return std::string_view(prim_path).substr(1, end == std::string::npos ? end : end - 1);
}

// A derived walk: `layout` says, root prim by root prim, how many fresh records come next, or
// which root prim's records the parent's walk supplies.
std::vector<std::shared_ptr<const UsdPrim>> assemble(
    const UsdStageWalk& parent, const std::vector<std::shared_ptr<const UsdPrim>>& fresh,
    const py::handle& layout) {
    std::unordered_map<std::string_view, std::pair<size_t, size_t>> ranges;
    for (size_t i = 0; i < parent.prims.size(); ++i) {
        auto [at, added] = ranges.emplace(root_name(parent.prims[i]->path), std::make_pair(i, i));
        at->second.second = i + 1;
    }
    std::vector<std::shared_ptr<const UsdPrim>> prims;
    size_t next = 0;
    for (auto entry : layout) {
        if (py::isinstance<py::int_>(entry)) {
            size_t count = entry.cast<size_t>();
            prims.insert(prims.end(), fresh.begin() + next, fresh.begin() + next + count);
            next += count;
            continue;
        }
        auto range = ranges.find(text_of(entry));
        if (range == ranges.end()) throw Error("USD walk: no records of " + text_of(entry));
        prims.insert(prims.end(), parent.prims.begin() + range->second.first,
                     parent.prims.begin() + range->second.second);
    }
    return prims;
}

// The library is imported when the analysis first needs it: importing it costs more time and
// memory than most analyses spend on USD.
// The walks' module, installed beside the extension module and loaded from there only.
constexpr const char* kWalkModule = "scanflow_usd_walk";

std::string walk_module_path() {
    py::object file = py::module_::import("sys").attr("modules")["scanflow"].attr("__file__");
    const Flavour f = native_flavour();
    return join(dirname(text_of(file), f), std::string(kWalkModule) + ".py", f);
}

class PxrFacade : public UsdFacade {
public:
    explicit PxrFacade(WalkMode mode) : mode_(mode) {}

    void keep_on_one_thread() {
        call_python([&] {
            one_thread_ = true;
            if (helpers_) limit_threads();
        });
    }

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
        if (in_run_)
            if (auto known = references_.find(layer_path); known != references_.end())
                return known->second;
        auto found = call_python(
            [&] { return strings_of(fn("external_references")(to_pystr(layer_path))); });
        if (in_run_) references_.emplace(layer_path, found);
        return found;
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
            // module's import lock, and the interpreter does not end before it does. The import
            // keeps the interpreter lock for long stretches, so console lines wait meanwhile.
            // While it runs, no thread may import an extension module with the interpreter lock
            // held: the library's static initialisers take that lock inside the dynamic loader's
            // own, and the two threads would wait for each other.
            py::dict scope;
            scope["_import_installed"] = import_installed_function();
            scope["_done"] = py::cpp_function([] {
                console_lines_flow();
                deliver_waiting_console_lines();
            });
            console_lines_wait();
            try {
                py::exec(kLoadAhead, scope);
            } catch (...) {
                console_lines_flow();
                throw;
            }
            loading_ = true;
        });
    }

    std::string version() override {
        return call_python([&] { return text_of(fn("version")()); });
    }

    // Runs nest (an operation that opens its own run inside another): the outermost one
    // begins and ends what is kept.
    void confine(std::shared_ptr<const Confinement> confinement) override {
        confinement_ = std::move(confinement);
    }

    // Why a layer must not be opened: outside the confinement's roots, or no layer the library
    // can take.
    std::string refusal(const std::string& path) const {
        if (confinement_) {
            std::optional<std::string> real = os::real_path(path);
            if (real && !confinement_->admits_real(*real)) return "it lies outside the roots";
        }
        return layer_refusal(path);
    }

    void begin_run() override {
        if (runs_++ > 0) return;
        in_run_ = true;
        if (helpers_) call_python([&] { fn("begin_run")(); });
    }

    void end_run() override {
        if (runs_ == 0 || --runs_ > 0) return;
        if (mode_ == WalkMode::Verify && in_run_)
            std::cerr << "USD walks derived and verified: " << verified_
                      << "\nUSD walks read from their layers and verified: " << verified_plain_
                      << "\nUSD walks given records of other stages and verified: "
                      << verified_reused_ << "\n";
        verified_ = verified_plain_ = verified_reused_ = 0;
        in_run_ = false;
        references_.clear();
        kept_.clear();
        if (helpers_) call_python([&] { fn("end_run")(); });
    }

    void let_go() override {
        if (!in_run_) return;
        references_.clear();
        kept_.clear();
        if (helpers_) call_python([&] { fn("let_go")(); });
    }

    UsdStageWalk walk_stage(const std::string& path, const VariantChooser& choose) override {
        return call_python([&] {
            py::object chooser = py::none();
            if (choose)
                chooser = py::cpp_function([&choose](const py::object& prim_path) {
                    py::list out;
                    for (const auto& [set, name] : choose(text_of(prim_path)))
                        out.append(py::make_tuple(to_pystr(set), to_pystr(name)));
                    return out;
                });
            const Kept* parent = choose || mode_ == WalkMode::Full ? nullptr : parent_of(path);
            py::dict walked =
                fn("walk_stage")(to_pystr(path), chooser, to_pystr(parent ? parent->path : ""),
                                 mode_ == WalkMode::Full);
            UsdStageWalk walk;
            walk.root_sublayers = strings_of(walked["root_sublayers"]);
            std::vector<std::shared_ptr<const UsdPrim>> fresh;
            for (auto item : walked["prims"]) fresh.push_back(prim_of(item.cast<py::dict>()));
            bool derived = !walked["layout"].is_none();
            if (derived && !parent) throw Error("USD walk: derived without a parent: " + path);
            walk.prims =
                derived ? assemble(*parent->walk, fresh, walked["layout"]) : std::move(fresh);
            if (mode_ == WalkMode::Verify && derived) {
                verify(path, "the walk of " + parent->path, walk);
                ++verified_;
            }
            if (mode_ == WalkMode::Verify && walked.contains("plain")) {
                verify(path, "its layers", walk);
                ++verified_plain_;
            }
            if (mode_ == WalkMode::Verify &&
                (walked.contains("reused") || walked.contains("placed"))) {
                verify(path, "records of other stages", walk);
                ++verified_reused_;
            }
            if (!choose) keep(path, walk);
            return walk;
        });
    }

private:
    // The last walks made without variant selections, for the walks derived from them.
    struct Kept {
        std::string path;
        std::string sublayer;  // the only sublayer of its root layer, as a path; else ""
        std::shared_ptr<const UsdStageWalk> walk;
    };
    static constexpr size_t kKeptWalks = 16;

    // Walks the stage in full and fails unless the walk derived from `source` has the same
    // records.
    void verify(const std::string& path, const std::string& source, const UsdStageWalk& derived) {
        py::dict full = fn("walk_stage")(to_pystr(path), py::none(), to_pystr(""), true);
        std::vector<std::shared_ptr<const UsdPrim>> prims;
        for (auto item : full["prims"]) prims.push_back(prim_of(item.cast<py::dict>()));
        bool same = prims.size() == derived.prims.size();
        for (size_t i = 0; same && i < prims.size(); ++i) same = *prims[i] == *derived.prims[i];
        if (!same)
            throw Error("USD walk of " + path + " derived from " + source +
                        " differs from its full walk");
    }

    const Kept* parent_of(const std::string& path) const {
        for (auto it = kept_.rbegin(); it != kept_.rend(); ++it)
            if (it->sublayer == path) return &*it;
        return nullptr;
    }

    void keep(const std::string& path, const UsdStageWalk& walk) {
        if (!in_run_) return;
        std::string sublayer;
        if (walk.root_sublayers.size() == 1) {
            const Flavour posix{false};
            const std::string& sub = walk.root_sublayers.front();
            sublayer = isabs(sub, posix) ? normpath(sub, posix)
                                         : normpath(join(dirname(path, posix), sub, posix), posix);
        }
        kept_.push_back(Kept{path, sublayer, std::make_shared<const UsdStageWalk>(walk)});
        if (kept_.size() > kKeptWalks) kept_.pop_front();
    }

    // Called with the interpreter lock held.
    py::object fn(const char* name) {
        if (!helpers_) {
            try {
                import_installed("pxr.Usd");
                py::object walks = import_file(kWalkModule, walk_module_path());
                walks.attr("_layer_refusal") =
                    py::cpp_function([this](const std::string& path) { return refusal(path); });
                helpers_ = std::make_unique<PyRef>(walks.attr("__dict__"));
                if (one_thread_) limit_threads();
            } catch (py::error_already_set& e) {
                throw Error(
                    "no Usd: the USD library (pxr) does not import (" + describe(e).second + ")",
                    "ImportError");
            }
            if (in_run_) helpers_->get()["begin_run"]();
        }
        return helpers_->get()[name];
    }
    // Called with the interpreter lock held. A library without the setting keeps its pool.
    static void limit_threads() {
        try {
            import_installed("pxr.Work").attr("SetConcurrencyLimit")(1);
        } catch (py::error_already_set&) {
        }
    }

    std::unique_ptr<PyRef> helpers_;
    std::shared_ptr<const Confinement> confinement_;
    bool one_thread_ = false;
    WalkMode mode_;
    size_t verified_ = 0;
    size_t verified_plain_ = 0;
    size_t verified_reused_ = 0;
    bool loading_ = false;
    bool in_run_ = false;
    size_t runs_ = 0;
    std::unordered_map<std::string, std::vector<std::string>> references_;
    std::deque<Kept> kept_;
};

}  // namespace

void keep_library_on_one_thread(UsdFacade* usd) {
    if (auto* pxr = dynamic_cast<PxrFacade*>(usd)) pxr->keep_on_one_thread();
}

std::shared_ptr<UsdFacade> make_pxr_facade(WalkMode mode) {
    py::gil_scoped_acquire gil;
    try {
        if (!installed("pxr")) return nullptr;
        // The package itself is imported (its modules are not: that is the costly part), so
        // that a broken one is no USD; then its stage module is looked up inside it.
        import_installed("pxr");
        py::object find_spec = py::module_::import("importlib.util").attr("find_spec");
        if (find_spec("pxr.Usd").is_none()) return nullptr;
        return std::make_shared<PxrFacade>(mode);
    } catch (py::error_already_set&) {
        return nullptr;  // a broken pxr package
    }
}

}  // namespace scanflow::py_bridge
