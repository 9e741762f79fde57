// libFuzzer target over the scene container and the section parsers: whatever the input, they
// answer with a scene or an error, never a crash, an over-read or a hang.
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        scanflow::console::set_sink({[](std::string_view) {}, [] {}});
        return true;
    }();
    (void)quiet;
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
                (void)vray_scan(scratch(rest));
                break;
        }
    } catch (const std::exception&) {
    } catch (const ExitRequest&) {
        // The byte scan reports a failure through its wrapper.
    }
    return 0;
}
