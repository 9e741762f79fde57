#include "output/upload_lists.h"

#include <algorithm>
#include <chrono>
#include <unordered_map>

#include "base/console.h"
#include "base/people.h"
#include "base/text.h"
#include "base/timed.h"
#include "nested/geo_assets.h"
#include "nested/recursive.h"
#include "nested/redshift.h"
#include "util/paths.h"
#include "util/sequence_key.h"

namespace scanflow {

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// What was found in each opened file; a file recorded again keeps its place with the later
// contents.
class Recorder {
public:
    Recorder(UploadLists& lists, std::vector<std::string>& collected)
        : lists_(lists), collected_(collected) {}
    void operator()(const std::string& path, std::vector<std::string> found) {
        collected_.insert(collected_.end(), found.begin(), found.end());
        auto [at, added] = places_.emplace(path, lists_.nested.size());
        if (added) {
            lists_.nested.emplace_back(path, std::move(found));
        } else {
            lists_.nested[at->second].second = std::move(found);
        }
    }

private:
    UploadLists& lists_;
    std::vector<std::string>& collected_;
    std::unordered_map<std::string, size_t> places_;
};

// The file's contents by each reader its ending calls for; a later reader's entry replaces an
// earlier one's.
void open_nested(const std::string& path, const NestedInputs& in, Recorder& record) {
    if (ends_with_any(path, {".ass", ".ass.gz", ".usda", ".usd", ".USD", ".usdc", ".vrscene",
                             ".bgeo.sc", ".rs"})) {
        auto start = std::chrono::steady_clock::now();
        record(path, ass_usd_usda_asset(path, in));
        console::print("This proxy file analyzes the usage time is : " +
                       console::float_text(seconds_since(start)));
    }
    if (ends_with(path, ".rs")) {
        auto start = std::chrono::steady_clock::now();
        record(path, get_file_from_rs_cmd(
                         path, RedshiftReads{in.run.rs_asseted, in.listings, in.environment}));
        console::print(".rs analysis time is : " + console::float_text(seconds_since(start)));
    }
    if (ends_with(path, ".bgeo")) record(path, get_bgeo_asset(path, in));
}

}  // namespace

UploadLists all_upload_list(const std::vector<std::string>& uploads_list,
                            const NestedInputs& inputs) {
    return timed(2, "all_upload_list", [&] {
        UploadLists result;
        std::vector<std::string> sorted = uploads_list;
        std::sort(sorted.begin(), sorted.end());
        // The files are read ahead on the pool, in the order they are opened below.
        ReadAhead ahead(inputs.module.threads);
        NestedInputs in = inputs;
        in.read_ahead = &ahead;
        for (const auto& item : sorted) {
            read_ass_ahead(slashes_forward(item), in);
            read_geometry_ahead(slashes_forward(item), in);
        }
        std::vector<std::string> collected;
        Recorder record(result, collected);
        size_t read = 0;
        for (const auto& item : sorted) {
            std::string path = slashes_forward(item);
            collected.push_back(path);
            open_nested(path, in, record);
            people::progress("nested files read", ++read);
        }
        if (read > 0) people::progress_done("nested files read", read);
        for (const auto& path : distinct(collected)) {
            if (in.listings.isfile(path)) {
                result.present.push_back(path);
                continue;
            }
            auto members = glob_file(sequence_key(path), in.listings, in.flavour);
            if (members.empty()) {
                result.missing.push_back(path);
            } else {
                result.present.insert(result.present.end(), members.begin(), members.end());
            }
        }
        return result;
    });
}

}  // namespace scanflow
