#include "render/camera_tips.h"

#include <string>

#include "base/console.h"
#include "base/timed.h"
#include "render/camera.h"
#include "render/record_json.h"
#include "run/tip_codes.h"

namespace scanflow {

namespace {

// One warning per Alembic chain whose nodes read different files; the details are printed.
std::vector<std::string> difference_warnings(const CameraCheck& cameras) {
    std::vector<std::string> warnings;
    if (cameras.diff.empty()) return warnings;
    for (const auto& entry : cameras.diff) {
        console::print(py_repr(alembic_links_json(entry.chain)));
        const AlembicLink* base = nullptr;
        for (const auto& link : entry.chain)
            if (!base || link.node.size() < base->node.size()) base = &link;
        if (!base) continue;
        console::print("Base Nodes: " + base->node + "  file: " + base->file + " ");
        for (const auto& link : entry.chain) {
            if (&link == base || link.same_file) continue;
            console::print("Nodes with diffrence file val: " + link.node + " ");
            console::print("File: " + link.file + " ");
        }
        warnings.push_back("Nodes with diffrence file val: " + base->node + " ");
        console::print(std::string(80, '-'));
    }
    console::print(std::string(80, '-'));
    return warnings;
}

// One error per missing camera (or Alembic chain whose archive file is missing).
std::vector<std::string> missing_camera_errors(const CameraCheck& cameras) {
    std::vector<std::string> errors;
    for (const auto& entry : cameras.miss) {
        std::string first = entry.first_name();
        if (entry.chain.size() > 1) {
            const std::string& file = entry.chain.front().file;
            console::print(">> Camera did not exist.");
            console::print("Nodes: " + first + "  \nMiss: " + file);
            errors.push_back("Nodes: " + first + "  Miss: " + file);
        } else {
            console::print(
                ">> Camera did not exist(the cam path which in the rop node is not exist).");
            console::print("Nodes: " + first + "  \nMiss: This camera is not in the .hip file.");
            errors.push_back("Nodes: " + first + "  Miss: This camera is not in the .hip file.");
        }
        console::print(std::string(97, '-'));
    }
    return errors;
}

}  // namespace

void tips_keyword_info(const std::vector<std::string>& render_nodes, Host& host, Tips& tips) {
    timed(2, "tips_keyword_info", [&] {
        CameraCheck cameras = CheckCamera(render_nodes, host);
        std::vector<std::string> warnings = difference_warnings(cameras);
        if (!warnings.empty()) tips.set(tip::kCameraWarnings, warnings);
        std::vector<std::string> errors = missing_camera_errors(cameras);
        if (!cameras.normal.empty()) {
            // With a good camera somewhere, missing ones are only warnings.
            if (errors.empty()) return;
            if (!warnings.empty()) {
                tips.extend(tip::kCameraWarnings, errors);
            } else {
                tips.set(tip::kCameraWarnings, errors);
            }
        } else if (!warnings.empty()) {
            std::vector<std::string> combined = warnings;
            combined.insert(combined.end(), errors.begin(), errors.end());
            tips.set(tip::kCameraErrors, combined);
        } else if (!errors.empty()) {
            tips.set(tip::kCameraErrors, errors);
        }
    });
}

}  // namespace scanflow
