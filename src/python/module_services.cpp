#include "module_services.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "arnold_binding.h"
#include "base/console.h"
#include "base/os.h"
#include "gpu_probes.h"
#include "host/hip/hip_host.h"
#include "host_hou.h"
#include "pyutil.h"
#include "safe_import.h"
#include "usd_pxr.h"

namespace scanflow::py_bridge {

namespace {

// Owned for the whole process: the analyses and the module's functions keep references.
struct ModuleParts {
    Environment environment = Environment::process();
    ModuleState state{environment};
    std::shared_ptr<Host> host;
    std::shared_ptr<UsdFacade> usd;
    std::unique_ptr<Services> services;
    // The cache host scripts hold open; it lasts while any of their blocks holds it.
    std::weak_ptr<DirCache> script_listings;
};

ModuleParts& parts() {
    // Never destroyed: Python objects inside must not be released after the interpreter ends.
    static ModuleParts* p = new ModuleParts();
    return *p;
}

bool try_import(py::module_& m, const char* module, const char* attr_name) {
    try {
        m.attr(attr_name) = import_installed(module);
        return true;
    } catch (py::error_already_set&) {
        return false;
    }
}

// The host application's module when it imports (or SCANFLOW_HOST=hou), our own scene reader
// otherwise (or SCANFLOW_HOST=hip).
std::shared_ptr<Host> select_host(const Environment& env) {
    std::string choice = env.text("SCANFLOW_HOST");
    if (choice != "hip") {
        try {
            return make_hou_host();
        } catch (const std::exception& e) {
            if (choice == "hou")
                return make_unavailable_host(
                    std::string("SCANFLOW_HOST=hou, and the module 'hou' did not import (") +
                    e.what() + ")");
        }
    }
    return hip::make_hip_host(env);
}

void read_interpreter_facts(ModuleState& s) {
    py::module_ sys = py::module_::import("sys");
    py::object version = sys.attr("version_info");
    s.script_version = "py" + std::to_string(version.attr("major").cast<int>());
    s.script_ver_py = "py" + std::to_string(version.attr("major").cast<int>()) +
                      std::to_string(version.attr("minor").cast<int>());
    // What `platform.system()` and `platform.python_version()` say, without importing that
    // module: it costs a third of the module's own import time.
    s.platform_name = text_of(sys.attr("platform"));
    s.IS_WIN = s.platform_name == "win32";
    std::string release = text_of(sys.attr("version"));
    release = release.substr(0, release.find(' '));
    if (std::count(release.begin(), release.end(), '.') == 1) release += ".0";
    s.interpreter_version = release;
}

// A diagnostic: SCANFLOW_USD_WALK=full walks every USD stage in full; =verify derives walks and
// checks each against a full walk.
WalkMode usd_walk_mode(const Environment& env) {
    std::string text = env.text("SCANFLOW_USD_WALK");
    if (text == "full") return WalkMode::Full;
    if (text == "verify") return WalkMode::Verify;
    return WalkMode::Derive;
}

// The optional libraries, each reported on the console when absent. USD is only looked up here
// (the module `scanflow.Usd` and the facade import it when first used).
void probe_libraries(py::module_& m, ModuleParts& p) {
    ModuleState& s = p.state;
    s.has_arnold = try_import(m, "arnold", "ar");
    if (!s.has_arnold) console::print("no arnold");
    p.usd = make_pxr_facade(usd_walk_mode(p.environment));
    s.has_usd = p.usd != nullptr;
    if (!s.has_usd) console::print("no Usd");
    if (try_import(m, "hjson", "houjson")) {
        s.r_type = "rb";
    } else {
        try_import(m, "json", "houjson");
        s.r_type = "r";
    }
}

}  // namespace

void set_up_module(py::module_& m) {
    ModuleParts& p = parts();
    py::module_::import("sys").attr("setrecursionlimit")(1000000);
    read_interpreter_facts(p.state);
    probe_libraries(m, p);
    p.host = select_host(p.environment);
    p.services =
        std::make_unique<Services>(Services{p.state, *p.host, p.environment, p.usd.get(), nullptr,
                                            &probe_python_modules, &script_listings});
    if (p.state.has_arnold) p.services->arnold = &arnold_file_names;
}

Services& module_services() {
    return *parts().services;
}

ModuleState& module_state() {
    return parts().state;
}

std::shared_ptr<DirCache> script_listings() {
    std::shared_ptr<DirCache> open = parts().script_listings.lock();
    return open ? open : std::make_shared<DirCache>();
}

std::shared_ptr<DirCache> hold_script_listings() {
    std::weak_ptr<DirCache>& held = parts().script_listings;
    std::shared_ptr<DirCache> open = held.lock();
    if (!open) {
        open = std::make_shared<DirCache>();
        held = open;
    }
    return open;
}

size_t script_listing_reads() {
    std::shared_ptr<DirCache> open = parts().script_listings.lock();
    return open ? open->reads() : 0;
}

}  // namespace scanflow::py_bridge
