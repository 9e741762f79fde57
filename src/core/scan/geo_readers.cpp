// The scene driver's readers of geometry caches.
#include "drivers/analysis.h"
#include "entry/console.h"
#include "entry/state.h"
#include "entry/timed.h"
#include "scan/geo_cache.h"
#include "scan/param_scan.h"
#include "util/fs_cache.h"
#include "util/paths.h"

namespace scanflow {

std::vector<std::string> AnalysisHipAssets::get_bgeo_asset(const std::string& bgeo_path) {
    return timed(2, "get_bgeo_asset", [&] {
        FsScope listings;
        std::vector<std::string> result;
        // Caches naming caches are followed depth first with a stack of our own.
        struct Frame {
            std::vector<std::string> names;
            size_t nested = 0;  // caches named, followed first
            size_t next = 0;    // names appended afterwards
        };
        auto open = [&](const std::string& raw) -> std::optional<Frame> {
            std::string path = slashes_forward(raw);
            if (!fs().exists(path) || all_bgeo.count(path)) return std::nullopt;
            console::print("bgeo: " + path);
            all_bgeo.insert(path);
            return Frame{geometry_file_lists(path), 0, 0};
        };
        std::vector<Frame> stack;
        if (auto first = open(bgeo_path)) stack.push_back(std::move(*first));
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.nested < frame.names.size()) {
                std::string name = frame.names[frame.nested++];
                if (ends_with(name, ".bgeo"))
                    if (auto child = open(name)) stack.push_back(std::move(*child));
                continue;
            }
            if (frame.next >= frame.names.size()) {
                stack.pop_back();
                continue;
            }
            std::string name = frame.names[frame.next++];
            result.push_back(name);
            if (name.find(".tx") != std::string::npos) {
                for (auto& m : glob_file(replace_all(name, ".tx", "*"))) result.push_back(m);
            } else if (ends_with(name, ".bgeo")) {
                // The sequence's own files are analysed once, through its pattern.
                std::string pattern = sequence_key(name);
                if (!glob_file(pattern).empty() && !all_ass.count(pattern)) {
                    auto found = ass_usd_usda_asset(pattern);
                    result.insert(result.end(), found.begin(), found.end());
                }
            } else {
                auto found = ass_usd_usda_asset(name);
                result.insert(result.end(), found.begin(), found.end());
            }
        }
        return result;
    });
}

std::vector<std::string> AnalysisHipAssets::get_begosc_instance(const std::string& bgeosc_path) {
    return timed(2, "get_begosc_instance", [&] {
        std::vector<std::string> result;
        std::string path = slashes_forward(bgeosc_path);
        if (!fs().exists(path) || all_bgeosc.count(path)) return result;
        console::print("bgeosc: " + path);
        all_bgeosc.insert(path);
        GeometryPtr geometry = host().load_geometry(path);
        if (state().instance_flag) {
            auto attribs = geometry->pointAttribs();
            for (auto& point : geometry->points()) {
                for (const auto& name : attribs) {
                    Value v = point->attribValue(name);
                    std::string cleaned;
                    if (v.is_string() && is_file_reference(v.as_string(), &cleaned))
                        result.push_back(v.as_string());
                }
            }
        }
        for (auto& prim : geometry->prims()) {
            if (auto clips = prim->clip_file_names())
                for (auto& clip : *clips) result.push_back(clip);
            if (auto rig = prim->rig_file_name())
                if (*rig != "None") result.push_back(*rig);
        }
        return result;
    });
}

}  // namespace scanflow
