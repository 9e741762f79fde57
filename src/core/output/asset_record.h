// The asset record of the scene flow (asset.json), and the tips the result writer computes
// itself.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "output/parameter_files.h"
#include "output/upload_lists.h"
#include "run/parameter_patterns.h"
#include "run/scene_records.h"
#include "upload/gather.h"
#include "util/file_facts.h"
#include "util/fs_cache.h"
#include "util/json.h"
#include "util/json_writer.h"

namespace scanflow {

// One line of "asset", "PATH  (mtime TIME) size N", made as it is written: the path is the
// upload record's own.
struct FactsLine {
    const std::string* path = nullptr;
    FileFacts facts;
    std::string text() const { return file_data_line(*path, facts); }
};

// Members in the order asset.json holds them; the large ones are referred to, not copied.
struct AssetRecord {
    const ParameterPatterns* asset_node = nullptr;             // written with forward slashes
    const NestedFiles* nested = nullptr;                       // "Nested_Assets"
    const std::vector<ParameterFile>* convert_node = nullptr;  // "convert_node"
    RenderSettingsByName render_settings;
    Json environment;
    MissingRecord missing_file;
    long long scene_file_size = 0;
    long long asset_size = 0;
    size_t asset_num = 0;
    std::vector<FactsLine> asset;  // the distinct file-facts lines, sorted
};

void write_asset_record(JsonWriter& out, const AssetRecord& record);
// The "missing_file" object: each parameter's path, then "Nested_Assets" when there are any.
void write_missing_record(JsonWriter& out, const MissingRecord& missing);

// The asset record of the USD-file flow: the stage's files, listed under the stage.
struct StageAssetRecord {
    long long scene_file_size = 0;
    long long asset_size = 0;
    std::vector<std::string> asset;                     // the distinct file-facts lines, sorted
    std::string stage;                                  // "/" separators
    const std::vector<std::string>* all = nullptr;      // "Nested_Assets" of the stage
    const std::vector<std::string>* missing = nullptr;  // "missing_file"
};

void write_stage_asset_record(JsonWriter& out, const StageAssetRecord& record);

// "environment_dict": the host's JOB (null when unset) and the interpreter's version.
Json environment_record(const std::optional<std::string>& job, const std::string& python_ver);

// The scene must record the version that saved it, beginning with a number: an error naming
// the scene otherwise.
void require_save_version(const std::string& hip_file);

// "50001" (one line per missing parameter file, and the missing nested files) and "50105" (the
// problem nodes), each when not empty.
Tips file_tips(const MissingRecord& missing_file, const std::vector<std::string>& problem_nodes);

// What the asset record tells of the upload record's files: "scene_file_size", "asset_size",
// "asset_num" and the lines of "asset".
struct UploadFacts {
    long long scene_file_size = 0;
    long long asset_size = 0;
    size_t asset_num = 0;
    std::vector<FactsLine> asset;  // the distinct file-facts lines, sorted
};

// The order of the facts lines of the files looked at ahead, as far as they were stated, made
// ahead too (on the caller's thread) until done or `leave` is set; returns whether it was made.
bool order_examined_files(ExaminedFiles& files, const std::atomic<bool>& leave);

// The facts of the upload record's assets, stated on up to `threads` threads. The lines refer to
// `upload`, which must outlive them.
UploadFacts state_upload_facts(const UploadRecord& upload, const std::string& hip_file,
                               DirCache& listings, unsigned threads);
// Puts them in the asset record, between the console lines that tell of it.
void add_file_facts(AssetRecord& asset, UploadFacts facts);

}  // namespace scanflow
