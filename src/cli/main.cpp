// The native command line: the module's command line with our own scene reader, for machines
// where neither the host application nor a Python is installed.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/console.h"
#include "base/errors.h"
#include "base/os.h"
#include "drivers/cli.h"
#include "host/hip/hip_host.h"

int main(int argc, char** argv) {
    using namespace scanflow;
    std::vector<std::string> args = os::arguments(argc, argv);
    Environment environment = Environment::process();
    ModuleState state(environment);
    state.IS_WIN = os::kWindows;
    state.platform_name =
        os::kWindows ? "win32" : (os::system_name() == "Darwin" ? "darwin" : "linux");
    // What the module says when it loads without the optional libraries.
    console::print("no arnold");
    console::print("no Usd");
    std::shared_ptr<Host> host = hip::make_hip_host(environment);
    Services services{state, *host, environment, nullptr, {}, {}, {}, nullptr};
    int code = 1;
    try {
        code = run_command_line(args, services);
    } catch (const ExitRequest& request) {
        code = request.code;
    }
    console::flush();
    std::fflush(stdout);
    return code;
}
