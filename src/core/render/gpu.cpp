#include "render/gpu.h"

#include <sstream>
#include <vector>

#include "base/os.h"
#include "base/text.h"
#include "util/encoding.h"

namespace scanflow {

namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool blank(const std::string& text) {
    return text.find_first_not_of(" \t\r\n\v\f") == std::string::npos;
}

}  // namespace

bool has_gpu(const std::string& platform, const std::function<bool()>& module_probe) {
    if (module_probe && module_probe()) return true;
    constexpr double kTimeout = 5.0;
    os::ProcessResult smi = os::run_process({"nvidia-smi"}, kTimeout);
    if (smi.started && !smi.timed_out && smi.exit_code == 0 &&
        bety_out_decode(smi.output).find("NVIDIA-SMI") != std::string::npos)
        return true;
    if (starts_with(platform, "linux")) {
        os::ProcessResult lspci = os::run_process({"lspci"}, kTimeout);
        if (lspci.started && !lspci.timed_out && lspci.exit_code == 0) {
            for (const auto& line : lines_of(bety_out_decode(lspci.output))) {
                std::string lowered = ascii_lower(line);
                if (lowered.find("vga") != std::string::npos ||
                    lowered.find("3d") != std::string::npos ||
                    lowered.find("display") != std::string::npos)
                    return true;
            }
        }
    } else if (starts_with(platform, "win")) {
        os::ProcessResult wmic =
            os::run_process({"wmic", "path", "win32_videocontroller", "get", "name"}, kTimeout);
        if (wmic.started && !wmic.timed_out && wmic.exit_code == 0) {
            std::string text = bety_out_decode(wmic.output);
            size_t b = text.find_first_not_of(" \t\r\n\v\f");
            size_t e = text.find_last_not_of(" \t\r\n\v\f");
            text = b == std::string::npos ? "" : text.substr(b, e - b + 1);
            auto lines = lines_of(text);
            for (size_t i = 1; i < lines.size(); ++i)
                if (!blank(lines[i])) return true;
        }
    }
    return false;
}

}  // namespace scanflow
