// libFuzzer target over the scene container and the section parsers: whatever the input, they
// answer with a scene or an error, never a crash, an over-read or a hang.
#include <cstddef>
#include <cstdint>
#include <string>

#include "entry/errors.h"
#include "host/hip/archive.h"
#include "host/hip/expr.h"
#include "host/hip/scene.h"
#include "host/hip/sections.h"

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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    // The first byte picks the parser, so that one corpus serves all of them.
    char which = input.empty() ? 0 : input[0];
    std::string rest = input.empty() ? input : input.substr(1);
    try {
        switch (which % 4) {
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
            default: {
                NullScope scope;
                (void)hip::expand(rest, scope);
                break;
            }
        }
    } catch (const std::exception&) {
    }
    return 0;
}
