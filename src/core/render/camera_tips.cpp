#include "render/camera_tips.h"

#include <string>

#include "base/console.h"
#include "base/timed.h"
#include "render/camera.h"
#include "run/tip_codes.h"

namespace scanflow {

namespace {

// One warning per Alembic chain whose nodes read different files; the details are printed.
std::vector<std::string> difference_warnings(const Json& cameras) {
    std::vector<std::string> warnings;
    if (!cameras.contains("diff")) return warnings;
    for (const auto& entry : cameras["diff"]) {
        console::print(py_repr(entry));
        std::string base;
        for (const auto& item : entry.items())
            if (base.empty() || item.key().size() < base.size()) base = item.key();
        console::print("Base Nodes: " + base + "  file: " + value_text(entry[base][0]) + " ");
        for (const auto& item : entry.items()) {
            if (item.key() == base || item.value()[1] != 0) continue;
            console::print("Nodes with diffrence file val: " + item.key() + " ");
            console::print("File: " + value_text(item.value()[0]) + " ");
        }
        warnings.push_back("Nodes with diffrence file val: " + base + " ");
        console::print(std::string(80, '-'));
    }
    console::print(std::string(80, '-'));
    return warnings;
}

// One error per missing camera (or Alembic chain whose archive file is missing).
std::vector<std::string> missing_camera_errors(const Json& cameras) {
    std::vector<std::string> errors;
    if (!cameras.contains("miss")) return errors;
    for (const auto& entry : cameras["miss"]) {
        std::string first = entry.begin().key();
        if (entry.size() > 1) {
            std::string file = value_text(entry[first][0]);
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

void tips_keyword_info(const Json& rop_records, Host& host, Tips& tips) {
    timed(2, "tips_keyword_info", [&] {
        Json cameras = CheckCamera(rop_records, host);
        std::vector<std::string> warnings = difference_warnings(cameras);
        if (!warnings.empty()) tips.set(tip::kCameraWarnings, warnings);
        std::vector<std::string> errors = missing_camera_errors(cameras);
        if (cameras.contains("normal")) {
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
