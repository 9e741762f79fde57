#include "nested/geo_assets.h"

#include <optional>

#include "base/console.h"
#include "base/errors.h"
#include "base/text.h"
#include "base/timed.h"
#include "nested/geo_cache.h"
#include "nested/recursive.h"
#include "util/file_reference.h"
#include "util/paths.h"
#include "util/sequence_key.h"

namespace scanflow {

namespace {

// One cache being read: the names it gave; caches it names are followed first, the names are
// appended afterwards.
struct Frame {
    std::vector<std::string> names;
    size_t nested = 0;
    size_t next = 0;
};

// What one name of a cache leads to, appended after the name itself.
void follow_name(const std::string& name, const NestedInputs& in,
                 std::vector<std::string>& result) {
    if (name.find(".tx") != std::string::npos) {
        for (auto& m : glob_file(replace_all(name, ".tx", "*"), in.listings, in.flavour))
            result.push_back(m);
    } else if (ends_with(name, ".bgeo")) {
        // The sequence's own files are analysed once, through its pattern.
        std::string pattern = sequence_key(name);
        if (!glob_file(pattern, in.listings, in.flavour).empty() &&
            !in.run.all_ass.count(pattern)) {
            auto found = ass_usd_usda_asset(pattern, in);
            result.insert(result.end(), found.begin(), found.end());
        }
    } else {
        auto found = ass_usd_usda_asset(name, in);
        result.insert(result.end(), found.begin(), found.end());
    }
}

}  // namespace

std::vector<std::string> get_bgeo_asset(const std::string& bgeo_path, const NestedInputs& in) {
    return timed(2, "get_bgeo_asset", [&] {
        std::vector<std::string> result;
        auto open = [&](const std::string& raw) -> std::optional<Frame> {
            std::string path = slashes_forward(raw);
            if (!in.listings.exists(path) || in.run.all_bgeo.count(path)) return std::nullopt;
            console::print("bgeo: " + path);
            in.run.all_bgeo.insert(path);
            if (in.read_ahead)
                if (auto names = in.read_ahead->take("bgeo:" + path))
                    return Frame{std::move(*names), 0, 0};
            return Frame{geometry_file_lists(path), 0, 0};
        };
        // Caches naming caches are followed depth first with a stack of our own.
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
            follow_name(name, in, result);
        }
        return result;
    });
}

void read_geometry_ahead(const std::string& path, const NestedInputs& in) {
    if (!in.read_ahead || !ends_with(path, ".bgeo")) return;
    std::vector<std::string> frames = TraceFrame::current();
    frames.push_back("get_bgeo_asset");
    in.read_ahead->submit(
        "bgeo:" + path, [path] { return geometry_file_lists(path); }, std::move(frames));
}

std::vector<std::string> get_begosc_instance(const std::string& bgeosc_path,
                                             const NestedInputs& in) {
    return timed(2, "get_begosc_instance", [&] {
        std::vector<std::string> result;
        std::string path = slashes_forward(bgeosc_path);
        if (!in.listings.exists(path) || in.run.all_bgeosc.count(path)) return result;
        console::print("bgeosc: " + path);
        in.run.all_bgeosc.insert(path);
        GeometryPtr geometry = in.host.load_geometry(path);
        if (in.module.instance_flag) {
            auto attribs = geometry->pointAttribs();
            for (auto& point : geometry->points()) {
                for (const auto& name : attribs) {
                    Value v = point->attribValue(name);
                    if (v.is_string() && is_file_reference(v.as_string(), nullptr, in.flavour))
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
