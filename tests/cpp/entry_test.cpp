#include <gtest/gtest.h>

#include "base/console.h"
#include "base/errors.h"
#include "base/people.h"
#include "base/timed.h"
#include "drivers/cli.h"
#include "test_support.h"

namespace scanflow {
namespace {

// The command line with the services of a module of its own.
int run_command_line(const std::vector<std::string>& argv) {
    testing::TestModule module;
    return scanflow::run_command_line(argv, module.services());
}

using testing::ConsoleCapture;

TEST(Console, FloatTextFollowsTheInterpreter) {
    EXPECT_EQ(console::float_text(0.0), "0.0");
    EXPECT_EQ(console::float_text(-0.0), "-0.0");
    EXPECT_EQ(console::float_text(1.0), "1.0");
    EXPECT_EQ(console::float_text(0.1), "0.1");
    EXPECT_EQ(console::float_text(1.5e-3), "0.0015");
    EXPECT_EQ(console::float_text(0.0001), "0.0001");
    EXPECT_EQ(console::float_text(1.2e-5), "1.2e-05");
    EXPECT_EQ(console::float_text(123456789.125), "123456789.125");
    EXPECT_EQ(console::float_text(1e15), "1000000000000000.0");
    EXPECT_EQ(console::float_text(1e16), "1e+16");
    EXPECT_EQ(console::float_text(2.5e100), "2.5e+100");
    EXPECT_EQ(console::float_text(0.30000000000000004), "0.30000000000000004");
}

TEST(Console, ProgressLineIsOneFlushedLine) {
    ConsoleCapture capture;
    console::print_cmd("start open houdini file");
    EXPECT_EQ(capture.text(), "<cmd><code>200</code><des>start open houdini file</des></cmd>\n");
    EXPECT_EQ(capture.flushes(), 2);
    console::print_times("plain");
    console::print_times("detail", "debug");
    EXPECT_EQ(capture.lines()[1], "plain");
    EXPECT_EQ(capture.lines()[2], "[debug]detail");
}

TEST(Timed, LevelOneFramesOutputWithBanners) {
    ConsoleCapture capture;
    timed(1, "writeFile", [] { console::print("inside"); });
    auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], std::string(30, '#') + "writeFile is START" + std::string(50, '#'));
    EXPECT_EQ(lines[1], "inside");
    EXPECT_EQ(lines[2].rfind(std::string(30, '*') + "writeFile is END (time:", 0), 0u);
    EXPECT_EQ(lines[2].substr(lines[2].size() - 54), " s) " + std::string(50, '*'));
    EXPECT_EQ(lines[3], "#");
    EXPECT_EQ(lines[4], "#");
    EXPECT_EQ(lines[5], "");
}

TEST(Timed, LevelTwoPassesResultsAndTurnsErrorsIntoExit886) {
    ConsoleCapture capture;
    EXPECT_EQ(timed(2, "glob_file", [] { return 42; }), 42);
    EXPECT_TRUE(capture.text().empty());

    try {
        TraceFrame outer("doit");
        timed(2, "glob_file", []() -> int { throw FileError("/x", "cannot list /x"); });
        FAIL() << "no exit request";
    } catch (const ExitRequest& request) {
        EXPECT_EQ(request.code, 886);
        EXPECT_EQ(request.frames, (std::vector<std::string>{"doit", "glob_file"}));
        // What a person is told on standard error.
        EXPECT_EQ(request.cause, "FileError: cannot list /x");
    }
    EXPECT_EQ(capture.text(),
              "Traceback (most recent call last):\n  in doit\n  in glob_file\n"
              "FileError: cannot list /x\n##--##<< \n");
}

TEST(Timed, LevelOneErrorPrintsMessageNameAndTrace) {
    ConsoleCapture capture;
    EXPECT_THROW(timed(1, "openScene", [] { throw Error("bad scene"); }), ExitRequest);
    auto lines = capture.lines();
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[1], "bad scene");
    EXPECT_EQ(lines[2], "openScene is ERROR!!!");
    EXPECT_EQ(lines[3], "Traceback (most recent call last):");
    EXPECT_EQ(lines[4], "  in openScene");
    EXPECT_EQ(lines[5], "Error: bad scene");
    EXPECT_EQ(lines[6], "##--##<< ");
    EXPECT_EQ(capture.text().find("is END"), std::string::npos);
}

TEST(Timed, ExitRequestPassesEveryWrapperSilently) {
    ConsoleCapture capture;
    try {
        timed(1, "analysis_assetsChecking",
              [] { timed(2, "RY_GetSequen", [] { request_exit(555); }); });
        FAIL() << "no exit request";
    } catch (const ExitRequest& request) {
        EXPECT_EQ(request.code, 555);
        EXPECT_EQ(format_trace(request),
                  "Traceback (most recent call last):\n  in analysis_assetsChecking\n"
                  "  in RY_GetSequen\nSystemExit: 555\n");
    }
    // Only the START banner of the outer wrapper: no ERROR and no END line.
    auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("analysis_assetsChecking is START"), std::string::npos);
}

TEST(Timed, ForeignExceptionsAreOrdinaryErrors) {
    ConsoleCapture capture;
    EXPECT_THROW(timed(2, "f", []() -> int { throw std::out_of_range("index 3"); }), ExitRequest);
    EXPECT_NE(capture.text().find("std::out_of_range: index 3"), std::string::npos);
}

TEST(TopLevel, ErrorBlockAndCodes) {
    ConsoleCapture capture;
    EXPECT_EQ(run_guarded([] {}), 0);
    EXPECT_EQ(run_guarded([] { request_exit(556); }), 886);
    auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0],
              "================================== ERROR CALLS ==================================");
    EXPECT_EQ(lines[1], "traceback.format_exc():");
    EXPECT_EQ(lines[2], "Traceback (most recent call last):");
    EXPECT_EQ(lines[3], "SystemExit: 556");
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[5], "Analysis failure");
    EXPECT_EQ(run_guarded([] { throw 7; }), 886);
}

TEST(CommandLine, OptionsAreEchoedInTableOrderFirstOccurrenceWins) {
    ConsoleCapture capture;
    int code = run_command_line({"prog", "-platform", "61", "-file", "a.hip", "-channel", "client",
                                 "-file", "b.hip", "-user_id", "-platform"});
    EXPECT_EQ(code, 0);
    EXPECT_EQ(capture.lines(),
              (std::vector<std::string>{"------------------channel: client ------------------",
                                        "hip_file: a.hip", "user_id: -platform", "platform: 61"}));
}

TEST(CommandLine, NoChannelSaysNothingElse) {
    ConsoleCapture capture;
    EXPECT_EQ(run_command_line({"prog"}), 0);
    EXPECT_EQ(capture.text(), "there is nothing else.\n");
    EXPECT_EQ(run_command_line({"prog", "-channel", "WEB"}), 0);
    ConsoleCapture echoed;
    EXPECT_EQ(run_command_line({"prog", "-file", "x.hip", "-channel", "render"}), 0);
    EXPECT_EQ(echoed.lines(),
              (std::vector<std::string>{"------------------channel: render ------------------",
                                        "hip_file: x.hip", "there is nothing else."}));
}

TEST(CommandLine, AFailedRunTellsItsCauseInOneLine) {
    testing::TempDir dir;
    ConsoleCapture capture;
    std::string told;
    people::set_sink({[&](std::string_view text) { told += text; }, false});
    std::string scene = dir.write("shot.hip", "set -g _HIP_SAVEVERSION = '19.5.605'\n");
    EXPECT_EQ(
        run_command_line({"prog", "-channel", "web", "-file", scene, "-path_json", dir.file("out"),
                          "-plugin_server_dir", "/p", "-user_id", "1", "-platform", "2"}),
        886);
    people::reset_sink();
    EXPECT_NE(told.find("scanflow: the analysis failed (exit 886): FileError: cannot open " +
                        dir.file("out") + "/task.json"),
              std::string::npos)
        << told;
}

TEST(CommandLine, MissingValuesStopBeforeAnyAnalysisWithOneLineForAPerson) {
    ConsoleCapture capture;
    std::string told;
    people::set_sink({[&](std::string_view text) { told += text; }, false});
    EXPECT_EQ(run_command_line({"prog", "-channel", "web", "-file"}), 1);
    EXPECT_EQ(run_command_line({"prog", "-channel", "web", "-file", "a.hip", "-path_json", "o",
                                "-user_id", "1", "-platform", "2"}),
              1);  // no -plugin_server_dir
    EXPECT_EQ(run_command_line({"prog", "-channel", "test"}), 1);
    EXPECT_EQ(run_command_line({"prog", "-channel", "test", "-quiet"}), 1);
    people::reset_sink();
    people::set_quiet(false);
    EXPECT_EQ(capture.text().find("ERROR CALLS"), std::string::npos);
    EXPECT_EQ(
        told,
        "scanflow: option -file has no value (scanflow --help lists the options)\n"
        "scanflow: the web mode needs -plugin_server_dir (scanflow --help lists the options)\n"
        "scanflow: the test mode needs -path_json (scanflow --help lists the options)\n");
}

}  // namespace
}  // namespace scanflow
