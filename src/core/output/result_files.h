// Writers of the result files the submission client reads.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "output/parameter_files.h"
#include "run/run_context.h"
#include "run/tips.h"
#include "upload/gather.h"
#include "util/json.h"
#include "util/json_writer.h"

namespace scanflow {

// Writes `info_dict` as a new JSON file (whole or not at all), with the progress events.
void writeFile(const std::string& info_file, const Json& info_dict);
// The same for a record that `write` streams a value at a time.
void writeFile(const std::string& info_file, const std::function<void(JsonWriter&)>& write);

// asset.txt: the scene, the missing files, the asset lines; CRLF line ends.
void write_asset_txt(const std::string& info_file, const Json& missing,
                     const std::vector<std::string>& files, const std::string& scene_file);
void write_asset_txt(const std::string& info_file, const MissingRecord& missing,
                     const std::vector<std::string>& files, const std::string& scene_file);

// The result files of one analysis, in the order the submission client relies on: upload.json,
// asset.json, tips.json, asset.txt when the flow writes one, and the success marker last, once
// everything before it is written. Every flow writes its results through one of these; a step
// out of order is a fault of the flow, not of the scene.
class ResultAssembly {
public:
    explicit ResultAssembly(const RunContext& run) : run_(run) {}
    void upload(const UploadRecord& record);
    void asset(const std::function<void(JsonWriter&)>& write);
    void tips(const Tips& tips);
    // asset.txt, beside the other results.
    void asset_list(const MissingRecord& missing, const std::vector<std::string>& files);
    void succeed();

private:
    enum class Step { Start, Upload, Asset, Tips, List, Done };
    // Moves on to `next`, which must follow `after` (the step it needs done).
    void step(Step next, Step after);
    const RunContext& run_;
    Step at_ = Step::Start;
};

}  // namespace scanflow
