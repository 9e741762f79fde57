#include "drivers/cli.h"

#include <optional>
#include <utility>

#include "base/console.h"
#include "base/errors.h"
#include "drivers/dispatch.h"

namespace scanflow {

namespace detail {

void print_error_block(const std::string& trace) {
    console::print(
        "================================== ERROR CALLS ==================================");
    console::print("traceback.format_exc():\n" + trace);
    console::print("Analysis failure");
}

std::string trace_of_current_exception() {
    try {
        throw;
    } catch (const ExitRequest& request) {
        return format_trace(request);
    } catch (const std::exception& error) {
        return format_trace(TraceFrame::current(), error);
    } catch (...) {
        return format_trace(TraceFrame::current(), "UnknownError", "");
    }
}

}  // namespace detail

namespace {

struct Option {
    const char* flag;
    const char* echo_prefix;
    const char* echo_suffix;
};

// In the order the options are read and echoed.
constexpr Option kOptions[] = {
    {"-channel", "------------------channel: ", " ------------------"},
    {"-file", "hip_file: ", ""},
    {"-path_json", "path_json: ", ""},
    {"-plugin_server_dir", "plugin_server_dir: ", ""},
    {"-user_id", "user_id: ", ""},
    {"-platform", "platform: ", ""},
};

std::optional<std::string> read_option(const std::vector<std::string>& argv, const Option& option) {
    for (size_t i = 0; i < argv.size(); ++i) {
        if (argv[i] != option.flag) continue;
        if (i + 1 >= argv.size())
            throw OptionError(std::string("option ") + option.flag + " has no value");
        console::print(option.echo_prefix + argv[i + 1] + option.echo_suffix);
        return argv[i + 1];
    }
    return std::nullopt;
}

const std::string& needed(const std::optional<std::string>& value, const char* flag,
                          const char* mode) {
    if (!value) throw OptionError(std::string("the ") + mode + " mode needs " + flag);
    return *value;
}

}  // namespace

int run_command_line(const std::vector<std::string>& argv, const Services& services) {
    std::optional<std::string> values[std::size(kOptions)];
    for (size_t i = 0; i < std::size(kOptions); ++i) values[i] = read_option(argv, kOptions[i]);
    const std::string channel = values[0].value_or("");
    const auto& [file, path_json, plugin_dir, user_id, platform] =
        std::tie(values[1], values[2], values[3], values[4], values[5]);

    if (channel == "web") {
        Json param_dict = Json::object();
        param_dict["hip_file"] = needed(file, "-file", "web");
        param_dict["path_json"] = needed(path_json, "-path_json", "web");
        param_dict["plugin_server_dir"] = needed(plugin_dir, "-plugin_server_dir", "web");
        param_dict["user_id"] = needed(user_id, "-user_id", "web");
        param_dict["platform"] = needed(platform, "-platform", "web");
        param_dict["channel"] = "2";
        return run_guarded([&] { AnalysisAssets(services, param_dict).doit(); });
    }
    if (channel == "client") return 0;
    if (channel == "test") {
        Json param_dict = Json::object();
        param_dict["path_json"] = needed(path_json, "-path_json", "test");
        return run_guarded([&] {
            // The test mode analyses the scene that the host already holds.
            Json params = param_dict;
            params["hip_file"] = services.host.current_scene_path();
            AnalysisAssets(services, params).doit_test();
        });
    }
    console::print("there is nothing else.");
    return 0;
}

}  // namespace scanflow
