// libFuzzer target over the scene container and the section parsers: whatever the input, they
// answer with a scene or an error, never a crash, an over-read or a hang.
#include <cstddef>
#include <cstdint>
#include <string>

#include "drivers/related.h"
#include "entry/console.h"
#include "entry/errors.h"
#include "host/hip/archive.h"
#include "host/hip/expr.h"
#include "host/hip/scene.h"
#include "host/hip/sections.h"
#include "scan/geo_cache.h"
#include "upload/ass_reader.h"

#include <unistd.h>
#include <cstdio>
#include <cstdlib>

using namespace scanflow;

namespace {
class NullScope : public hip::ExprScope {
public:
    std::optional<std::string> variable(const std::string& name) override {
        return name == "F" ? std::optional<std::string>("1") : std::nullopt;
    }
    hip::ExprValue channel(const std::string&, bool s, bool) override {
        return s ? hip::ExprValue::str("x") : hip::ExprValue::num(1);
    }
    std::optional<std::string> node_path(const std::string&) override { return std::nullopt; }
    std::optional<std::string> input_path(const std::string&, int) override { return std::nullopt; }
};
}  // namespace

std::string scratch(const std::string& bytes) {
    static const std::string path = "/tmp/scanflow-fuzz-" + std::to_string(::getpid());
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

Related* related() {
    static Related* instance = [] {
        std::string dir = "/tmp/scanflow-fuzz-out";
        std::system(("mkdir -p " + dir).c_str());
        FILE* f = std::fopen((dir + "/task.json").c_str(), "w");
        std::fputs(
            "{\"task_info\": {\"platform\": \"2\", \"channel\": \"1\"}, \"software_config\": "
            "{\"plugins\": {}}}",
            f);
        std::fclose(f);
        Json params = Json::object();
        params["hip_file"] = "x";
        params["path_json"] = dir;
        scanflow::console::set_sink({[](std::string_view) {}, [] {}});
        return new Related(params);
    }();
    return instance;
}

std::vector<std::string> rs_scan(const std::string& path) {
    related()->rs_asseted.clear();
    return related()->get_rs_file_with_open(path);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    // The first byte picks the parser, so that one corpus serves all of them.
    unsigned char which = input.empty() ? 0 : static_cast<unsigned char>(input[0]);
    std::string rest = input.empty() ? input : input.substr(1);
    try {
        switch (which % 9) {
            case 0: {
                hip::Archive archive = hip::parse_archive("fuzz.hip", "070707" + rest);
                hip::Scene scene(archive, "/tmp/fuzz.hip");
                (void)scene;
                break;
            }
            case 1:
                (void)hip::parse_parms(rest, "fuzz.parm");
                break;
            case 2:
                (void)hip::parse_channels(rest, "fuzz.chn");
                break;
            case 3: {
                NullScope scope;
                (void)hip::expand(rest, scope);
                break;
            }
            // The readers of nested files take a path: the input goes through a scratch file.
            case 4:
                (void)read_ass_file_names(scratch(rest));
                break;
            case 5:
                (void)geometry_file_lists(scratch(rest));
                break;
            case 6:
                (void)geometry_file_lists(scratch("\x7fNSJb" + rest));
                break;
            case 7:
                (void)rs_scan(scratch(rest));
                break;
            default:
                (void)related()->read_in_vrscene(scratch(rest));
                break;
        }
    } catch (const std::exception&) {
    } catch (const ExitRequest&) {
        // The byte scan reports a failure through its wrapper.
    }
    return 0;
}
