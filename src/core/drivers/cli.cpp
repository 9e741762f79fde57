#include "drivers/cli.h"

#include <cstdlib>
#include <optional>
#include <utility>

#include "base/console.h"
#include "base/errors.h"
#include "base/os.h"
#include "base/people.h"
#include "base/text.h"
#include "drivers/dispatch.h"
#include "output/run_summary.h"
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

std::string cause_of_current_exception() {
    try {
        throw;
    } catch (const ExitRequest& request) {
        if (!request.cause.empty()) return request.cause;
        return "the run was asked to end with " + std::to_string(request.code);
    } catch (const std::exception& error) {
        return cause_of(error);
    } catch (...) {
        return "an unknown error";
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
       any of them with -quiet: nothing on standard error

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
  -quiet              no messages, progress or summary on standard error
  -confine DIR[,DIR]  a farm machine's confinement: files outside these roots are neither
                      listed nor read (tip 50111), and environment variables are expanded only
                      when they are the host application's own or named by -confine_env
  -confine_env NAME[,NAME]  environment variables a confined run may expand

Standard output carries the protocol the submission client reads. Standard error tells a
person what happened: a scene that does not exist, a missing option, a progress line on a
terminal, and a summary of the results at the end.

environment:
  HH                          the host application's installation directory (needed)
  G_WIN_MNT_MAP               drive letters to server folders, for the upload list
  HOUDINI_PATH, PXR_PLUGINPATH_NAME  searched for digital-asset libraries
  PXR_AR_DEFAULT_SEARCH_PATH  searched for USD layers
  SCANFLOW_HOST               hou or hip: the scene host (default: hou when it imports)
  SCANFLOW_THREADS            threads for file facts and nested files (default: cores)
  SCANFLOW_QUIET              1: as -quiet
  SCANFLOW_USD_WALK           full: walk every USD stage in full; verify: check derived walks
  SCANFLOW_CONFINE, SCANFLOW_CONFINE_ENV  as -confine and -confine_env, for runs inside the
                              host application

exit codes: 0 finished (or nothing to do), 886 failed (118 as a POSIX parent sees it),
            1 a web run lacks an option value)";

bool has_flag(const std::vector<std::string>& argv, const char* flag) {
    for (size_t i = 1; i < argv.size(); ++i)
        if (argv[i] == flag) return true;
    return false;
}

bool quiet_wanted(const std::vector<std::string>& argv, const Environment& env) {
    return has_flag(argv, "-quiet") || env.get("SCANFLOW_QUIET") == "1";
}

// What a person should know about the scene before the run: the run itself goes on as the
// protocol defines (a scene it cannot read is no analysis, and exit 0).
void tell_about_scene(const std::string& file, Host& host) {
    if (!os::exists(file)) {
        people::tell("scanflow: the scene named by -file does not exist: " + file);
        return;
    }
    if (os::is_dir(file)) {
        people::tell("scanflow: -file names a directory, not a scene: " + file);
        return;
    }
    const std::string ext = file_extension(file);
    const bool scene = ext == ".hip" || ext == ".hiplc" || ext == ".hipnc";
    if (auto refused = scene ? host.refusal(file) : std::nullopt) {
        people::tell("scanflow: " + *refused + ": it is not analysed, nothing is written");
    } else if (ext == ".hipnc") {
        people::tell("scanflow: " + file +
                     " is a non-commercial scene (.hipnc): it is not analysed, nothing is written");
    } else if (ext != ".hip" && ext != ".hiplc" && ext != ".usd" && ext != ".usda" &&
               ext != ".usdc") {
        people::tell("scanflow: " + file + " is not a scene the analysis reads (.hip, .hiplc, " +
                     ".usd, .usda, .usdc): nothing is analysed, nothing is written");
    }
}

void tell_about_environment(const Environment& env) {
    if (!env.get("HH"))
        people::tell(
            "scanflow: HH is not set: the analysis needs the host application's installation "
            "directory, and the run stops before it (exit 886)");
}

// The closing word: a summary of what the run wrote, or that it failed and why.
void tell_outcome(int code, const std::string& cause, const std::string& scene,
                  const std::string& path_json, const FileSummary& files) {
    people::end_progress();
    if (code != 0) {
        people::tell("scanflow: the analysis failed (exit " + std::to_string(code) + "): " + cause);
        return;
    }
    if (!os::exists(path_json + "/" + kSuccessMarker)) return;
    for (const auto& line : run_summary(scene, path_json, files)) people::tell(line);
}

// A run that does nothing because of its channel says so to a person; the protocol's line on
// standard output stays what it is.
void tell_about_channel(const std::optional<std::string>& channel) {
    if (!channel) {
        people::tell(
            "scanflow: no -channel given, nothing is analysed (web analyses -file; scanflow "
            "--help lists the options)");
        return;
    }
    const std::string lowered = ascii_lower(*channel);
    if (lowered == "web" || lowered == "test" || lowered == "client") {
        people::tell("scanflow: -channel " + *channel + " is not a run mode, nothing is analysed " +
                     "(run modes are written in lower case: -channel " + lowered + ")");
        return;
    }
    people::tell("scanflow: -channel " + *channel +
                 " is not a run mode (web, test or client), nothing is analysed");
}

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
        // The native command line runs in no interpreter.
        console::print(std::string("scanflow ") + SCANFLOW_VERSION + " (" +
                       (python_version.empty() ? "native" : "Python " + python_version) + ")");
        return true;
    }
    return false;
}

// A marker left by an earlier run must not vouch for this one.
void remove_stale_success(const std::string& path_json) {
    os::remove_file(path_json + "/" + kSuccessMarker);
}

const std::string& needed(const std::optional<std::string>& value, const char* flag,
                          const char* mode) {
    if (!value) throw OptionError(std::string("the ") + mode + " mode needs " + flag);
    return *value;
}

// The confinement options, read without being echoed: without them the protocol is as it was.
void add_confinement(const std::vector<std::string>& argv, RunParameters& param_dict) {
    for (const char* flag : {"-confine", "-confine_env"}) {
        for (size_t i = 1; i + 1 < argv.size(); ++i)
            if (argv[i] == flag) param_dict.set(flag + 1, argv[i + 1]);
    }
}

int run_mode(const std::vector<std::string>& argv, const Services& services) {
    if (answered_alone(argv, services.module.interpreter_version)) return 0;
    std::optional<std::string> values[std::size(kOptions)];
    for (size_t i = 0; i < std::size(kOptions); ++i) values[i] = read_option(argv, kOptions[i]);
    const std::string channel = values[0].value_or("");
    const auto& [file, path_json, plugin_dir, user_id, platform] =
        std::tie(values[1], values[2], values[3], values[4], values[5]);

    if (channel == "web") {
        RunParameters param_dict;
        param_dict.set("hip_file", needed(file, "-file", "web"));
        param_dict.set("path_json", needed(path_json, "-path_json", "web"));
        param_dict.set("plugin_server_dir", needed(plugin_dir, "-plugin_server_dir", "web"));
        param_dict.set("user_id", needed(user_id, "-user_id", "web"));
        param_dict.set("platform", needed(platform, "-platform", "web"));
        param_dict.set("channel", "2");
        add_confinement(argv, param_dict);
        tell_about_scene(*file, services.host);
        tell_about_environment(services.environment);
        remove_stale_success(*path_json);
        FileSummary files;
        Services told = services;
        told.file_summary = &files;
        std::string cause;
        int code = run_guarded([&] { AnalysisAssets(told, param_dict).doit(); }, &cause);
        tell_outcome(code, cause, *file, *path_json, files);
        return code;
    }
    if (channel == "client") return 0;
    if (channel == "test") {
        RunParameters param_dict;
        param_dict.set("path_json", needed(path_json, "-path_json", "test"));
        add_confinement(argv, param_dict);
        tell_about_environment(services.environment);
        remove_stale_success(*path_json);
        FileSummary files;
        Services told = services;
        told.file_summary = &files;
        std::string cause;
        int code = run_guarded(
            [&] {
                // The test mode analyses the scene that the host already holds.
                RunParameters params = param_dict;
                params.set("hip_file", services.host.current_scene_path());
                AnalysisAssets(told, params).doit_test();
            },
            &cause);
        tell_outcome(code, cause, "the scene the host holds", *path_json, files);
        return code;
    }
    console::print("there is nothing else.");
    tell_about_channel(values[0]);
    return 0;
}

}  // namespace

int run_command_line(const std::vector<std::string>& argv, const Services& services) {
    people::set_quiet(quiet_wanted(argv, services.environment));
    try {
        return run_mode(argv, services);
    } catch (const OptionError& error) {
        // A user's mistake, told in one line: no trace.
        people::tell(std::string("scanflow: ") + error.what() +
                     " (scanflow --help lists the options)");
        return 1;
    }
}

}  // namespace scanflow
