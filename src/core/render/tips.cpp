// The camera tips: camera errors ("50002") and warnings ("50003").
#include "drivers/analysis.h"
#include "entry/console.h"
#include "entry/timed.h"

namespace scanflow {

void AnalysisHipAssets::tips_keyword_info() {
    timed(2, "tips_keyword_info", [&] {
        const std::string keyword_err = "50002";
        const std::string keyword_war = "50003";
        Json errors = Json::array();
        Json warnings = Json::array();
        Json cameras = CheckCamera(nullptr);

        bool warned = false;
        if (cameras.contains("diff")) {
            for (const auto& entry : cameras["diff"]) {
                console::print(py_repr(entry));
                std::string base;
                for (const auto& item : entry.items())
                    if (base.empty() || item.key().size() < base.size()) base = item.key();
                console::print("Base Nodes: " + base + "  file: " + value_text(entry[base][0]) +
                               " ");
                std::string message = "Nodes with diffrence file val: " + base + " ";
                for (const auto& item : entry.items()) {
                    if (item.key() == base || item.value()[1] != 0) continue;
                    console::print("Nodes with diffrence file val: " + item.key() + " ");
                    console::print("File: " + value_text(item.value()[0]) + " ");
                }
                warnings.push_back(message);
                console::print(std::string(80, '-'));
            }
            console::print(std::string(80, '-'));
            if (!warnings.empty()) {
                tips_adict[keyword_war] = warnings;
                warned = true;
            }
        }
        if (cameras.contains("miss")) {
            for (const auto& entry : cameras["miss"]) {
                std::string first = entry.begin().key();
                std::string message;
                if (entry.size() > 1) {
                    std::string file = value_text(entry[first][0]);
                    console::print(">> Camera did not exist.");
                    console::print("Nodes: " + first + "  \nMiss: " + file);
                    message = "Nodes: " + first + "  Miss: " + file;
                } else {
                    console::print(
                        ">> Camera did not exist(the cam path which in the rop node is not "
                        "exist).");
                    console::print("Nodes: " + first +
                                   "  \nMiss: This camera is not in the .hip file.");
                    message = "Nodes: " + first + "  Miss: This camera is not in the .hip file.";
                }
                errors.push_back(message);
                console::print(std::string(97, '-'));
            }
        }
        if (cameras.contains("normal")) {
            if (!errors.empty()) {
                // With a good camera somewhere, missing ones are only warnings.
                if (warned) {
                    for (const auto& e : errors) tips_adict[keyword_war].push_back(e);
                } else {
                    tips_adict[keyword_war] = errors;
                }
            }
        } else if (!warnings.empty()) {
            Json combined = warnings;
            for (const auto& e : errors) combined.push_back(e);
            tips_adict[keyword_err] = combined;
        } else if (!errors.empty()) {
            tips_adict[keyword_err] = errors;
        }
    });
}

}  // namespace scanflow
