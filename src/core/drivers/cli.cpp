#include "drivers/cli.h"

#include <filesystem>
#include <optional>
#include <utility>

#include "base/console.h"
#include "base/errors.h"
#include "drivers/dispatch.h"
#include "run/run_context.h"

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

const char* kUsage =
    R"(usage: scanflow -channel web -file SCENE -path_json DIR -plugin_server_dir DIR
                -user_id ID -platform N
       scanflow -channel test -path_json DIR     (inside the host, on the scene it holds)
       scanflow -h | --help | --version

Analyses a Houdini scene (.hip, .hiplc) or a USD file (.usd, .usda, .usdc) for render-farm
submission and writes upload.json, asset.json, tips.json, task.json (merged), asset.txt and the
success marker analyze_sucess into the result directory, which must hold the client's task.json.

options (each takes the argument after it, anywhere on the line):
  -channel            web: analyse -file; test: analyse the scene the host holds;
                      client: echo the options only
  -file               the scene or USD file (web)
  -path_json          the result directory (web, test)
  -plugin_server_dir  carried along for the client (web)
  -user_id            carried along for the client (web)
  -platform           the farm platform number, preferred over task.json's (web)

environment:
  HH                          the host application's installation directory (needed)
  G_WIN_MNT_MAP               drive letters to server folders, for the upload list
  HOUDINI_PATH, PXR_PLUGINPATH_NAME  searched for digital-asset libraries
  PXR_AR_DEFAULT_SEARCH_PATH  searched for USD layers
  SCANFLOW_HOST               hou or hip: the scene host (default: hou when it imports)
  SCANFLOW_THREADS            threads for file facts and nested files (default: cores)

exit codes: 0 finished (or nothing to do), 886 failed (118 as a POSIX parent sees it),
            1 a web run lacks an option value)";

// Help and version are answered before anything else and start no analysis.
bool answered_alone(const std::vector<std::string>& argv, const std::string& python_version) {
    auto has = [&](const char* flag) {
        for (size_t i = 1; i < argv.size(); ++i)
            if (argv[i] == flag) return true;
        return false;
    };
    if (has("-h") || has("--help")) {
        console::print(kUsage);
        return true;
    }
    if (has("--version")) {
        console::print(std::string("scanflow ") + SCANFLOW_VERSION + " (Python " + python_version +
                       ")");
        return true;
    }
    return false;
}

// A marker left by an earlier run must not vouch for this one.
void remove_stale_success(const std::string& path_json) {
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::path(path_json) / kSuccessMarker, ignored);
}

const std::string& needed(const std::optional<std::string>& value, const char* flag,
                          const char* mode) {
    if (!value) throw OptionError(std::string("the ") + mode + " mode needs " + flag);
    return *value;
}

}  // namespace

int run_command_line(const std::vector<std::string>& argv, const Services& services) {
    if (answered_alone(argv, services.module.interpreter_version)) return 0;
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
        remove_stale_success(*path_json);
        return run_guarded([&] { AnalysisAssets(services, param_dict).doit(); });
    }
    if (channel == "client") return 0;
    if (channel == "test") {
        Json param_dict = Json::object();
        param_dict["path_json"] = needed(path_json, "-path_json", "test");
        remove_stale_success(*path_json);
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
