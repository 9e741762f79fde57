// libFuzzer targets, one per parser of outside input: whatever the input, a parser answers with
// its result or an error, never a crash, an over-read or a hang. FUZZ_PARSER picks the parser
// when the target is built (one binary per parser, each with its own corpus and dictionary).
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "base/console.h"
#include "base/errors.h"
#include "host/hip/archive.h"
#include "host/hip/expr.h"
#include "host/hip/scene.h"
#include "host/hip/sections.h"
#include "nested/ass_reader.h"
#include "nested/geo_cache.h"
#include "nested/redshift.h"
#include "nested/vrscene.h"
#include "util/json.h"

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

std::vector<std::string> rs_scan(const std::string& path) {
    std::set<std::string> visited;
    DirCache listings;
    return get_rs_file_with_open(path, RedshiftReads{visited, listings});
}

std::vector<std::string> vray_scan(const std::string& path) {
    DirCache listings;
    return read_in_vrscene(path, listings, Flavour{});
}

#ifndef FUZZ_PARSER
#error "FUZZ_PARSER names the parser: 0 scene .. 8 task"
#endif

void parse(const std::string& input) {
    switch (FUZZ_PARSER) {
        case 0: {  // the scene container and every section in it
            hip::Archive archive = hip::parse_archive("fuzz.hip", "070707" + input);
            hip::Scene scene(archive, "/tmp/fuzz.hip");
            scene.expand_assets(nullptr);  // the embedded asset definitions and their contents
            break;
        }
        case 1:
            (void)hip::parse_parms(input, "fuzz.parm");
            break;
        case 2:
            (void)hip::parse_channels(input, "fuzz.chn");
            break;
        case 3: {
            NullScope scope;
            (void)hip::expand(input, scope);
            break;
        }
        // The readers of nested files take a path: the input goes through a scratch file.
        case 4:
            (void)read_ass_file_names(scratch(input));
            break;
        case 5:  // ASCII and binary geometry as they come; after a byte 1: Blosc-wrapped
            if (!input.empty() && input[0] == 1)
                (void)geometry_file_lists(scratch("\x7fNSJb" + input.substr(1)));
            else
                (void)geometry_file_lists(scratch(input));
            break;
        case 6:
            (void)rs_scan(scratch(input));
            break;
        case 7:
            (void)vray_scan(scratch(input));
            break;
        default:
            (void)read_json_file(scratch(input));
            break;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        scanflow::console::set_sink({[](std::string_view) {}, [] {}});
        return true;
    }();
    (void)quiet;
    try {
        parse(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const std::exception&) {
    } catch (const ExitRequest&) {
        // The byte scan reports a failure through its wrapper.
    }
    return 0;
}
